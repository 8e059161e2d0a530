#include "setup/setupviewform.h"

#include "ui/jpegloader.h"
#include "ui/screenscale.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using F = SetupField;
using B = SetupBox;

namespace {

// Design pixels: the view lies beneath the slots' controls, in four columns.
constexpr int ViewTop = 266;
constexpr int ColumnWidth = 246;
constexpr int HeaderHeight = 22;
constexpr int Pitch = 22;
constexpr int RowHeight = 20;
constexpr int EditWidth = 60;
constexpr int PictureSize = 18;
constexpr int CodeWidth = 34;
constexpr int FontSize = 9;

int columnLeft(int column)
{
    return 8 + column * (ColumnWidth + 4);
}

int boxHeight(int rows)
{
    return HeaderHeight + rows * Pitch + 4;
}

struct BoxPlace
{
    B box;
    int left, top, width, rows;
};

const BoxPlace boxPlaces[] = {
    {B::TempBox, columnLeft(0), ViewTop, ColumnWidth, 6},
    {B::CtrlBox, columnLeft(0), ViewTop + boxHeight(6) + 4, ColumnWidth, 3},
    {B::TuneBox, columnLeft(0), ViewTop + boxHeight(6) + boxHeight(3) + 8, ColumnWidth, 2},
    {B::PIDBox, columnLeft(1), ViewTop, ColumnWidth, 10},
    {B::OnOffBox, columnLeft(1), ViewTop, ColumnWidth, 3},
    {B::ManuBox, columnLeft(1), ViewTop, ColumnWidth, 4},
    {B::AlmBox, columnLeft(2), ViewTop, ColumnWidth, 10},
    {B::CtrlerBox, columnLeft(3), ViewTop, ColumnWidth, 2},
    {B::OPBox, columnLeft(3), ViewTop + boxHeight(2) + 4, ColumnWidth, 2},
    // Beneath the PID and alarm boxes, two columns of rows.
    {B::AdjustBox, columnLeft(1), ViewTop + boxHeight(10) + 4, 2 * ColumnWidth + 4, 5},
};

// Where a row stands in its box (the OUT2PL rows in that panel), and how
// wide its list is.
struct RowPlace
{
    F field;
    int slot;
    int listWidth = 0;
    int column = 0; // the factory box's second column
};

const RowPlace rowPlaces[] = {
    {F::InputType, 0, 84},
    {F::DegUnit, 1, 84},
    {F::Pointer, 2, 78},
    {F::UpLimit, 3},
    {F::DnLimit, 4},
    {F::TPOffs, 5},
    {F::CtrlSet, 0, 100},
    {F::HeatCool, 1, 100},
    {F::SetV, 2},
    {F::ProgDisp, 2, 100},
    {F::PIDGroup, 0, 70},
    {F::PIDAimValue, 1},
    {F::KP, 2},
    {F::KI, 3},
    {F::KD, 4},
    {F::SumOffs, 5},
    {F::PDOffs, 5},
    {F::HCPeriodPID1, 6},
    {F::HCPeriodPID2, 0},
    {F::Coeff, 1},
    {F::DeadBand1, 2},
    {F::Hyst1, 0},
    {F::Hyst2, 1},
    {F::DeadBand2, 2},
    {F::OUTQ1, 0},
    {F::HCPeriod1, 1},
    {F::OUTQ2, 2},
    {F::HCPeriod2, 3},
    {F::ALM1Mode, 0, 144},
    {F::UpLimit1, 1},
    {F::DnLimit1, 2},
    {F::ALM2Mode, 3, 144},
    {F::UpLimit2, 4},
    {F::DnLimit2, 5},
    {F::ALM3Mode, 6, 144},
    {F::UpLimit3, 7},
    {F::DnLimit3, 8},
    {F::SALMode, 9, 84},
    {F::ComWrite, 0, 76},
    {F::LockStatus, 1, 112},
    {F::RunStop, 0, 100},
    {F::AT, 1, 76},
    {F::CurrHi, 0},
    {F::CurrLo, 1},
    {F::RTDOfs, 0},
    {F::RTDGain, 1},
    {F::TCOfs, 2},
    {F::TCGain, 3},
    {F::ColdOfs, 4},
    {F::mVOfs, 0, 0, 1},
    {F::mVGain, 1, 0, 1},
    {F::OutputType1, 2, 110, 1},
    {F::OutputType2, 3, 110, 1},
};

constexpr int Out2Slot = 7; // OUT2PL's place in the PID box

bool out2Row(F f)
{
    return f == F::HCPeriodPID2 || f == F::Coeff || f == F::DeadBand1;
}

// An edit field takes at most five typed characters; the values the view
// puts into it may be longer (a negative scaled value, say).
class FieldEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    static constexpr int MaxTyped = 5;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const QString typed = event->text();
        const bool inserts = !typed.isEmpty() && typed.at(0).isPrint();
        if (inserts && text().size() - selectedText().size() + typed.size() > MaxTyped) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    SetScaledFont(label, FontSize);
    return label;
}

