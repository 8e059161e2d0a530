#pragma once

#include <QString>
#include <stdexcept>

// Base of the program's exceptions. The text is what the user sees in the
// error box when the exception escapes an event handler.
class DuvaError : public std::runtime_error
{
public:
    explicit DuvaError(const QString &text)
        : std::runtime_error(text.toStdString())
        , m_text(text)
    { }
    const QString &text() const { return m_text; }

private:
    QString m_text;
};
