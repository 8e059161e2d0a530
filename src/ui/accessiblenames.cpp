#include "ui/accessiblenames.h"

#include <QEvent>
#include <QWidget>

namespace {

class AccessibleNameFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Polish && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            const QString name = widget->objectName();
            if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
                widget->accessibleDescription().isEmpty())
                widget->setAccessibleDescription(name);
        }
        return false;
    }
};

} // namespace

void InstallAccessibleNames(QObject *application)
{
    application->installEventFilter(new AccessibleNameFilter(application));
}