QPixmap rowPicture(const QString &name)
{
    return name.isEmpty() ? QPixmap() : QPixmap::fromImage(Picture(name));
}

} // namespace

QWidget *SetupRowWidgets::field() const
{
    return edit ? static_cast<QWidget *>(edit) : static_cast<QWidget *>(list);
}

SetupViewForm::SetupViewForm(QWidget *window, SetupViewLogic &logic)
    : QObject(window)
    , m_logic(logic)
{
    for (const BoxPlace &p : boxPlaces) {
        auto *box = new QGroupBox(BoxCaption(p.box), window);
        box->setObjectName(QString::fromLatin1(BoxName(p.box)));
        SetScaledFont(box, FontSize, true);
        PlaceScaled(box, p.left, p.top, p.width, boxHeight(p.rows));
        box->hide();
        m_boxes[size_t(p.box)] = box;
    }
    QGroupBox *pid = box(B::PIDBox);
    OUT2PL = new QFrame(pid);
    OUT2PL->setObjectName(QStringLiteral("OUT2PL"));
    PlaceScaled(OUT2PL, 0, HeaderHeight + Out2Slot * Pitch, ColumnWidth, 3 * Pitch);
    LabelOfs = makeLabel(pid, QStringLiteral("LabelOfs"), QStringLiteral("P1-7"));
    PlaceScaled(LabelOfs, 4, HeaderHeight + 5 * Pitch, CodeWidth, RowHeight);

    for (const RowPlace &p : rowPlaces) {
        const SetupRow &r = RowOf(p.field);
        QWidget *parent = out2Row(p.field) ? OUT2PL : static_cast<QWidget *>(box(r.box));
        const int top = (out2Row(p.field) ? 0 : HeaderHeight) + p.slot * Pitch;
        const int left = p.column * (ColumnWidth + 4);
        createRow(p.field, parent, top, ColumnWidth, p.listWidth);
        for (QWidget *w : {static_cast<QWidget *>(m_rows[size_t(p.field)].code),
                           static_cast<QWidget *>(m_rows[size_t(p.field)].caption),
                           m_rows[size_t(p.field)].field(),
                           static_cast<QWidget *>(m_rows[size_t(p.field)].picture)})
            if (w && left)
                w->move(w->x() + Scaled(left), w->y());
    }

    QGroupBox *adjust = box(B::AdjustBox);
    ClearBt1 = new QPushButton(QStringLiteral("Restore Default"), adjust);
    ClearBt1->setObjectName(QStringLiteral("ClearBt1"));
    ClearBt2 = new QPushButton(QStringLiteral("Clear Adjust Value "), adjust);
    ClearBt2->setObjectName(QStringLiteral("ClearBt2"));
    const int buttonLeft = ColumnWidth + 4;
    PlaceScaled(ClearBt1, buttonLeft + 4, HeaderHeight + 4 * Pitch, 110, RowHeight);
    PlaceScaled(ClearBt2, buttonLeft + 118, HeaderHeight + 4 * Pitch, 124, RowHeight);
    for (QPushButton *b : {ClearBt1, ClearBt2})
        SetScaledFont(b, FontSize);
    connect(ClearBt1, &QPushButton::clicked, this, [this] { m_logic.ClearBt1Click(true); });
    connect(ClearBt2, &QPushButton::clicked, this, [this] { m_logic.ClearBt1Click(false); });

    // The fourth column: firmware, the access field in its place, buttons.
    const int left = columnLeft(3);
    int top = ViewTop + 2 * boxHeight(2) + 8;
    FWVersion = makeLabel(window, QStringLiteral("FWVersion"), QString());
    FWVersion->setFrameShape(QFrame::Panel);
    FWVersion->setFrameShadow(QFrame::Sunken);
    FWVersion->setAlignment(Qt::AlignCenter);
    PlaceScaled(FWVersion, left, top, ColumnWidth, 22);
    FWVersion->installEventFilter(this);
    FWVersion->hide();
    PassEdit = new QLineEdit(window);
    PassEdit->setObjectName(QStringLiteral("PassEdit"));
    PassEdit->setEchoMode(QLineEdit::Password);
    PlaceScaled(PassEdit, left, top, ColumnWidth - 26, 22);
    PassEdit->hide();
    connect(PassEdit, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_logic.PassEditChange(text); });
    PassLB = new QLabel(window);
    PassLB->setObjectName(QStringLiteral("PassLB"));
    PassLB->setText(QStringLiteral("\u2715"));
    PassLB->setAlignment(Qt::AlignCenter);
    PassLB->setToolTip(QStringLiteral("Close"));
    PlaceScaled(PassLB, left + ColumnWidth - 22, top, 22, 22);
    PassLB->installEventFilter(this);
    PassLB->hide();

    top += 28;
    auto button = [&](const char *name, const char *text, int x, int width) {
        auto *b = new QPushButton(QString::fromUtf8(text), window);
        b->setObjectName(QString::fromLatin1(name));
        SetScaledFont(b, FontSize);
        PlaceScaled(b, x, top, width, 26);
        b->hide();
        return b;
    };
    ProgBt = button("ProgBt", "Edit Ramp/Soak Pattern", left, ColumnWidth);
    connect(ProgBt, &QPushButton::clicked, this, &SetupViewForm::progBtClicked);
    top += 30;
    DrawBt = button("DrawBt", "PV Monitor", left, 80);
    SaveBt = button("SaveBt", "Save to File", left + 83, 80);
    OpenBt = button("OpenBt", "Open File", left + 166, 80);
    connect(DrawBt, &QPushButton::clicked, this, [this] { m_logic.DrawBtClick(); });
    connect(SaveBt, &QPushButton::clicked, this, &SetupViewForm::saveBtClicked);
    connect(OpenBt, &QPushButton::clicked, this, &SetupViewForm::openBtClicked);
    top += 30;
    CompareFileBt = button("CompareFileBt", "Compare with File\u2026", left, 104);
    CompareCtrlBt = button("CompareCtrlBt", "Compare with Controller\u2026", left + 107, 139);
    connect(CompareFileBt, &QPushButton::clicked, this, &SetupViewForm::compareFileBtClicked);
    connect(CompareCtrlBt, &QPushButton::clicked, this, &SetupViewForm::compareCtrlBtClicked);
    top += 32;
    UpLoadLabel =
        makeLabel(window, QStringLiteral("UpLoadLabel"), QStringLiteral("Reading Data Now"));
    PlaceScaled(UpLoadLabel, left, top, ColumnWidth, 18);
    UpLoadLabel->hide();
    UpLoadBar = new QProgressBar(window);
    UpLoadBar->setObjectName(QStringLiteral("UpLoadBar"));
    UpLoadBar->setRange(0, 100);
    PlaceScaled(UpLoadBar, left, top + 20, ColumnWidth, 18);
    UpLoadBar->hide();
    top += 44;
    OpPanel = new QFrame(window);
    OpPanel->setObjectName(QStringLiteral("OpPanel"));
    OpPanel->setFrameShape(QFrame::Box);
    PlaceScaled(OpPanel, left, top, ColumnWidth, 96);
    OpPanel->hide();
    auto panelButton = [&](const char *name, const char *text, int y) {
        auto *b = new QPushButton(QString::fromLatin1(text), OpPanel);
        b->setObjectName(QString::fromLatin1(name));
        SetScaledFont(b, FontSize);
        PlaceScaled(b, 6, y, ColumnWidth - 12, 26);
        return b;
    };
    Notice = makeLabel(window, QStringLiteral("Notice"), QString());
    // In the place of the file panel, which is never shown while a single
    // write can be refused (editing is off while a file is shown).
    PlaceScaled(Notice, left, top, ColumnWidth, 56);
    Notice->setWordWrap(true);
    Notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Notice->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    Notice->hide();
    LoadBt = panelButton("LoadBt", "Cancel", 4);
    WriteBt = panelButton("WriteBt", "Write to the controller", 34);
    WrAllBt = panelButton("WrAllBt", "Write to all controller", 64);
    connect(LoadBt, &QPushButton::clicked, this, &SetupViewForm::loadBtClicked);
    connect(WriteBt, &QPushButton::clicked, this, [this] { emit writeBtClicked(false); });
    connect(WrAllBt, &QPushButton::clicked, this, [this] { emit writeBtClicked(true); });
}

