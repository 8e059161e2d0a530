#include "app/comsettingsform.h"

#include "link/comports.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>

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
         {8, 26, 308, 76}},
        {"ComBaudRate",
         "Baudrate",
         3,
         {"2400bps", "4800bps", "9600bps", "19200bps", "38400bps"},
         {8, 104, 308, 58}},
        {"ComParity", "Parity Bit", 3, {"None", "Even", "Odd"}, {8, 164, 308, 40}},
        {"ComBitLen", "Data Bit Length", 2, {"7 bits", "8 bits"}, {8, 206, 200, 40}},
        {"ComStopBit", "Stop Bit Length", 2, {"1 bit", "2 bits"}, {8, 248, 200, 40}},
        {"ModBus", "Modbus Format", 2, {"ASCII", "RTU"}, {8, 290, 200, 40}},
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
    setFixedSize(Scaled(324), Scaled(572));
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
        m_boxes[g] = box;
        m_buttons[g] = buttons;
        if (group == ComSettings::ComPort)
            addNetworkChoices(box, grid, buttons);
        connect(buttons, &QButtonGroup::idClicked, this, [this, group](int id) {
            if (group == ComSettings::ComPort && id == DeviceServerId)
                NetworkClick(LineKind::DeviceServer);
            else if (group == ComSettings::ComPort && id == GatewayId)
                NetworkClick(LineKind::Gateway);
            else
                RadioClick(group, id);
        });
    }
    addNetworkBox();
    addTalkBox();

    OKBt1 = new QPushButton(QStringLiteral("OK"), this);
    OKBt1->setObjectName(QStringLiteral("OKBt1"));
    PlaceScaled(OKBt1, 222, 232, 90, 40);
    connect(OKBt1, &QPushButton::clicked, this, &ComSettingsForm::OKBt1Click);
    AssignBt = new QPushButton(QStringLiteral("Assign device..."), this);
    AssignBt->setObjectName(QStringLiteral("AssignBt"));
    AssignBt->setToolTip(QStringLiteral("Bind the selected COM number to a serial device"));
    AssignBt->setAutoDefault(false);
    PlaceScaled(AssignBt, 222, 280, 90, 28);
    connect(AssignBt, &QPushButton::clicked, this, &ComSettingsForm::AssignBtClick);
    showPortDevices();
    render();
}

void ComSettingsForm::addNetworkChoices(QGroupBox *box, QGridLayout *grid, QButtonGroup *buttons)
{
    DeviceServerBt = new QRadioButton(QStringLiteral("Device server"), box);
    DeviceServerBt->setObjectName(QStringLiteral("DeviceServerBt"));
    DeviceServerBt->setToolTip(QStringLiteral(
        "A serial device server in transparent mode: the line's own bytes over TCP"));
    GatewayBt = new QRadioButton(QStringLiteral("Modbus TCP gateway"), box);
    GatewayBt->setObjectName(QStringLiteral("GatewayBt"));
    GatewayBt->setToolTip(
        QStringLiteral("A Modbus TCP gateway: Modbus TCP to the gateway, RTU on its line"));
    buttons->addButton(DeviceServerBt, DeviceServerId);
    buttons->addButton(GatewayBt, GatewayId);
    grid->addWidget(DeviceServerBt, 2, 0, 1, 2);
    grid->addWidget(GatewayBt, 2, 2, 1, 2);
}

