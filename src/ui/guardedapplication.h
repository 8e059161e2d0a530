#pragma once

#include <QApplication>
#include <functional>

// Runs `deliver`; an exception that escapes it is caught here and its text
// shown in the error box, posted to the event loop so that no modal box
// opens inside a serial or timer event. Returns false after an exception.
bool DeliverGuarded(const std::function<bool()> &deliver);

// The text shown for an exception that escaped an event handler.
QString EscapedExceptionText(std::exception_ptr error);

// The application: every event goes through DeliverGuarded, so an exception
// from any handler ends in an error box and the program goes on.
class GuardedApplication : public QApplication
{
public:
    GuardedApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