void SetupViewForm::createRow(SetupField f, QWidget *parent, int top, int width, int listWidth)
{
    const SetupRow &r = RowOf(f);
    SetupRowWidgets &w = m_rows[size_t(f)];
    const QString name = QString::fromLatin1(r.name);
    const bool hasCode = *r.code != '\0';
    if (hasCode) {
        const QString codeName =
            *r.codeName ? QString::fromLatin1(r.codeName) : name + QStringLiteral("Code");
        w.code = makeLabel(parent, codeName, QString::fromLatin1(r.code));
        PlaceScaled(w.code, 4, top, CodeWidth, RowHeight);
    }
    const int pictureLeft = width - PictureSize - 4;
    const int fieldWidth = r.list ? listWidth : EditWidth;
    const int fieldLeft = pictureLeft - 2 - fieldWidth;
    const int captionLeft = r.box == B::AdjustBox ? 4 : 4 + CodeWidth + 2;
    w.caption = makeLabel(parent, name + QStringLiteral("Caption"), QString::fromLatin1(r.caption));
    PlaceScaled(w.caption, captionLeft, top, fieldLeft - captionLeft - 2, RowHeight);
    if (r.list) {
        w.list = new QComboBox(parent);
        w.list->setObjectName(name);
        SetScaledFont(w.list, FontSize);
        PlaceScaled(w.list, fieldLeft, top, fieldWidth, RowHeight);
        // The items may be wider than the closed list.
        w.list->view()->setMinimumWidth(Scaled(180));
        connect(w.list, &QComboBox::activated, this,
                [this, f](int index) { m_logic.CtrlSetSelect(f, index); });
        w.caption->setBuddy(w.list);
    } else {
        w.edit = new FieldEdit(parent);
        w.edit->setObjectName(name);
        SetScaledFont(w.edit, FontSize);
        PlaceScaled(w.edit, fieldLeft, top, fieldWidth, RowHeight);
        connect(w.edit, &QLineEdit::textEdited, this, [this, f](const QString &text) {
            m_logic.OnKeyPress(f, text.isEmpty() ? QChar() : text.back(), text);
        });
        connect(w.edit, &QLineEdit::returnPressed, this, [this, f] {
            m_logic.OnKeyPress(f, QLatin1Char('\r'), m_rows[size_t(f)].edit->text());
        });
        w.caption->setBuddy(w.edit);
    }
    w.picture = new QLabel(parent);
    w.picture->setObjectName(name + QStringLiteral("Pic"));
    w.picture->setScaledContents(true);
    PlaceScaled(w.picture, pictureLeft, top + (RowHeight - PictureSize) / 2, PictureSize,
                PictureSize);
}