void ComSettingsForm::addNetworkBox()
{
    NetworkBox = new QGroupBox(QStringLiteral("Network Device"), this);
    NetworkBox->setObjectName(QStringLiteral("NetworkBox"));
    PlaceScaled(NetworkBox, 8, 332, 308, 104);
    auto *grid = new QGridLayout(NetworkBox);
    grid->setContentsMargins(Scaled(6), Scaled(2), Scaled(6), Scaled(2));
    grid->setVerticalSpacing(Scaled(2));
    HostEdit = new QLineEdit(NetworkBox);
    HostEdit->setObjectName(QStringLiteral("HostEdit"));
    HostEdit->setMaxLength(253);
    HostEdit->setPlaceholderText(QStringLiteral("name or address"));
    PortEdit = new QSpinBox(NetworkBox);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setRange(1, 65535);
    MarginEdit = new QSpinBox(NetworkBox);
    MarginEdit->setObjectName(QStringLiteral("MarginEdit"));
    MarginEdit->setRange(0, NetworkTarget::MaximumMarginMs);
    MarginEdit->setSingleStep(50);
    MarginEdit->setSuffix(QStringLiteral(" ms"));
    MarginEdit->setToolTip(QStringLiteral("Added to every reply window for the network's delays"));
    NetNote = new QLabel(NetworkBox);
    NetNote->setObjectName(QStringLiteral("NetNote"));
    NetNote->setWordWrap(true);
    const auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, NetworkBox);
        l->setObjectName(buddy->objectName() + QStringLiteral("Label"));
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("&Host"), HostEdit), 0, 0);
    grid->addWidget(HostEdit, 0, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("P&ort"), PortEdit), 1, 0);
    grid->addWidget(PortEdit, 1, 1);
    grid->addWidget(label(QStringLiteral("Mar&gin"), MarginEdit), 1, 2);
    grid->addWidget(MarginEdit, 1, 3);
    grid->addWidget(NetNote, 2, 0, 1, 4);
    connect(HostEdit, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_logic.HostEditChange(text); });
    connect(PortEdit, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_rendering)
            m_logic.PortEditChange(value);
    });
    connect(MarginEdit, &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_rendering)
            m_logic.MarginEditChange(value);
    });
}

void ComSettingsForm::addTalkBox()
{
    TalkBox = new QGroupBox(QStringLiteral("Line"), this);
    TalkBox->setObjectName(QStringLiteral("TalkBox"));
    PlaceScaled(TalkBox, 8, 440, 308, 126);
    auto *grid = new QGridLayout(TalkBox);
    grid->setContentsMargins(Scaled(6), Scaled(2), Scaled(6), Scaled(2));
    grid->setVerticalSpacing(Scaled(2));
    EchoBox = new QComboBox(TalkBox);
    EchoBox->setObjectName(QStringLiteral("EchoBox"));
    EchoBox->addItems({QStringLiteral("automatic"), QStringLiteral("on"), QStringLiteral("off")});
    EchoBox->setToolTip(QStringLiteral("Remove the request an adapter echoes before the reply"));
    TimeoutEdit = new QSpinBox(TalkBox);
    TimeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    TimeoutEdit->setRange(0, LineTalk::MaximumReplyTimeoutMs);
    TimeoutEdit->setSingleStep(100);
    TimeoutEdit->setSuffix(QStringLiteral(" ms"));
    TimeoutEdit->setSpecialValueText(QStringLiteral("automatic"));
    TimeoutEdit->setToolTip(QStringLiteral("The reply window (automatic: each window's own)"));
    RetriesEdit = new QSpinBox(TalkBox);
    RetriesEdit->setObjectName(QStringLiteral("RetriesEdit"));
    RetriesEdit->setRange(-1, LineTalk::MaximumRetries);
    RetriesEdit->setSpecialValueText(QStringLiteral("automatic"));
    RetriesEdit->setToolTip(QStringLiteral("Attempts after a failed one (automatic: each "
                                           "window's own)"));
    PauseEdit = new QSpinBox(TalkBox);
    PauseEdit->setObjectName(QStringLiteral("PauseEdit"));
    PauseEdit->setRange(0, LineTalk::MaximumPauseMs);
    PauseEdit->setSingleStep(10);
    PauseEdit->setSuffix(QStringLiteral(" ms"));
    PauseEdit->setToolTip(QStringLiteral("The pause between a reply and the next request"));
    const auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, TalkBox);
        l->setObjectName(buddy->objectName() + QStringLiteral("Label"));
        l->setBuddy(buddy);
        return l;
    };
    for (QWidget *w : {static_cast<QWidget *>(EchoBox), static_cast<QWidget *>(TimeoutEdit),
                       static_cast<QWidget *>(RetriesEdit), static_cast<QWidget *>(PauseEdit)})
        w->setMinimumWidth(Scaled(86));
    grid->addWidget(label(QStringLiteral("Remove &echo"), EchoBox), 0, 0);
    grid->addWidget(EchoBox, 0, 1);
    grid->addWidget(label(QStringLiteral("&Time-out"), TimeoutEdit), 1, 0);
    grid->addWidget(TimeoutEdit, 1, 1);
    grid->addWidget(label(QStringLiteral("&Retries"), RetriesEdit), 2, 0);
    grid->addWidget(RetriesEdit, 2, 1);
    grid->addWidget(label(QStringLiteral("Pa&use"), PauseEdit), 3, 0);
    grid->addWidget(PauseEdit, 3, 1);
    grid->setColumnStretch(2, 1);
    const auto changed = [this] {
        if (m_rendering)
            return;
        LineTalk talk;
        talk.echo = EchoRemoval(EchoBox->currentIndex());
        talk.replyTimeoutMs = TimeoutEdit->value();
        talk.retries = RetriesEdit->value();
        talk.pauseMs = PauseEdit->value();
        m_logic.TalkChange(talk);
    };
    connect(EchoBox, &QComboBox::currentIndexChanged, this, changed);
    connect(TimeoutEdit, &QSpinBox::valueChanged, this, changed);
    connect(RetriesEdit, &QSpinBox::valueChanged, this, changed);
    connect(PauseEdit, &QSpinBox::valueChanged, this, changed);
}

