#include "recorder/recorderform.h"

#include "recorder/acquisition.h"
#include "recorder/recordviewer.h"
#include "recorder/trendchart.h"
#include "ui/deferredrender.h"
#include "ui/dialogs.h"
#include "ui/screenscale.h"
#include "ui/trafficform.h"
#include "ui/windowplacement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace {

constexpr int FontSize = 11;
constexpr int DeviceLeft = 80;
constexpr int DeviceWidth = 92;
constexpr int DevicesTop = 482;

QLabel *label(QWidget *parent, const QString &name, const QString &text, int x, int y, int w,
              int h = 18)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    SetScaledFont(l, FontSize);
    PlaceScaled(l, x, y, w, h);
    return l;
}

QString colourStyle(const QColor &background, const QColor &text = Qt::black)
{
    return QStringLiteral("background: %1; color: %2;").arg(background.name(), text.name());
}

// Device panels show their trace colour; a dark one gets white text.
QColor textOn(const QColor &c)
{
    return qGray(c.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

const char *const ColourNames[16] = {"Black", "Maroon",  "Green",  "Olive", "Navy", "Purple",
                                     "Teal",  "Gray",    "Silver", "Red",   "Lime", "Yellow",
                                     "Blue",  "Fuchsia", "Aqua",   "White"};

QComboBox *colourBox(QWidget *parent, const QString &name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    const auto &colours = Recorder::StandardColours();
    for (int i = 0; i < 16; ++i) {
        QPixmap swatch(12, 12);
        swatch.fill(colours[size_t(i)]);
        box->addItem(QIcon(swatch), QString::fromLatin1(ColourNames[i]));
    }
    SetScaledFont(box, FontSize);
    return box;
}

int colourIndex(const QColor &c)
{
    const auto &colours = Recorder::StandardColours();
    for (int i = 0; i < 16; ++i)
        if (colours[size_t(i)] == c)
            return i;
    return -1;
}

} // namespace

QString RecorderForm::DeviceSuffix(int d)
{
    return d == 9 ? QStringLiteral("A") : QString::number(d + 1);
}

RecorderForm::RecorderForm(QWidget *owner, LineSettingsSource settings)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("RecorderForm"));
    setWindowTitle(QStringLiteral("Recorder Program"));
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setPortChooser(ChoosePort);
    if (!settings)
        settings = [] { return LineSettings(); };
    m_chart = std::make_unique<Recorder::TrendChart>(m_data, ScreenWidth());
    m_acquisition = new RecorderAcquisition(ApdComPort1, std::move(settings), m_data, this);
    RecorderAcquisition &acq = *m_acquisition;
    Recorder::TrendChart &chart = *m_chart;
    acq.hooks.chartClear = [&chart] { chart.clear(); };
    acq.hooks.chartActive = [&chart](bool on) { chart.setActive(on); };
    acq.hooks.chartUpdate = [&chart](qint64 i, const QString &time) {
        chart.updateAfterScan(i, time);
    };
    m_render = new DeferredRender(this, [this] { render(); });
    connect(&acq, &RecorderAcquisition::viewChanged, this, &RecorderForm::scheduleRender);
    m_viewer = std::make_unique<RecordViewer>(m_data, chart, acq);
    createControls();
    render();
}

RecorderForm::~RecorderForm() = default;

