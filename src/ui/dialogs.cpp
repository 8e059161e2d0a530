#include "ui/dialogs.h"

#include <cstdio>

namespace {
Dialogs *installed = nullptr;
Dialogs *fallback = nullptr;

// Without a display: messages go to standard error, questions are declined
// and nothing is chosen.
class HeadlessDialogs : public Dialogs
{
public:
    void inform(const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
    void error(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool askOkCancel(const QString &, const QString &) override { return false; }
    QString chooseOpenFile(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QString chooseSaveFile(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    int selectPort(const QStringList &) override { return -1; }
    int chooseItem(const QString &, const QString &, const QStringList &) override { return -1; }
};

} // namespace

Dialogs &AppDialogs()
{
    static HeadlessDialogs headless;
    if (installed)
        return *installed;
    return fallback ? *fallback : headless;
}

void SetAppDialogs(Dialogs *dialogs)
{
    installed = dialogs;
}

void SetDefaultDialogs(Dialogs *dialogs)
{
    fallback = dialogs;
}

int ChoosePort(const QStringList &entries)
{
    return AppDialogs().selectPort(entries);
}
