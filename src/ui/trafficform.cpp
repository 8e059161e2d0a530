#include "ui/trafficform.h"

#include "link/trafficlog.h"
#include "ui/dialogs.h"
#include "ui/files.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int RefreshMs = 250;

} // namespace

TrafficForm::TrafficForm(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("TrafficForm"));
    setWindowTitle(QStringLiteral("Traffic"));
    SetScaledFont(this, 12);
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    auto button = [this, bar](const char *name, const char *text) {
        auto *b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    PauseBt = button("PauseBt", "Pause");
    PauseBt->setCheckable(true);
    auto *filterLabel = new QLabel(QStringLiteral("Address:"), this);
    filterLabel->setObjectName(QStringLiteral("AddrFilterLB"));
    bar->addWidget(filterLabel);
    AddrFilter = new QSpinBox(this);
    AddrFilter->setObjectName(QStringLiteral("AddrFilter"));
    AddrFilter->setRange(-1, 247);
    AddrFilter->setSpecialValueText(QStringLiteral("All"));
    AddrFilter->setValue(-1);
    bar->addWidget(AddrFilter);
    bar->addStretch(1);
    ClearBt = button("ClearBt", "Clear");
    SaveBt = button("SaveBt", "Save\u2026");
    CloseBt = button("CloseBt", "Close");
    layout->addLayout(bar);
    LogView = new QPlainTextEdit(this);
    LogView->setObjectName(QStringLiteral("LogView"));
    LogView->setReadOnly(true);
    LogView->setLineWrapMode(QPlainTextEdit::NoWrap);
    LogView->setMaximumBlockCount(TrafficLog::Capacity);
    LogView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(LogView, 1);

    m_timer = new QTimer(this);
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &TrafficForm::refresh);
    connect(PauseBt, &QPushButton::toggled, this, [this](bool paused) {
        PauseBt->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        if (!paused)
            refresh();
    });
    connect(AddrFilter, &QSpinBox::valueChanged, this, &TrafficForm::rebuild);
    connect(ClearBt, &QPushButton::clicked, this, &TrafficForm::ClearBtClick);
    connect(SaveBt, &QPushButton::clicked, this, &TrafficForm::SaveBtClick);
    connect(CloseBt, &QPushButton::clicked, this, &QWidget::close);
    resize(Scaled(900), Scaled(480));
}

TrafficForm *TrafficForm::showFor(QWidget *from)
{
    static QPointer<TrafficForm> form;
    if (!form)
        form = new TrafficForm(from ? from->window() : nullptr);
    ShowCentredOnOwner(form);
    form->raise();
    return form;
}

void TrafficForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuild();
    m_timer->start();
}

void TrafficForm::hideEvent(QHideEvent *event)
{
    // Nobody looks: nothing is decoded.
    m_timer->stop();
    QWidget::hideEvent(event);
}

void TrafficForm::rebuild()
{
    LogView->clear();
    m_shown = 0;
    refresh();
}

void TrafficForm::refresh()
{
    if (PauseBt->isChecked() && m_shown != 0)
        return;
    const TrafficLog &log = TrafficLog::shared();
    if (log.newest() == m_shown)
        return;
    const QStringList lines = TrafficLines(log, m_shown + 1, AddrFilter->value());
    m_shown = log.newest();
    if (lines.isEmpty())
        return;
    QScrollBar *bar = LogView->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    LogView->appendPlainText(lines.join(QLatin1Char('\n')));
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TrafficForm::ClearBtClick()
{
    TrafficLog::shared().clear();
    rebuild();
}

void TrafficForm::SaveBtClick()
{
    const QString path =
        ChooseFileToWrite(QStringLiteral("Save Traffic"), QStringLiteral("Text files (*.txt)"),
                          QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const QStringList lines = TrafficLines(TrafficLog::shared(), 0, AddrFilter->value());
    const QString reason =
        WriteFileWhole(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!reason.isEmpty())
        AppDialogs().inform(QStringLiteral("Message"),
                            QStringLiteral("Can not write file %1 : %2").arg(path, reason));
}

QPushButton *MakeTrafficButton(QWidget *parent)
{
    auto *b = new QPushButton(QStringLiteral("Traffic\u2026"), parent);
    b->setObjectName(QStringLiteral("TrafficBt"));
    b->setAutoDefault(false);
    b->setToolTip(QStringLiteral("Every frame sent and received, with its reading"));
    QObject::connect(b, &QPushButton::clicked, b, [b] { TrafficForm::showFor(b); });
    return b;
}
