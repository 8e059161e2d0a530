#include "program/programform.h"

#include "program/programcompareform.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr int ColumnWidths[ProgramGrid::Columns] = {90, 49, 48, 51, 48, 51, 48, 49, 46};
constexpr int RowHeight = 20;
constexpr int GridLeft = 150;
constexpr int GridTop = 10;
constexpr int FontSize = 11;

QLabel *caption(QWidget *parent, const char *name, const char *text, int x, int y, int w)
{
    auto *l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    SetScaledFont(l, FontSize);
    PlaceScaled(l, x, y, w, 18);
    return l;
}

QStringList numbered(const char *prefix, int count)
{
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QString::fromLatin1(prefix) + QString::number(i);
    return items;
}

void renderCheck(QListWidget *list, const ProgramCheck &check)
{
    list->clear();
    auto add = [list](const QString &text, const QColor &colour, bool bold) {
        auto *item = new QListWidgetItem(text, list);
        item->setForeground(colour);
        if (bold) {
            QFont f = list->font();
            f.setBold(true);
            item->setFont(f);
        }
    };
    add(QStringLiteral("Run: ") + check.runText, Qt::black, true);
    add(check.timeText, Qt::black, true);
    for (const CheckFinding &f : check.findings) {
        switch (f.level) {
        case CheckFinding::Level::Error:
            add(QStringLiteral("\u2716 ") + f.text, QColor(200, 0, 0), false);
            break;
        case CheckFinding::Level::Warning:
            add(QStringLiteral("\u26a0 ") + f.text, QColor(160, 90, 0), false);
            break;
        case CheckFinding::Level::Note:
            add(f.text, Qt::black, false);
            break;
        }
    }
}

} // namespace

ProgramForm::ProgramForm(QWidget *owner)
    : QWidget(owner,
              Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ProgramForm"));
    setWindowTitle(QStringLiteral("Ramp/Soak Pattern Editor"));
    ProgramEditorActions actions;
    actions.changed = [this] { scheduleRender(); };
    actions.post = [this](std::function<void()> call) {
        QTimer::singleShot(0, this, std::move(call));
    };
    m_editor = std::make_unique<ProgramEditor>(m_program, std::move(actions));
    createControls();
    m_compare = new ProgramCompareForm(m_program, this);
    m_rangeTimer = new QTimer(this);
    m_rangeTimer->setInterval(1000);
    connect(m_rangeTimer, &QTimer::timeout, this, [this] { m_editor->rangeTick(); });
    render();
}

ProgramForm::~ProgramForm() = default;