void ComSettingsForm::NetworkClick(LineKind kind)
{
    m_logic.NetworkClick(kind);
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
        if (m_buttons[ComSettings::ComPort]->id(b) >= ComSettings::ItemCount[ComSettings::ComPort])
            continue; // the network choices
        const QString device = comPortDevice(m_buttons[ComSettings::ComPort]->id(b) + 1);
        const QString stable = stableNameOf(device);
        b->setToolTip(device.isEmpty()       ? QStringLiteral("No such port on this computer")
                          : stable.isEmpty() ? device
                                             : device + QLatin1Char('\n') + stable);
    }
}

void ComSettingsForm::render()
{
    m_rendering = true;
    const LineKind kind = settings().lineKind();
    for (int g = 0; g < ComSettings::GroupCount; ++g) {
        QButtonGroup *buttons = m_buttons[g];
        int selected = settings().index(static_cast<ComSettings::Group>(g));
        if (g == ComSettings::ComPort && kind != LineKind::Serial)
            selected = kind == LineKind::Gateway ? GatewayId : DeviceServerId;
        // A gateway's line is RTU, with its 8 bits, whatever the groups hold.
        if (g == ComSettings::ModBus && kind == LineKind::Gateway)
            selected = 1;
        if (g == ComSettings::ComBitLen && kind == LineKind::Gateway)
            selected = 1;
        // An exclusive group cannot show "nothing selected" otherwise.
        buttons->setExclusive(false);
        for (QAbstractButton *b : buttons->buttons())
            b->setChecked(buttons->id(b) == selected);
        buttons->setExclusive(true);
    }
    // A network line's bit rate, parity and bits are the device's; a
    // gateway talks RTU on its line.
    const bool serial = kind == LineKind::Serial;
    m_boxes[ComSettings::ComBaudRate]->setEnabled(serial);
    m_boxes[ComSettings::ComParity]->setEnabled(serial);
    m_boxes[ComSettings::ComStopBit]->setEnabled(serial);
    m_boxes[ComSettings::ComBitLen]->setEnabled(serial && settings().bitLenEnabled());
    m_boxes[ComSettings::ModBus]->setEnabled(kind != LineKind::Gateway);
    AssignBt->setEnabled(serial);
    NetworkBox->setEnabled(!serial);
    const NetworkTarget &target = settings().network();
    if (HostEdit->text().trimmed() != target.host)
        HostEdit->setText(target.host);
    PortEdit->setValue(target.port == 0 ? NetworkTarget::GatewayPort : target.port);
    MarginEdit->setValue(target.marginMs);
    const LineTalk &talk = settings().talk();
    EchoBox->setCurrentIndex(int(talk.echo));
    TimeoutEdit->setValue(talk.replyTimeoutMs);
    RetriesEdit->setValue(talk.retries);
    PauseEdit->setValue(talk.pauseMs);
    NetNote->setText(
        kind == LineKind::DeviceServer
            ? QStringLiteral("Bit rate, parity and bits are set on the device server.")
            : kind == LineKind::Gateway
            ? QStringLiteral("Modbus TCP to the gateway; it talks RTU on its line, with the "
                             "bit rate, parity and bits set on it.")
            : QStringLiteral("Choose Device server or Modbus TCP gateway above to reach the "
                             "line over the network."));
    m_rendering = false;
}
