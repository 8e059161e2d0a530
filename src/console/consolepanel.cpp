#include "console/consolepanel.h"

#include "console/consolelogic.h"
#include "ui/jpegloader.h"
#include "ui/screenscale.h"
#include "ui/trafficform.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValidator>

namespace {

// Letters become upper case however they enter a field: typed, pasted,
// dropped or inserted. A validator sees every change of the text.
class UpperCaseValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

class UpperCaseEdit : public QLineEdit
{
public:
    explicit UpperCaseEdit(QWidget *parent)
        : QLineEdit(parent)
    {
        setValidator(new UpperCaseValidator(this));
    }
};

void setText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
}

} // namespace

ConsolePanel::ConsolePanel(ConsoleLogic &logic, QWidget *parent)
    : QFrame(parent)
    , m_logic(logic)
{
    setObjectName(QStringLiteral("TESTPL"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xA6, 0xCA, 0xF0)); // sky blue
    setPalette(pal);
    // 30 pixels wider than first designed: the command list grows to show
    // its longest command whole, and the picture on its right moves aside.
    PlaceScaled(this, 0, 0, PanelWidth, 385);

    auto *title = new QLabel(QStringLiteral("SINGLE COMMAND TEST (HEX FORMAT)"), this);
    title->setObjectName(QStringLiteral("TitleLb"));
    title->setAlignment(Qt::AlignCenter);
    QPalette navy = title->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    title->setPalette(navy);
    PlaceScaled(title, 0, 10, PanelWidth, 24);
    SetScaledFont(title, 16, true);

    auto label = [this](const char *name, const char *text, int top) {
        auto *l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        QPalette blue = l->palette();
        blue.setColor(QPalette::WindowText, Qt::blue);
        l->setPalette(blue);
        PlaceScaled(l, 8, top, 112, 22);
        SetScaledFont(l, 13, true);
        return l;
    };
    auto edit = [this](const char *name, int left, int top, int width, int maxLength) {
        auto *e = new UpperCaseEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(maxLength);
        PlaceScaled(e, left, top, width, 24);
        SetScaledFont(e, 13);
        return e;
    };

    QLabel *addrLb = label("AddrLb", "ADDRESS", 45);
    SCOMAddr = edit("SCOMAddr", 121, 45, 110, 2);
    addrLb->setBuddy(SCOMAddr);

    QLabel *cmdLb = label("CmdLb", "COMMAND", 85);
    SCmdBox = new QComboBox(this);
    SCmdBox->setObjectName(QStringLiteral("SCmdBox"));
    for (int i = 0; i < ConsoleCommandCount; ++i)
        SCmdBox->addItem(QString::fromLatin1(CommandInfo(ConsoleCommand(i)).name));
    SCmdBox->setCurrentIndex(-1);
    PlaceScaled(SCmdBox, 121, 85, 110, 24);
    SetScaledFont(SCmdBox, 13);
    SCmdBox->setView(new QListView(SCmdBox));
    cmdLb->setBuddy(SCmdBox);
    // UserCmd lies over the text part of the list, leaving its button free.
    UserCmd = edit("UserCmd", 121, 85, 86, 2);
    UserCmd->setText(QStringLiteral("03"));
    UserCmd->hide();

    QLabel *funcLb = label("FuncLb", "FUNC ADDR", 125);
    SFunc = edit("SFunc", 121, 125, 110, 4);
    funcLb->setBuddy(SFunc);

    DataLenLb = label("DataLenLb", "WRITE DATA", 165);
    SDataLen = edit("SDataLen", 121, 165, 110, 4);
    DataLenLb->setBuddy(SDataLen);

    CheckSumSendLb = label("CheckSumSendLb", "LRC", 205);
    SChkSum = edit("SChkSum", 121, 205, 110, 4);
    SChkSum->setReadOnly(true);
    SChkSum->setFocusPolicy(Qt::NoFocus);
    CheckSumSendLb->setBuddy(SChkSum);

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setScaledContents(true);
    Image2->setPixmap(QPixmap::fromImage(Picture(QStringLiteral("console"))));
    PlaceScaled(Image2, 270, 45, 217, 196);

    MutiWrBox = new QGroupBox(QStringLiteral("WRITE DATA CONTENT"), this);
    MutiWrBox->setObjectName(QStringLiteral("MutiWrBox"));
    PlaceScaled(MutiWrBox, 270, 45, 217, 196);
    SetScaledFont(MutiWrBox, 12, true);
    auto *columns = new QLabel(QStringLiteral("DATA1~4               DATA 5~8"), MutiWrBox);
    columns->setObjectName(QStringLiteral("DataLb"));
    PlaceScaled(columns, 17, 18, 190, 18);
    SetScaledFont(columns, 11);
    // Left column DATA1..4 = Edit1..4; right column DATA5..8 = Edit6, 7, 5, 8.
    const int rightColumn[4] = {6, 7, 5, 8};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 2; ++column) {
            const int number = column == 0 ? row + 1 : rightColumn[row];
            auto *e = new UpperCaseEdit(MutiWrBox);
            e->setObjectName(QStringLiteral("Edit%1").arg(number));
            e->setMaxLength(4);
            PlaceScaled(e, column == 0 ? 17 : 120, 40 * (row + 1), 80, 24);
            SetScaledFont(e, 13);
            Edit[number] = e;
            connect(e, &QLineEdit::textChanged, this,
                    [this, number](const QString &text) { m_logic.Edit1Change(number, text); });
        }
    }
    MutiWrBox->hide();

    QLabel *sendLb = label("SendLb", "DATA to SEND", 260);
    PlaceScaled(sendLb, 8, 260, 140, 22);
    SendEdit = edit("SendEdit", 152, 260, 335, 255);
    sendLb->setBuddy(SendEdit);
    QLabel *rcvLb = label("RcvLb", "DATA  RECEIVED", 300);
    PlaceScaled(rcvLb, 8, 300, 140, 22);
    RcvEdit = new QLineEdit(this);
    RcvEdit->setObjectName(QStringLiteral("RcvEdit"));
    RcvEdit->setReadOnly(true);
    RcvEdit->setFocusPolicy(Qt::ClickFocus); // not in the tab order
    PlaceScaled(RcvEdit, 152, 300, 335, 24);
    SetScaledFont(RcvEdit, 13);
    rcvLb->setBuddy(RcvEdit);
    DecodeLb = new QLabel(this);
    DecodeLb->setObjectName(QStringLiteral("DecodeLb"));
    DecodeLb->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PlaceScaled(DecodeLb, 152, 325, 335, 17);
    SetScaledFont(DecodeLb, 10);

    auto button = [this](const char *name, const char *text, int left) {
        auto *b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        PlaceScaled(b, left, 344, 113, 30);
        SetScaledFont(b, 13, true);
        return b;
    };
    SendBt = button("SendBt", "Send", 8);
    RSendBt = button("RSendBt", "Repeat", 136);
    SClearBt = button("SClearBt", "Clear Result", 264);
    SExitBt = button("SExitBt", "Close", 392);
    QPushButton *traffic = MakeTrafficButton(this);
    PlaceScaled(traffic, 8, 238, 113, 22);
    SetScaledFont(traffic, 11);

    connect(SCOMAddr, &QLineEdit::textChanged, &m_logic, &ConsoleLogic::setAddress);
    connect(SFunc, &QLineEdit::textChanged, &m_logic, &ConsoleLogic::setFunc);
    connect(SDataLen, &QLineEdit::textChanged, &m_logic, &ConsoleLogic::setDataLen);
    connect(UserCmd, &QLineEdit::textChanged, &m_logic, &ConsoleLogic::UserCmdChange);
    connect(SendEdit, &QLineEdit::textEdited, &m_logic, &ConsoleLogic::setSendText);
    connect(SCmdBox, &QComboBox::activated, this, &ConsolePanel::SCmdBoxSelect);
    connect(SendBt, &QPushButton::clicked, this, [this] { m_logic.SendBtClick(false); });
    connect(RSendBt, &QPushButton::clicked, this, [this] { m_logic.SendBtClick(true); });
    connect(SClearBt, &QPushButton::clicked, &m_logic, &ConsoleLogic::SClearBtClick);
    connect(SExitBt, &QPushButton::clicked, this, &ConsolePanel::closeRequested);
    connect(&m_logic, &ConsoleLogic::viewChanged, this, &ConsolePanel::render);
    render();
}

void ConsolePanel::setCommandRowHeight(int pixels)
{
    SCmdBox->view()->setStyleSheet(QStringLiteral("QListView::item { height: %1px; }").arg(pixels));
}

void ConsolePanel::SCmdBoxSelect(int index)
{
    m_logic.SCmdBoxSelect(index);
    if (m_logic.view().userCmdVisible)
        UserCmd->setFocus();
}

void ConsolePanel::render()
{
    const ConsoleView &v = m_logic.view();
    CheckSumSendLb->setText(v.checkSumCaption);
    DataLenLb->setText(v.dataLenCaption);
    SDataLen->setMaxLength(qMax(v.dataLenMaxLength, SDataLen->text().size()));
    UserCmd->setVisible(v.userCmdVisible);
    MutiWrBox->setVisible(v.multiWriteVisible);
    Image2->setVisible(!v.multiWriteVisible);
    setText(SChkSum, v.checkSum);
    setText(SendEdit, v.sendText);
    setText(RcvEdit, v.received);
    if (DecodeLb->text() != v.decoded) {
        DecodeLb->setText(v.decoded);
        DecodeLb->setToolTip(v.decoded); // a long reading is cut by the panel
    }
    RSendBt->setText(v.repeatCaption);
}