void ProgramForm::createControls()
{
    ProgramEditor &e = *m_editor;
    resize(Scaled(1020), Scaled(580));

    caption(this, "LabelP2_2", "P2-2", 10, 10, 120);
    auto *startPanel = caption(this, "StartPatternPL", "Start Pattern", 10, 28, 120);
    startPanel->setFrameShape(QFrame::Panel);
    startPanel->setAlignment(Qt::AlignCenter);
    ProgStart = new QComboBox(this);
    ProgStart->setObjectName(QStringLiteral("ProgStart"));
    ProgStart->addItems(numbered("Pattern ", RampSoakProgram::Patterns));
    SetScaledFont(ProgStart, FontSize);
    PlaceScaled(ProgStart, 10, 48, 120, 24);
    connect(ProgStart, &QComboBox::currentIndexChanged, this,
            [&e](int i) { e.ProgStartChange(i); });

    auto button = [&](QPushButton *&b, const char *name, const char *text, int y,
                      void (ProgramEditor::*handler)()) {
        b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        SetScaledFont(b, FontSize);
        PlaceScaled(b, 10, y, 120, 28);
        if (handler)
            connect(b, &QPushButton::clicked, this, [&e, handler] { (e.*handler)(); });
    };
    button(ReadSBt, "ReadSBt", "Read from Duva", 90, &ProgramEditor::ReadSBtClick);
    button(ReadFBt, "ReadFBt", "Open File", 124, &ProgramEditor::ReadFBtClick);
    button(SaveFBt, "SaveFBt", "Write to File", 158, &ProgramEditor::SaveFBtClick);
    button(WrBt, "WrBt", "Write to Duva", 192, &ProgramEditor::WrBtClick);
    button(EditPBt, "EditPBt", "Edit", 226, &ProgramEditor::EditPBtClick);
    button(CompareBt, "CompareBt", "Compare with recording\u2026", 260, nullptr);
    // Beneath the program check, beside the curve.
    PlaceScaled(CompareBt, GridLeft + ProgramEditor::CurveWidth + 10, 546, 230, 28);
    connect(CompareBt, &QPushButton::clicked, this, &ProgramForm::CompareBtClick);
    RetBt = new QPushButton(QStringLiteral("Back"), this);
    RetBt->setObjectName(QStringLiteral("RetBt"));
    SetScaledFont(RetBt, FontSize);
    PlaceScaled(RetBt, 10, 370, 120, 28);
    connect(RetBt, &QPushButton::clicked, this, &QWidget::hide);

    ProgTable = new QTableWidget(ProgramGrid::Rows, ProgramGrid::Columns, this);
    ProgTable->setObjectName(QStringLiteral("ProgTable"));
    ProgTable->horizontalHeader()->hide();
    ProgTable->verticalHeader()->hide();
    ProgTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ProgTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ProgTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProgTable->setSelectionMode(QAbstractItemView::SingleSelection);
    SetScaledFont(ProgTable, 8); // "Pattern 7" within a 46-pixel column
    ProgTable->setTextElideMode(Qt::ElideNone);
    int width = 0;
    for (int c = 0; c < ProgramGrid::Columns; ++c) {
        ProgTable->setColumnWidth(c, Scaled(ColumnWidths[c]));
        width += ColumnWidths[c];
    }
    int height = 0;
    for (int r = 0; r < ProgramGrid::Rows; ++r) {
        const int h = r == 9 ? RowHeight - 1 : RowHeight;
        ProgTable->setRowHeight(r, Scaled(h));
        height += h;
    }
    for (int r = 0; r < ProgramGrid::Rows; ++r) {
        for (int c = 0; c < ProgramGrid::Columns; ++c) {
            auto *item = new QTableWidgetItem;
            if (r == 0 || c == 0) {
                // The title row and column stay put: not selectable.
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(palette().button());
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            ProgTable->setItem(r, c, item);
        }
    }
    PlaceScaled(ProgTable, GridLeft, GridTop, width + 2, height + 2);
    connect(ProgTable, &QTableWidget::currentCellChanged, this,
            [&e](int row, int column) { e.ProgTableClick(row, column); });
    connect(ProgTable, &QTableWidget::cellClicked, this,
            [&e](int row, int column) { e.ProgTableClick(row, column); });

    // The front-panel codes beside the grid.
    const int codes = GridLeft + width + 8;
    caption(this, "LabelP3_19", "P3-19", codes, GridTop + RowHeight + 2, 50);
    caption(this, "LabelP3_20", "P3-20", codes, GridTop + 2 * RowHeight + 2, 50);
    caption(this, "LabelP3_21", "P3-21", codes, GridTop + 17 * RowHeight + 1, 50);
    caption(this, "LabelP3_22", "P3-22", codes, GridTop + 18 * RowHeight + 1, 50);
    caption(this, "LabelP3_23", "P3-23", codes, GridTop + 19 * RowHeight + 1, 50);

    EditBox = new QGroupBox(QStringLiteral("Edit Page"), this);
    EditBox->setObjectName(QStringLiteral("EditBox"));
    SetScaledFont(EditBox, FontSize, true);
    PlaceScaled(EditBox, codes + 56, GridTop, 170, 220);
    StepLinkLb = caption(EditBox, "StepLinkLb", "", 10, 24, 150);
    StepLinkLb->setFrameShape(QFrame::Panel);
    StepLinkLb->setAlignment(Qt::AlignCenter);
    SPEdit = new QLineEdit(EditBox);
    SPEdit->setObjectName(QStringLiteral("SPEdit"));
    SetScaledFont(SPEdit, FontSize);
    PlaceScaled(SPEdit, 10, 50, 150, 24);
    connect(SPEdit, &QLineEdit::textEdited, this, [&e](const QString &t) { e.SPEditChange(t); });
    connect(SPEdit, &QLineEdit::returnPressed, this, [&e] { e.POKBtClick(); });
    auto list = [&](QComboBox *&box, const char *name, const QStringList &items, int y) {
        box = new QComboBox(EditBox);
        box->setObjectName(QString::fromLatin1(name));
        box->addItems(items);
        SetScaledFont(box, FontSize);
        PlaceScaled(box, 10, y, 150, 24);
        box->installEventFilter(this);
    };
    list(MaxStep, "MaxStep", numbered("", RampSoakProgram::StepsPerPattern), 50);
    connect(MaxStep, &QComboBox::currentIndexChanged, this, [&e](int i) { e.MaxStepChange(i); });
    list(StepLink, "StepLink",
         numbered("Pattern ", RampSoakProgram::Patterns) << QStringLiteral("Prog End"), 50);
    connect(StepLink, &QComboBox::currentIndexChanged, this, [&e](int i) { e.StepLinkChange(i); });
    TimeHourLB = caption(EditBox, "TimeHourLB", "Hour", 10, 30, 70);
    list(TimeHour, "TimeHour", numbered("", 16), 50);
    PlaceScaled(TimeHour, 10, 50, 70, 24);
    connect(TimeHour, &QComboBox::currentIndexChanged, this, [&e](int i) { e.TimeHourChange(i); });
    TimeMinLb = caption(EditBox, "TimeMinLb", "Minute", 90, 30, 70);
    TimeMin = new QSpinBox(EditBox);
    TimeMin->setObjectName(QStringLiteral("TimeMin"));
    TimeMin->setRange(0, 59);
    SetScaledFont(TimeMin, FontSize);
    PlaceScaled(TimeMin, 90, 50, 70, 24);
    connect(TimeMin, &QSpinBox::textChanged, this, [&e](const QString &t) { e.TimeMinChange(t); });
    POKBt = new QPushButton(QStringLiteral("Enter"), EditBox);
    POKBt->setObjectName(QStringLiteral("POKBt"));
    SetScaledFont(POKBt, FontSize);
    PlaceScaled(POKBt, 10, 90, 150, 28);
    connect(POKBt, &QPushButton::clicked, this, [&e] { e.POKBtClick(); });

    const int below = GridTop + height + 12;
    UpLoadLabelP = caption(this, "UpLoadLabelP", "Reading Now", GridLeft, below, 300);
    UpLoadLabelP->setStyleSheet(
        QStringLiteral("color: white; background: green; font-weight: bold;"));
    UpLoadBarP = new QProgressBar(this);
    UpLoadBarP->setObjectName(QStringLiteral("UpLoadBarP"));
    UpLoadBarP->setRange(0, 100);
    UpLoadBarP->setStyleSheet(QStringLiteral("QProgressBar::chunk { background: blue; }"));
    PlaceScaled(UpLoadBarP, GridLeft + 310, below, 310, 18);
    ProgCurve = new QLabel(this);
    ProgCurve->setObjectName(QStringLiteral("ProgCurve"));
    ProgCurve->setScaledContents(true);
    PlaceScaled(ProgCurve, GridLeft, below + 24, ProgramEditor::CurveWidth,
                ProgramEditor::CurveHeight);

    // The program check beside the curve.
    ProgCheck = new QListWidget(this);
    ProgCheck->setObjectName(QStringLiteral("ProgCheck"));
    ProgCheck->setWordWrap(true);
    ProgCheck->setSelectionMode(QAbstractItemView::NoSelection);
    ProgCheck->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetScaledFont(ProgCheck, 9);
    PlaceScaled(ProgCheck, GridLeft + ProgramEditor::CurveWidth + 10, 240, 230, 300);
}

void ProgramForm::setRecordingLoader(ProgramCompare::RecordingLoader loader)
{
    m_compare->comparison().setLoader(std::move(loader));
}

void ProgramForm::CompareBtClick()
{
    // The recorded words' scale as the selected controller holds its
    // values, when its setup is known; tenths otherwise.
    ProgramComparison &c = m_compare->comparison();
    if (const auto range = m_editor->controllerRange()) {
        const int units = RegisterUnitsPerUnit(range->decimals, range->linearInput);
        c.setDecimals(units == 10 ? 1 : qBound(0, range->decimals, 3));
    }
    if (!c.open())
        return;
    m_compare->show();
    m_compare->raise();
}

void ProgramForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (parentWidget()) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.center() - rect().center());
    }
    m_editor->FormShow();
    m_rangeTimer->start();
}

