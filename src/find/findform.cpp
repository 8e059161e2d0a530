#include "find/findform.h"

#include "ui/deferredrender.h"
#include "ui/dialogs.h"
#include "ui/screenscale.h"
#include "ui/trafficform.h"
#include "ui/windowplacement.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QSpinBox *addressBox(QWidget *parent, const char *name, int value)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(FindLogic::FirstAddress, FindLogic::LastAddress);
    box->setValue(value);
    return box;
}

QPushButton *button(QWidget *parent, const char *name, const char *text)
{
    auto *b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const QByteArray &name, const char *text)
{
    auto *l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

FindForm::FindForm(QWidget *owner, LineSettingsSource settings)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("FindForm"));
    setWindowTitle(QStringLiteral("Find Controllers"));
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setPortChooser(ChoosePort);
    if (!settings)
        settings = [] { return LineSettings(); };
    m_logic = new FindLogic(ApdComPort1, std::move(settings), this);
    // One render per turn of the event loop, after the request the scan
    // just sent has left.
    m_render = new DeferredRender(this, [this] { render(); });
    connect(m_logic, &FindLogic::changed, m_render, [this] { m_render->request(); });
    SetScaledFont(this, 12);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Scaled(12), Scaled(12), Scaled(12), Scaled(12));
    layout->setSpacing(Scaled(8));

    auto *settingsRow = new QHBoxLayout;
    settingsRow->addWidget(label(this, "SettingsCaption", "Line settings:"));
    SettingsLB = label(this, "SettingsLB", "");
    settingsRow->addWidget(SettingsLB, 1);
    layout->addLayout(settingsRow);

    // A range of addresses and the button that works on it, in a box.
    auto rangeBox = [this, layout](const char *name, const char *title, const char *firstName,
                                   const char *lastName, int last, const char *buttonName,
                                   const char *buttonText, QSpinBox *&first, QSpinBox *&lastBox,
                                   QPushButton *&bt) {
        auto *box = new QGroupBox(QString::fromLatin1(title), this);
        box->setObjectName(QString::fromLatin1(name));
        auto *row = new QHBoxLayout(box);
        row->addWidget(label(box, QByteArray(firstName) + "LB", "From address"));
        first = addressBox(box, firstName, FindLogic::FirstAddress);
        row->addWidget(first);
        row->addWidget(label(box, QByteArray(lastName) + "LB", "to"));
        lastBox = addressBox(box, lastName, last);
        row->addWidget(lastBox);
        row->addStretch(1);
        bt = button(box, buttonName, buttonText);
        row->addWidget(bt);
        layout->addWidget(box);
    };
    rangeBox("ScanBox", "Address scan at these settings", "FirstAddr", "LastAddr",
             FindLogic::LastAddress, "ScanBt", "Scan", FirstAddr, LastAddr, ScanBt);
    // The line check asks the scan's range.
    CheckBt = button(ScanBt->parentWidget(), "CheckBt", "Check line");
    CheckBt->setToolTip(QStringLiteral("Listens and asks, and says what is wrong with the line: "
                                       "silence, garbage, echo, bad checksums, collisions"));
    ScanBt->parentWidget()->layout()->addWidget(CheckBt);
    rangeBox("SearchBox", "Search the line settings", "SearchFirst", "SearchLast",
             FindLogic::SearchLastAddress, "SearchBt", "Search", SearchFirst, SearchLast, SearchBt);

    // The time a controller is given to answer, and what it makes the runs
    // take.
    auto *marginRow = new QHBoxLayout;
    marginRow->addWidget(label(this, "MarginLB", "Reply margin"));
    MarginBox = new QSpinBox(this);
    MarginBox->setObjectName(QStringLiteral("MarginBox"));
    MarginBox->setRange(0, AddressScan::MaximumMarginMs);
    MarginBox->setSingleStep(10);
    MarginBox->setSuffix(QStringLiteral(" ms"));
    MarginBox->setValue(AddressScan::DefaultMarginMs);
    MarginBox->setToolTip(QStringLiteral("How long each address is given to answer beyond "
                                         "the time its frames take on the line"));
    marginRow->addWidget(MarginBox);
    marginRow->addStretch(1);
    layout->addLayout(marginRow);
    TimeLB = label(this, "TimeLB", "");
    TimeLB->setWordWrap(true);
    layout->addWidget(TimeLB);
    const auto ranges = [this] {
        m_logic->rangesChanged(FirstAddr->value(), LastAddr->value(), SearchFirst->value(),
                               SearchLast->value());
    };
    for (QSpinBox *box : {FirstAddr, LastAddr, SearchFirst, SearchLast})
        connect(box, &QSpinBox::valueChanged, this, ranges);
    connect(MarginBox, &QSpinBox::valueChanged, this, [this](int ms) { m_logic->setMarginMs(ms); });

    auto *progressRow = new QHBoxLayout;
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setTextVisible(false);
    progressRow->addWidget(Progress, 1);
    CancelBt = button(this, "CancelBt", "Cancel");
    progressRow->addWidget(CancelBt);
    layout->addLayout(progressRow);
    StatusLB = label(this, "StatusLB", "");
    StatusLB->setWordWrap(true);
    layout->addWidget(StatusLB);
    CheckLB = label(this, "CheckLB", "");
    CheckLB->setWordWrap(true);
    CheckLB->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(CheckLB);

    ResultGrid = new QTableWidget(0, 3, this);
    ResultGrid->setObjectName(QStringLiteral("ResultGrid"));
    ResultGrid->setHorizontalHeaderLabels(
        {QStringLiteral("Address"), QStringLiteral("Model"), QStringLiteral("Firmware")});
    ResultGrid->verticalHeader()->hide();
    ResultGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResultGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ResultGrid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(ResultGrid, 1);

    auto *buttons = new QHBoxLayout;
    UseBt = button(this, "UseBt", "Use these settings");
    UseBt->setToolTip(
        QStringLiteral("Makes the settings found the program's settings and stores them"));
    buttons->addWidget(UseBt);
    MonitorBt = button(this, "MonitorBt", "Monitor these");
    MonitorBt->setToolTip(
        QStringLiteral("Opens the configuration window on the first four controllers found"));
    buttons->addWidget(MonitorBt);
    buttons->addStretch(1);
    buttons->addWidget(MakeTrafficButton(this));
    CloseBt = button(this, "CloseBt", "Close");
    buttons->addWidget(CloseBt);
    layout->addLayout(buttons);

    connect(ScanBt, &QPushButton::clicked, this, &FindForm::ScanBtClick);
    connect(CheckBt, &QPushButton::clicked, this, &FindForm::CheckBtClick);
    connect(SearchBt, &QPushButton::clicked, this, &FindForm::SearchBtClick);
    connect(CancelBt, &QPushButton::clicked, m_logic, &FindLogic::CancelBtClick);
    connect(UseBt, &QPushButton::clicked, m_logic, &FindLogic::UseBtClick);
    connect(MonitorBt, &QPushButton::clicked, m_logic, &FindLogic::MonitorBtClick);
    connect(CloseBt, &QPushButton::clicked, this, &QWidget::close);

    resize(Scaled(560), Scaled(520));
    render();
}

