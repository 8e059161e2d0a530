#include "app/comsettingsform.h"

#include "link/comports.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace {

struct GroupDesign
{
    const char *name;
    const char *caption;
    int columns;
    QStringList items;
    QRect geometry; // design position within the dialog
};

const GroupDesign &design(ComSettings::Group g)
{
    static const GroupDesign groups[ComSettings::GroupCount] = {
        {"ComPort",
         "ComPort",
         4,
         {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"},
         {8, 26, 308, 58}},
        {"ComBaudRate",
         "Baudrate",
         3,
         {"2400bps", "4800bps", "9600bps", "19200bps", "38400bps"},
         {8, 86, 308, 58}},
        {"ComParity", "Parity Bit", 3, {"None", "Even", "Odd"}, {8, 146, 308, 40}},
        {"ComBitLen", "Data Bit Length", 2, {"7 bits", "8 bits"}, {8, 188, 200, 40}},
        {"ComStopBit", "Stop Bit Length", 2, {"1 bit", "2 bits"}, {8, 230, 200, 40}},
        {"ModBus", "Modbus Format", 2, {"ASCII", "RTU"}, {8, 272, 200, 40}},
    };
    return groups[g];
}

} // namespace

ComSettingsForm::ComSettingsForm(QWidget *owner, ComSettings &settings)
    : QWidget(owner, StayOnTopDialogFlags)
    , m_logic(settings)
{
    setObjectName(QStringLiteral("ComSettingsForm"));
    setWindowTitle(QStringLiteral("COMPORT PROTOCOL"));
    setFixedSize(Scaled(324), Scaled(319));
    SetScaledFont(this, 12);

    auto *heading = new QLabel(QStringLiteral("COM PORT SETTING"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    SetScaledFont(heading, 12, true);
    PlaceScaled(heading, 8, 4, 308, 20);

    for (int g = 0; g < ComSettings::GroupCount; ++g) {
        const auto group = static_cast<ComSettings::Group>(g);
        const GroupDesign &d = design(group);
        auto *box = new QGroupBox(QString::fromLatin1(d.caption), this);
        box->setObjectName(QString::fromLatin1(d.name));
        PlaceScaled(box, d.geometry.x(), d.geometry.y(), d.geometry.width(), d.geometry.height());
        auto *grid = new QGridLayout(box);
        grid->setContentsMargins(Scaled(6), 0, Scaled(6), 0);
        grid->setVerticalSpacing(0);
        auto *buttons = new QButtonGroup(box);
        for (int i = 0; i < d.items.size(); ++i) {
            auto *radio = new QRadioButton(d.items.at(i), box);
            radio->setObjectName(QStringLiteral("%1Item%2").arg(QLatin1String(d.name)).arg(i));
            buttons->addButton(radio, i);
            grid->addWidget(radio, i / d.columns, i % d.columns);
        }
        connect(buttons, &QButtonGroup::idClicked, this,
                [this, group](int id) { RadioClick(group, id); });
        m_boxes[g] = box;
        m_buttons[g] = buttons;
    }

    OKBt1 = new QPushButton(QStringLiteral("OK"), this);
    OKBt1->setObjectName(QStringLiteral("OKBt1"));
    PlaceScaled(OKBt1, 222, 214, 90, 40);
    connect(OKBt1, &QPushButton::clicked, this, &ComSettingsForm::OKBt1Click);
    AssignBt = new QPushButton(QStringLiteral("Assign device..."), this);
    AssignBt->setObjectName(QStringLiteral("AssignBt"));
    AssignBt->setToolTip(QStringLiteral("Bind the selected COM number to a serial device"));
    AssignBt->setAutoDefault(false);
    PlaceScaled(AssignBt, 222, 262, 90, 28);
    connect(AssignBt, &QPushButton::clicked, this, &ComSettingsForm::AssignBtClick);
    showPortDevices();
    render();
}

void ComSettingsForm::AssignBtClick()
{
    if (m_logic.AssignBtClick(presentSerialDevices()))
        showPortDevices();
}

void ComSettingsForm::showCentred()
{
    ShowCentredOnOwner(this);
}

void ComSettingsForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void ComSettingsForm::keyPressEvent(QKeyEvent *event)
{
    // The radio buttons and OK leave these keys to the dialog.
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OKBt1Click();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ComSettingsForm::FormShow()
{
    m_logic.FormShow();
    showPortDevices();
    render();
    OKBt1->setFocus();
}

void ComSettingsForm::OKBt1Click()
{
    // A failed save throws: the error box shows it and the dialog stays open.
    m_logic.OKBt1Click();
    hide();
}

void ComSettingsForm::RadioClick(ComSettings::Group group, int index)
{
    m_logic.RadioClick(group, index);
    render();
}

void ComSettingsForm::showPortDevices()
{
    for (QAbstractButton *b : m_buttons[ComSettings::ComPort]->buttons()) {
        const QString device = comPortDevice(m_buttons[ComSettings::ComPort]->id(b) + 1);
        const QString stable = stableNameOf(device);
        b->setToolTip(device.isEmpty()       ? QStringLiteral("No such port on this computer")
                          : stable.isEmpty() ? device
                                             : device + QLatin1Char('\n') + stable);
    }
}

void ComSettingsForm::render()
{
    for (int g = 0; g < ComSettings::GroupCount; ++g) {
        QButtonGroup *buttons = m_buttons[g];
        const int selected = settings().index(static_cast<ComSettings::Group>(g));
        // An exclusive group cannot show "nothing selected" otherwise.
        buttons->setExclusive(false);
        for (QAbstractButton *b : buttons->buttons())
            b->setChecked(buttons->id(b) == selected);
        buttons->setExclusive(true);
    }
    m_boxes[ComSettings::ComBitLen]->setEnabled(settings().bitLenEnabled());
}