bool SetupViewForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FWVersion && event->type() == QEvent::MouseButtonDblClick) {
        m_logic.FWVersionDblClick();
        return true;
    }
    if (watched == PassLB && event->type() == QEvent::MouseButtonPress) {
        m_logic.PassLBClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SetupViewForm::render()
{
    const SetupViewModel &m = m_logic.model();
    const SetupViewModel &was = m_shown;
    const bool all = !m_renderedOnce;
    for (int i = 0; i < SetupBoxCount; ++i) {
        const SetupBoxState &b = m.box[size_t(i)];
        const SetupBoxState &wb = was.box[size_t(i)];
        if (all || b.enabled != wb.enabled)
            m_boxes[size_t(i)]->setEnabled(b.enabled);
        if (all || b.visible != wb.visible)
            m_boxes[size_t(i)]->setVisible(b.visible);
    }
    for (int i = 0; i < SetupFieldCount; ++i)
        renderRow(F(i), m.field[size_t(i)], was.field[size_t(i)], all);
    if (all || m.out2Panel != was.out2Panel)
        OUT2PL->setVisible(m.out2Panel);
    if (all || m.labelOfs != was.labelOfs)
        LabelOfs->setText(m.labelOfs);
    if (all || m.fwCaption != was.fwCaption)
        FWVersion->setText(m.fwCaption);
    if (all || m.fwVisible != was.fwVisible)
        FWVersion->setVisible(m.fwVisible);
    if (all || m.fwEnabled != was.fwEnabled)
        FWVersion->setEnabled(m.fwEnabled);
    if (PassEdit->text() != m.passText)
        PassEdit->setText(m.passText);
    if (all || m.passVisible != was.passVisible) {
        PassEdit->setVisible(m.passVisible);
        PassLB->setVisible(m.passVisible);
    }
    if (m.passFocus != was.passFocus)
        PassEdit->setFocus();
    if (all || m.progBtVisible != was.progBtVisible)
        ProgBt->setVisible(m.progBtVisible);
    if (all || m.progBtEnabled != was.progBtEnabled)
        ProgBt->setEnabled(m.progBtEnabled);
    if (all || m.drawBtVisible != was.drawBtVisible)
        DrawBt->setVisible(m.drawBtVisible);
    if (all || m.saveBtVisible != was.saveBtVisible)
        SaveBt->setVisible(m.saveBtVisible);
    if (all || m.openBtVisible != was.openBtVisible) {
        OpenBt->setVisible(m.openBtVisible);
        // Comparing goes with the file buttons: the controller's own setup.
        CompareFileBt->setVisible(m.openBtVisible);
        CompareCtrlBt->setVisible(m.openBtVisible);
    }
    if (all || m.opPanelVisible != was.opPanelVisible)
        OpPanel->setVisible(m.opPanelVisible);
    if (all || m.fileButtonsEnabled != was.fileButtonsEnabled) {
        for (QPushButton *b : {SaveBt, OpenBt, DrawBt, CompareFileBt, CompareCtrlBt})
            b->setEnabled(m.fileButtonsEnabled);
    }
    if (all || m.progressCaption != was.progressCaption)
        UpLoadLabel->setText(m.progressCaption);
    if (all || m.progress != was.progress)
        UpLoadBar->setValue(m.progress);
    if (all || m.progressVisible != was.progressVisible) {
        UpLoadLabel->setVisible(m.progressVisible);
        UpLoadBar->setVisible(m.progressVisible);
    }
    if (all || m.notice != was.notice) {
        Notice->setText(m.notice);
        Notice->setVisible(!m.notice.isEmpty());
    }
    if (m.noticeSerial != was.noticeSerial && !m.notice.isEmpty()) {
        // Shown for a few seconds, unless a newer one takes its place.
        const int serial = m.noticeSerial;
        QTimer::singleShot(NoticeMs, this, [this, serial] { m_logic.noticeShown(serial); });
    }
    if (m.select != was.select && m.selectField >= 0 && m.selectField < SetupFieldCount)
        if (QLineEdit *e = m_rows[size_t(m.selectField)].edit)
            e->selectAll();
    m_shown = m;
    m_renderedOnce = true;
}

void SetupViewForm::renderRow(SetupField f, const SetupControlState &c,
                              const SetupControlState &was, bool all)
{
    SetupRowWidgets &w = m_rows[size_t(f)];
    if (all || c.visible != was.visible) {
        for (QWidget *x : {static_cast<QWidget *>(w.code), static_cast<QWidget *>(w.caption),
                           w.field(), static_cast<QWidget *>(w.picture)})
            if (x)
                x->setVisible(c.visible);
    }
    if (w.code && (all || c.code != was.code))
        w.code->setText(c.code);
    if (all || c.picture != was.picture)
        w.picture->setPixmap(rowPicture(c.picture));
    if (all || c.enabled != was.enabled)
        w.field()->setEnabled(c.enabled);
    if (w.edit) {
        // Typing keeps the model's text with the field's, so a difference
        // is the view's own change (or an entry it refused).
        if (w.edit->text() != c.text)
            w.edit->setText(c.text);
        return;
    }
    if (all || c.items != was.items) {
        const QSignalBlocker block(w.list);
        w.list->clear();
        w.list->addItems(c.items);
    }
    if (w.list->currentIndex() != c.position) {
        const QSignalBlocker block(w.list);
        w.list->setCurrentIndex(c.position);
    }
}