FindForm::~FindForm()
{
    m_logic->FormClose();
}

void FindForm::ScanBtClick()
{
    m_logic->ScanBtClick(FirstAddr->value(), LastAddr->value());
}

void FindForm::CheckBtClick()
{
    m_logic->CheckBtClick(FirstAddr->value(), LastAddr->value());
}

void FindForm::SearchBtClick()
{
    m_logic->SearchBtClick(SearchFirst->value(), SearchLast->value());
}

void FindForm::endWork()
{
    m_logic->FormClose();
    hide();
}

void FindForm::showWindow()
{
    ShowCentredOnOwner(this);
}

void FindForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_logic->FormShow();
}

void FindForm::closeEvent(QCloseEvent *event)
{
    m_logic->FormClose();
    event->accept();
}

void FindForm::render()
{
    m_render->done();
    const FindView &v = m_logic->view();
    SettingsLB->setText(v.settings);
    StatusLB->setText(v.status);
    CheckLB->setText(v.checkText);
    CheckLB->setVisible(!v.checkText.isEmpty());
    if (TimeLB->text() != v.timeText)
        TimeLB->setText(v.timeText);
    Progress->setMaximum(qMax(1, v.progressMaximum));
    Progress->setValue(qBound(0, v.progressValue, Progress->maximum()));
    for (QWidget *w : {static_cast<QWidget *>(FirstAddr), static_cast<QWidget *>(LastAddr),
                       static_cast<QWidget *>(ScanBt), static_cast<QWidget *>(CheckBt),
                       static_cast<QWidget *>(SearchFirst), static_cast<QWidget *>(SearchLast),
                       static_cast<QWidget *>(SearchBt), static_cast<QWidget *>(MarginBox),
                       static_cast<QWidget *>(CloseBt)})
        w->setEnabled(!v.running);
    for (QWidget *w : {static_cast<QWidget *>(SearchFirst), static_cast<QWidget *>(SearchLast),
                       static_cast<QWidget *>(SearchBt)})
        w->setEnabled(!v.running && v.searchOffered);
    CancelBt->setEnabled(v.running);
    UseBt->setEnabled(!v.running && v.mayUse);
    MonitorBt->setEnabled(!v.running && v.mayMonitor);
    ResultGrid->setRowCount(int(v.rows.size()));
    for (int r = 0; r < v.rows.size(); ++r) {
        const FindRow &row = v.rows.at(r);
        const QString texts[] = {row.address, row.model, row.firmware};
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem *item = ResultGrid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                ResultGrid->setItem(r, c, item);
            }
            if (item->text() != texts[c])
                item->setText(texts[c]);
        }
    }
}