void RecorderForm::createControls()
{
    RecorderAcquisition &acq = *m_acquisition;
    resize(Scaled(1024), Scaled(740));
    KeepOnScreenWhenShown(this);

    DrawIme = new QLabel(this);
    DrawIme->setObjectName(QStringLiteral("DrawIme"));
    DrawIme->move(Scaled(10), Scaled(4));
    DrawIme->resize(m_chart->canvas().size());

    label(this, QStringLiteral("AddressLB"), QStringLiteral("Address"), 10, DevicesTop + 24, 68);
    label(this, QStringLiteral("ValueLB"), QStringLiteral("Value"), 10, DevicesTop + 72, 68);
    ComAddrPL = new QFrame(this);
    ComAddrPL->setObjectName(QStringLiteral("ComAddrPL"));
    PlaceScaled(ComAddrPL, DeviceLeft, DevicesTop + 22, DeviceWidth * 10, 24);
    for (int d = 0; d < Recorder::DeviceCount; ++d) {
        RecorderDeviceWidgets &w = m_devices[size_t(d)];
        const QString n = DeviceSuffix(d);
        const int x = DeviceLeft + d * DeviceWidth;
        w.panel = label(this, QStringLiteral("Panel") + n, QStringLiteral("Device %1").arg(d + 1),
                        x, DevicesTop, DeviceWidth - 4, 20);
        w.panel->setAlignment(Qt::AlignCenter);
        w.panel->setFrameShape(QFrame::Panel);
        w.panel->setAutoFillBackground(true);
        w.panel->installEventFilter(this);
        w.comAddr = new QSpinBox(ComAddrPL);
        w.comAddr->setObjectName(QStringLiteral("ComAddr") + n);
        w.comAddr->setRange(0, 255);
        w.comAddr->setValue(acq.comAddr(d));
        SetScaledFont(w.comAddr, FontSize);
        PlaceScaled(w.comAddr, d * DeviceWidth, 0, DeviceWidth - 4, 22);
        connect(w.comAddr, &QSpinBox::valueChanged, this,
                [&acq, d](int v) { acq.setComAddr(d, v); });
        w.colorBox = colourBox(this, QStringLiteral("ColorBox") + n);
        PlaceScaled(w.colorBox, x, DevicesTop + 47, DeviceWidth - 4, 22);
        w.colorBox->setCurrentIndex(colourIndex(m_data.device[size_t(d)].colour));
        connect(w.colorBox, &QComboBox::activated, this, [this, d](int i) {
            m_chart->ColorBox1Change(d, Recorder::StandardColours()[size_t(i)]);
            scheduleRender();
        });
        w.value = new QLineEdit(this);
        w.value->setObjectName(QStringLiteral("Value%1").arg(d + 1));
        w.value->setReadOnly(true);
        w.value->setAlignment(Qt::AlignRight);
        SetScaledFont(w.value, FontSize);
        PlaceScaled(w.value, x, DevicesTop + 70, DeviceWidth - 4, 22);
    }

    const int row = DevicesTop + 104;
    BackGndP = new QFrame(this);
    BackGndP->setObjectName(QStringLiteral("BackGndP"));
    BackGndP->setAutoFillBackground(true);
    PlaceScaled(BackGndP, 10, row, 120, 56);
    StartBt = new QPushButton(QStringLiteral("START"), BackGndP);
    StartBt->setObjectName(QStringLiteral("StartBt"));
    SetScaledFont(StartBt, 14, true);
    PlaceScaled(StartBt, 8, 8, 104, 40);
    connect(StartBt, &QPushButton::clicked, this, [this, &acq] {
        // A recording ends the viewing of a file.
        if (!acq.recording() && m_viewer->view().viewing)
            m_viewer->stop();
        acq.StartBtClick();
        scheduleRender();
    });

    label(this, QStringLiteral("SampleTimeLB"), QStringLiteral("Sampling Time"), 145, row, 110);
    SampleTime = new QSpinBox(this);
    SampleTime->setObjectName(QStringLiteral("SampleTime"));
    SampleTime->setRange(1, RecorderAcquisition::MaxSampleSeconds);
    SampleTime->setValue(acq.sampleTime());
    // Changed by its arrows only.
    if (auto *text = SampleTime->findChild<QLineEdit *>())
        text->setReadOnly(true);
    SetScaledFont(SampleTime, FontSize);
    PlaceScaled(SampleTime, 145, row + 22, 70, 24);
    label(this, QStringLiteral("SecLB"), QStringLiteral("Sec."), 220, row + 25, 40);
    connect(SampleTime, &QSpinBox::valueChanged, this, [this, &acq](int v) {
        acq.setSampleTime(v);
        browse();
    });

    auto *counter =
        label(this, QStringLiteral("CounterPL"), QStringLiteral("Counter"), 270, row, 110);
    counter->setFrameShape(QFrame::Panel);
    counter->setAlignment(Qt::AlignCenter);
    LoopCnt =
        label(this, QStringLiteral("LoopCnt"), QStringLiteral(" 00000000"), 270, row + 22, 110, 24);
    LoopCnt->setFrameShape(QFrame::Panel);

    auto *scaling =
        label(this, QStringLiteral("ScalingPL"), QStringLiteral("Scaling"), 400, row, 90);
    scaling->setFrameShape(QFrame::Panel);
    scaling->setAlignment(Qt::AlignCenter);
    DisplayMd = new QComboBox(this);
    DisplayMd->setObjectName(QStringLiteral("DisplayMd"));
    DisplayMd->addItems({QStringLiteral("Auto"), QStringLiteral("Manual")});
    SetScaledFont(DisplayMd, FontSize);
    PlaceScaled(DisplayMd, 400, row + 22, 90, 24);
    connect(DisplayMd, &QComboBox::activated, this, [this](int i) {
        m_chart->DisplayMdChange(i == 0 ? Recorder::ScaleMode::Automatic
                                        : Recorder::ScaleMode::Manual);
        if (i == 1)
            takeManualLimits();
        scheduleRender();
    });
    label(this, QStringLiteral("MaxScaleLB"), QStringLiteral("Max. Scale"), 505, row, 80);
    MaxScale = new QLineEdit(QStringLiteral("100"), this);
    MaxScale->setObjectName(QStringLiteral("MaxScale"));
    MaxScale->setMaxLength(6);
    SetScaledFont(MaxScale, FontSize);
    PlaceScaled(MaxScale, 505, row + 22, 80, 24);
    label(this, QStringLiteral("MinScaleLB"), QStringLiteral("Min. Scale"), 595, row, 80);
    MinScale = new QLineEdit(QStringLiteral("0"), this);
    MinScale->setObjectName(QStringLiteral("MinScale"));
    MinScale->setMaxLength(6);
    SetScaledFont(MinScale, FontSize);
    PlaceScaled(MinScale, 595, row + 22, 80, 24);
    for (QLineEdit *e : {MaxScale, MinScale})
        connect(e, &QLineEdit::editingFinished, this, [this] { takeManualLimits(); });
    label(this, QStringLiteral("BGColorLB"), QStringLiteral("Background "), 690, row, 100);
    BGColor = colourBox(this, QStringLiteral("BGColor"));
    BGColor->setCurrentIndex(15);
    PlaceScaled(BGColor, 690, row + 22, 100, 24);
    connect(BGColor, &QComboBox::activated, this, [this](int i) {
        m_chart->BGColorChange(Recorder::StandardColours()[size_t(i)]);
        scheduleRender();
    });

    TimePL = new QFrame(this);
    TimePL->setObjectName(QStringLiteral("TimePL"));
    TimePL->setFrameShape(QFrame::Panel);
    PlaceScaled(TimePL, 10, row + 64, 520, 48);
    STARTTIME = label(TimePL, QStringLiteral("STARTTIME"), QString(), 8, 4, 500);
    NOWTHETIME = label(TimePL, QStringLiteral("NOWTHETIME"), QString(), 8, 25, 500);

    auto button = [&](const char *name, const char *text, int x) {
        auto *b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        SetScaledFont(b, FontSize);
        PlaceScaled(b, x, row + 70, 110, 30);
        return b;
    };
    SavePL = new QFrame(this);
    SavePL->setObjectName(QStringLiteral("SavePL"));
    PlaceScaled(SavePL, 556, row + 66, 118, 38);
    SaveBt = button("SaveBt", "Save to File", 560);
    connect(SaveBt, &QPushButton::clicked, this, [&acq] { acq.SaveBtClick(); });
    OpenBt = button("OpenBt", "Open File", 680);
    connect(OpenBt, &QPushButton::clicked, this, [this] {
        m_viewer->OpenBtClick();
        scheduleRender();
    });
    ExportBt = button("ExportBt", "Export CSV", 760);
    PlaceScaled(ExportBt, 760, row + 104, 110, 30);
    connect(ExportBt, &QPushButton::clicked, this, [this] {
        QProgressDialog progress(QStringLiteral("Exporting the recording..."),
                                 QStringLiteral("Cancel"), 0, 100, this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        m_viewer->ExportBtClick([&progress](int percent) {
            progress.setValue(percent);
            return !progress.wasCanceled();
        });
    });
    TrackBar = new QSlider(Qt::Horizontal, this);
    TrackBar->setObjectName(QStringLiteral("TrackBar"));
    PlaceScaled(TrackBar, 10, DevicesTop - 8, 1000, 8);
    TrackBar->hide();
    connect(TrackBar, &QSlider::valueChanged, this, [this] { browse(); });
    CloseBt = button("CloseBt", "Close", 880);
    QPushButton *traffic = MakeTrafficButton(this);
    SetScaledFont(traffic, FontSize);
    PlaceScaled(traffic, 880, row + 30, 110, 30);
    connect(CloseBt, &QPushButton::clicked, this, &QWidget::close);

    ErrMess = label(this, QStringLiteral("ErrMess"), QString(), 560, row + 104, 400);
    ErrMess->setStyleSheet(QStringLiteral("color: red;"));
    ErrMess->hide();
}

void RecorderForm::browse()
{
    if (!m_viewer->view().viewing || m_acquisition->recording())
        return;
    m_viewer->browse(TrackBar->value(), SampleTime->value());
    scheduleRender();
}

void RecorderForm::takeManualLimits()
{
    const QString problem = m_chart->setManualLimits(MaxScale->text(), MinScale->text());
    if (!problem.isEmpty()) {
        AppDialogs().inform(QStringLiteral("Warning"), problem);
        MaxScale->setText(m_chart->maxScaleText());
        MinScale->setText(m_chart->minScaleText());
    }
}

void RecorderForm::showWindow()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    setGeometry(ScreenArea(this));
    if (ScreenSizeForced())
        show();
    else
        showMaximized();
}

