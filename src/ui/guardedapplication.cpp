#include "ui/guardedapplication.h"

#include "ui/dialogs.h"

#include <QTimer>
#include <stdexcept>

// Kept in duvaerror.h of the link library; the ui layer sees it only as a
// std::runtime_error whose what() is the user's text in UTF-8.

QString EscapedExceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

bool DeliverGuarded(const std::function<bool()> &deliver)
{
    try {
        return deliver();
    } catch (...) {
        const QString text = EscapedExceptionText(std::current_exception());
        QTimer::singleShot(0, [text] { AppDialogs().error(text); });
        return false;
    }
}

GuardedApplication::GuardedApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{ }

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    return DeliverGuarded([&] { return QApplication::notify(receiver, event); });
}
