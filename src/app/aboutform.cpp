#include "app/aboutform.h"

#include "ui/jpegloader.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

AboutForm::AboutForm(QWidget *owner)
    : QWidget(owner, StayOnTopDialogFlags)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("ABOUT"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    SetScaledFont(this, 12);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Scaled(24), Scaled(20), Scaled(24), Scaled(24));
    layout->setSpacing(Scaled(8));
    auto *banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("Image1"));
    banner->setFixedSize(Scaled(220), Scaled(40));
    banner->setScaledContents(true);
    banner->setPixmap(QPixmap::fromImage(Picture(QStringLiteral("about"))));
    layout->addWidget(banner, 0, Qt::AlignHCenter);

    const char *lines[][2] = {
        {"Label1", "DUVA Temperature Controller"},
        {"Label2", "Configuration Software"},
        {"Label3", "Version " DUVA_VERSION},
        {"Label4", "Recommended Display Resolution 1024 x 768"},
    };
    for (const auto &line : lines) {
        auto *label = new QLabel(QString::fromLatin1(line[1]), this);
        label->setObjectName(QString::fromLatin1(line[0]));
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
    }
    setFixedSize(sizeHint());
}

void AboutForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void AboutForm::showCentred()
{
    ShowCentredOnOwner(this);
}