void RecorderForm::endWork()
{
    m_acquisition->FormClose();
    ApdComPort1.close();
    hide();
}

void RecorderForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_acquisition->FormShow();
}

void RecorderForm::closeEvent(QCloseEvent *event)
{
    m_acquisition->FormClose();
    // The file viewed is let go with the window: the chart is cleared at
    // the next showing, and nothing may act on the old file then.
    m_viewer->stop();
    render();
    event->accept();
}

bool RecorderForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && m_acquisition->view().devicePanelsEnabled) {
        for (int d = 0; d < Recorder::DeviceCount; ++d) {
            if (watched == m_devices[size_t(d)].panel) {
                m_chart->Panel1Click(d);
                scheduleRender();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RecorderForm::scheduleRender()
{
    m_render->request();
}

void RecorderForm::render()
{
    m_render->done();
    const RecorderView &v = m_acquisition->view();
    const RecorderView &was = m_shownView;
    const bool all = !m_renderedOnce;
    if (all || v.backgroundRed != was.backgroundRed)
        BackGndP->setStyleSheet(QStringLiteral("QFrame#BackGndP { background: %1; }")
                                    .arg(v.backgroundRed ? "red" : "lime"));
    if (all || v.startCaption != was.startCaption)
        StartBt->setText(v.startCaption);
    if (all || v.startHint != was.startHint)
        StartBt->setToolTip(v.startHint);
    if (all || v.idleControlsEnabled != was.idleControlsEnabled)
        for (QWidget *w : {static_cast<QWidget *>(DisplayMd), static_cast<QWidget *>(OpenBt),
                           static_cast<QWidget *>(SaveBt), static_cast<QWidget *>(SampleTime),
                           static_cast<QWidget *>(LoopCnt)})
            w->setEnabled(v.idleControlsEnabled);
    const bool manual = m_chart->scaleMode() == Recorder::ScaleMode::Manual;
    if (all || manual != m_shownManual) {
        MaxScale->setEnabled(manual);
        MinScale->setEnabled(manual);
    }
    if (!manual) {
        if (MaxScale->text() != m_chart->maxScaleText())
            MaxScale->setText(m_chart->maxScaleText());
        if (MinScale->text() != m_chart->minScaleText())
            MinScale->setText(m_chart->minScaleText());
    }
    const RecordViewerView &f = m_viewer->view();
    if (TrackBar->isVisible() != (f.trackBarVisible && !v.recording))
        TrackBar->setVisible(f.trackBarVisible && !v.recording);
    if (f.trackMax != m_shownTrackMax || f.opened != m_shownOpened) {
        const QSignalBlocker block(TrackBar);
        TrackBar->setRange(0, f.trackMax);
        TrackBar->setValue(f.trackPos);
        m_shownTrackMax = f.trackMax;
        m_shownOpened = f.opened;
    }
    // While a file is viewed, the interval steps by the recorded one and
    // never goes below it.
    const int recorded = f.viewing && !v.recording ? f.recordedSampleTime : 1;
    if (recorded != m_shownRecorded) {
        const QSignalBlocker block(SampleTime);
        SampleTime->setMinimum(recorded);
        SampleTime->setSingleStep(recorded);
        m_shownRecorded = recorded;
    }
    if (SampleTime->value() != m_acquisition->sampleTime()) {
        const QSignalBlocker block(SampleTime);
        SampleTime->setValue(m_acquisition->sampleTime());
    }
    ExportBt->setEnabled(f.exportEnabled && !v.recording);
    for (int d = 0; d < Recorder::DeviceCount; ++d) {
        QSpinBox *box = m_devices[size_t(d)].comAddr;
        if (box->value() != m_acquisition->comAddr(d)) {
            const QSignalBlocker block(box);
            box->setValue(m_acquisition->comAddr(d));
        }
    }
    if (all || v.saveArmed != was.saveArmed)
        SavePL->setStyleSheet(v.saveArmed ? QStringLiteral("QFrame#SavePL { background: #800000; }")
                                          : QString());
    if (all || v.comAddrPanelEnabled != was.comAddrPanelEnabled)
        ComAddrPL->setEnabled(v.comAddrPanelEnabled);
    if (all || v.timePanelVisible != was.timePanelVisible)
        TimePL->setVisible(v.timePanelVisible);
    if (all || v.loopCnt != was.loopCnt)
        LoopCnt->setText(v.loopCnt);
    if (all || v.startTime != was.startTime)
        STARTTIME->setText(QStringLiteral("Sampling Start Time : ") + v.startTime);
    if (all || v.lastTime != was.lastTime)
        NOWTHETIME->setText(QStringLiteral("Last Sampling Time : ") + v.lastTime);
    if (all || v.errMess != was.errMess)
        ErrMess->setText(v.errMess);
    for (int d = 0; d < Recorder::DeviceCount; ++d) {
        const Recorder::Device &dev = m_data.device[size_t(d)];
        const Recorder::Device &shown = m_shownDevices[size_t(d)];
        RecorderDeviceWidgets &w = m_devices[size_t(d)];
        if (all || v.devicePanelsEnabled != was.devicePanelsEnabled)
            w.panel->setEnabled(v.devicePanelsEnabled);
        if (all || dev.colour != shown.colour)
            w.panel->setStyleSheet(colourStyle(dev.colour, textOn(dev.colour)));
        if (all || dev.valueText != shown.valueText)
            w.value->setText(dev.valueText);
        if (all || dev.valueRed != shown.valueRed)
            w.value->setStyleSheet(dev.valueRed ? colourStyle(QColor(255, 0, 0)) : QString());
        if (all || dev.comAddrSilver != shown.comAddrSilver)
            w.comAddr->setStyleSheet(dev.comAddrSilver ? colourStyle(QColor(192, 192, 192))
                                                       : QString());
        // Only what the widgets show; the rings stay out of the copy.
        Recorder::Device &keep = m_shownDevices[size_t(d)];
        keep.colour = dev.colour;
        keep.valueText = dev.valueText;
        keep.valueRed = dev.valueRed;
        keep.comAddrSilver = dev.comAddrSilver;
    }
    if (all || m_chart->version() != m_chartVersion) {
        m_chartVersion = m_chart->version();
        if (DrawIme->size() != m_chart->canvas().size())
            DrawIme->resize(m_chart->canvas().size());
        DrawIme->setPixmap(QPixmap::fromImage(m_chart->canvas().image()));
    }
    m_shownView = v;
    m_shownManual = manual;
    m_renderedOnce = true;
    emit rendered();
}
