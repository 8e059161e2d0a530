#include "program/programcompareform.h"

#include "ui/screenscale.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <cmath>

namespace {

constexpr int FontSize = 10;

template<typename W>
W *named(W *w, const char *name, int x, int y, int width, int height)
{
    w->setObjectName(QString::fromLatin1(name));
    SetScaledFont(w, FontSize);
    PlaceScaled(w, x, y, width, height);
    return w;
}

QLabel *caption(QWidget *parent, const char *name, const char *text, int x, int y, int w)
{
    return named(new QLabel(QString::fromUtf8(text), parent), name, x, y, w, 22);
}

} // namespace

ProgramCompareForm::ProgramCompareForm(const RampSoakProgram &program, QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_logic(program, [this] { QTimer::singleShot(0, this, [this] { render(); }); })
{
    setObjectName(QStringLiteral("ProgramCompareForm"));
    setWindowTitle(QStringLiteral("Compare with Recording"));
    resize(Scaled(960), Scaled(560));

    CompOpenBt = named(new QPushButton(QStringLiteral("Open Recording\u2026"), this), "CompOpenBt",
                       10, 10, 150, 26);
    CompFileLb =
        named(new QLabel(QStringLiteral("No recording"), this), "CompFileLb", 170, 12, 780, 22);
    caption(this, "CompDeviceLb", "Device", 10, 46, 60)
        ->setBuddy(CompDevice = named(new QComboBox(this), "CompDevice", 70, 44, 190, 26));
    caption(this, "CompStartCap", "Program started at record", 275, 46, 170)
        ->setBuddy(CompStart = named(new QSpinBox(this), "CompStart", 445, 44, 90, 26));
    CompStartLb = named(new QLabel(this), "CompStartLb", 540, 46, 120, 22);
    CompFindBt =
        named(new QPushButton(QStringLiteral("Find Start"), this), "CompFindBt", 660, 44, 84, 26);
    CompFindBt->setToolTip(QStringLiteral("Take the record from which the recording follows the "
                                          "program best as its start; a click on the chart "
                                          "sets the start there."));
    caption(this, "CompToleranceLb", "Band \u00b1", 750, 46, 60)
        ->setBuddy(CompTolerance =
                       named(new QDoubleSpinBox(this), "CompTolerance", 810, 44, 140, 26));
    CompTolerance->setDecimals(1);
    CompTolerance->setRange(0.0, 3276.7);
    CompTolerance->setSingleStep(0.5);
    CompTolerance->setValue(5.0);
    caption(this, "CompScaleLb", "Recorded values in", 10, 80, 130)
        ->setBuddy(CompScale = named(new QComboBox(this), "CompScale", 140, 78, 300, 26));
    CompScale->addItems({QStringLiteral("whole units (no decimal)"),
                         QStringLiteral("tenths (one decimal, as the program)"),
                         QStringLiteral("hundredths (two decimals)"),
                         QStringLiteral("thousandths (three decimals)")});
    CompScale->setCurrentIndex(1);
    CompChart = named(new QLabel(this), "CompChart", 10, 114, ProgramCompare::ChartSize.width(),
                      ProgramCompare::ChartSize.height());
    CompChart->setScaledContents(true);
    CompChart->installEventFilter(this);
    CompChart->setCursor(Qt::CrossCursor);
    CompResult = named(new QPlainTextEdit(this), "CompResult", 10, 372, 940, 140);
    CompResult->setReadOnly(true);
    CompExportBt = named(new QPushButton(QStringLiteral("Export CSV\u2026"), this), "CompExportBt",
                         720, 520, 110, 28);
    CompCloseBt =
        named(new QPushButton(QStringLiteral("Close"), this), "CompCloseBt", 840, 520, 110, 28);
    auto *legend = named(new QLabel(this), "CompLegend", 720, 114, 230, 120);
    legend->setWordWrap(true);
    legend->setText(QStringLiteral("<span style='color:#0000ff'>\u2501</span> planned set value<br>"
                                   "<span style='color:#00a000'>\u2508</span> band<br>"
                                   "<span style='color:#c80000'>\u2501</span> recorded value<br>"
                                   "<span style='color:#969696'>\u2501</span> after the program<br>"
                                   "<span style='color:#ff00ff'>\u2506</span> largest deviation"));

    connect(CompOpenBt, &QPushButton::clicked, this, [this] { m_logic.open(); });
    connect(CompDevice, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_logic.setDevice(i); });
    connect(CompStart, &QSpinBox::valueChanged, this, [this](int r) { m_logic.setStart(r); });
    connect(CompFindBt, &QPushButton::clicked, this, [this] { m_logic.findStart(); });
    connect(CompTolerance, &QDoubleSpinBox::valueChanged, this,
            [this](double v) { m_logic.setTolerance(int(std::lround(v * 10))); });
    connect(CompScale, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_logic.setDecimals(i); });
    connect(CompExportBt, &QPushButton::clicked, this, [this] { m_logic.exportCsv(); });
    connect(CompCloseBt, &QPushButton::clicked, this, &QWidget::hide);
    render();
}

bool ProgramCompareForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CompChart && event->type() == QEvent::MouseButtonRelease &&
        CompChart->width() > 0) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            const int x =
                int(mouse->position().x() * ProgramCompare::ChartSize.width() / CompChart->width());
            m_logic.setStartAtChart(x);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ProgramCompareForm::render()
{
    const ProgramComparison::View &v = m_logic.view();
    const QSignalBlocker b1(CompDevice), b2(CompStart), b3(CompTolerance), b4(CompScale);
    CompFileLb->setText(v.fileText.isEmpty() ? QStringLiteral("No recording") : v.fileText);
    QStringList items;
    for (int i = 0; i < CompDevice->count(); ++i)
        items << CompDevice->itemText(i);
    if (items != v.devices) {
        CompDevice->clear();
        CompDevice->addItems(v.devices);
    }
    CompDevice->setCurrentIndex(v.deviceIndex);
    CompStart->setRange(0, int(qMin<qint64>(v.startMax, INT_MAX)));
    CompStart->setValue(int(v.start));
    CompStartLb->setText(v.startText);
    if (int(std::lround(CompTolerance->value() * 10)) != v.toleranceTenths)
        CompTolerance->setValue(v.toleranceTenths / 10.0);
    CompScale->setCurrentIndex(v.decimals);
    if (CompResult->toPlainText() != v.summary)
        CompResult->setPlainText(v.summary);
    CompExportBt->setEnabled(v.exportEnabled);
    CompFindBt->setEnabled(v.exportEnabled);
    if (v.chartVersion != m_chartShown) {
        CompChart->setPixmap(QPixmap::fromImage(m_logic.chart().image()));
        m_chartShown = v.chartVersion;
    }
    CompChart->setVisible(v.chartVersion > 0);
    emit rendered();
}