void ProgramForm::hideEvent(QHideEvent *event)
{
    m_rangeTimer->stop();
    QWidget::hideEvent(event);
}

bool ProgramForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in a list commits it, as in the set value field.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (watched == MaxStep || watched == StepLink || watched == TimeHour)) {
            m_editor->POKBtClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ProgramForm::scheduleRender()
{
    if (m_renderArmed)
        return;
    m_renderArmed = true;
    QTimer::singleShot(0, this, [this] { render(); });
}

void ProgramForm::render()
{
    m_renderArmed = false;
    const ProgramViewModel &m = m_editor->model();
    const ProgramViewModel &was = m_shown;
    const bool all = !m_renderedOnce;
    {
        const QSignalBlocker block(ProgTable);
        for (int r = 0; r < ProgramGrid::Rows; ++r)
            for (int c = 0; c < ProgramGrid::Columns; ++c)
                if (all || m.cells[size_t(r)][size_t(c)] != was.cells[size_t(r)][size_t(c)]) {
                    ProgTable->item(r, c)->setText(m.cells[size_t(r)][size_t(c)]);
                    // The titles may be wider than their column.
                    if (c == 0)
                        ProgTable->item(r, c)->setToolTip(m.cells[size_t(r)][size_t(c)]);
                }
    }
    // The view's own changes do not come back as the user's.
    const QSignalBlocker b1(ProgStart), b2(MaxStep), b3(StepLink), b4(TimeHour), b5(TimeMin);
    if (ProgStart->currentIndex() != m.progStart)
        ProgStart->setCurrentIndex(m.progStart);
    if (MaxStep->currentIndex() != m.maxStepIndex)
        MaxStep->setCurrentIndex(m.maxStepIndex);
    if (StepLink->currentIndex() != m.stepLinkIndex)
        StepLink->setCurrentIndex(m.stepLinkIndex);
    if (TimeHour->currentIndex() != m.timeHour)
        TimeHour->setCurrentIndex(m.timeHour);
    if (TimeMin->text() != m.timeMinText)
        TimeMin->setValue(m.timeMinText.toInt());
    if (SPEdit->text() != m.spEditText)
        SPEdit->setText(m.spEditText);
    EditBox->setVisible(m.editBoxVisible);
    EditBox->setEnabled(m.editBoxEnabled);
    StepLinkLb->setVisible(m.stepLinkLbVisible);
    StepLinkLb->setText(m.stepLinkLbCaption);
    SPEdit->setVisible(m.spEditVisible);
    MaxStep->setVisible(m.maxStepVisible);
    StepLink->setVisible(m.stepLinkVisible);
    for (QWidget *w : {static_cast<QWidget *>(TimeHourLB), static_cast<QWidget *>(TimeHour),
                       static_cast<QWidget *>(TimeMinLb), static_cast<QWidget *>(TimeMin)})
        w->setVisible(m.timeVisible);
    TimeMin->setEnabled(m.timeMinEnabled);
    ProgStart->setEnabled(m.progStartEnabled);
    ReadSBt->setEnabled(m.readSBtEnabled);
    ReadFBt->setEnabled(m.readFBtEnabled);
    SaveFBt->setEnabled(m.saveFBtEnabled);
    WrBt->setEnabled(m.wrBtEnabled);
    EditPBt->setEnabled(m.editPBtEnabled);
    UpLoadLabelP->setText(m.progressCaption);
    UpLoadBarP->setValue(m.progress);
    UpLoadLabelP->setVisible(m.progressVisible);
    UpLoadBarP->setVisible(m.progressBarVisible);
    if (all || m.curveVersion != was.curveVersion)
        ProgCurve->setPixmap(QPixmap::fromImage(m_editor->curve().image()));
    ProgCurve->setVisible(m.curveVisible);
    CompareBt->setEnabled(m.readSBtEnabled);
    if (all || m.checkVersion != was.checkVersion) {
        renderCheck(ProgCheck, m.check);
        // The comparison follows the program it holds the recording against.
        if (m_compare->isVisible())
            m_compare->comparison().refresh();
    }
    if (m.focusCount != was.focusCount && m.editBoxVisible) {
        QWidget *target = nullptr;
        switch (m.focus) {
        case ProgramFocus::SPEdit:
            target = SPEdit;
            break;
        case ProgramFocus::MaxStep:
            target = MaxStep;
            break;
        case ProgramFocus::StepLink:
            target = StepLink;
            break;
        case ProgramFocus::POKBt:
            target = POKBt;
            break;
        case ProgramFocus::None:
            break;
        }
        if (target)
            target->setFocus();
    }
    m_shown = m;
    m_renderedOnce = true;
    emit rendered();
}
