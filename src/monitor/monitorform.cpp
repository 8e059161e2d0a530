#include "monitor/monitorform.h"

#include "monitor/pvtrend.h"
#include "setup/parametertransfer.h"

#include "monitor/monitorengine.h"
#include "monitor/monitorsession.h"
#include "setup/compareform.h"
#include "setup/setupcomparison.h"
#include "setup/setupview.h"
#include "setup/setupviewform.h"
#include "setup/writeall.h"
#include "ui/deferredrender.h"
#include "ui/dialogs.h"
#include "ui/jpegloader.h"
#include "ui/lamp.h"
#include "ui/screenscale.h"
#include "ui/trafficform.h"
#include "ui/windowplacement.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>

namespace {

// Design positions of the slot panels and their controls.
int slotLeft(int n)
{
    return 24 + (n - 1) * 250;
}
constexpr int PanelTop = 12;
constexpr int ControlsTop = 200;

const char *const lampNames[LampCount] = {"AT",   "OUT1", "OUT2", "ALM1",
                                          "ALM2", "ALM3", "CDEG", "FDEG"};
// What each lamp shows, as its tooltip says.
const char *const lampTips[LampCount] = {"AT", "OUT1", "OUT2", "ALM1", "ALM2", "ALM3", "C", "F"};

// A model the program does not know (class 0) shows a generic front, laid
// out as the view lays it out, with its code written on it.
bool unknownModel(int modelClass)
{
    return modelClass < 1 || modelClass > 4;
}

QString modelPicture(int modelClass)
{
    static const char *names[] = {"modelunknown", "model4824", "model4848", "model4896",
                                  "model9696"};
    return QString::fromLatin1(names[unknownModel(modelClass) ? 0 : modelClass]);
}

DisplayFonts displayFonts(const SlotPanel &panel)
{
    return PanelDisplayFonts(panel, ScreenWidth());
}

// The display's font at its point size, made smaller when the text would
// not fit the display (fonts differ from machine to machine in width).
void setDisplayFont(QLabel *label, int points)
{
    QFont f = label->font();
    f.setPointSize(points);
    const int room = label->width();
    while (f.pointSize() > 6 && QFontMetrics(f).horizontalAdvance(label->text()) > room)
        f.setPointSize(f.pointSize() - 1);
    label->setFont(f);
}

// "OUT1 level 73.5 %" for a level in tenths of a percent.
QString barTip(int output, int level)
{
    return QStringLiteral("OUT%1 level %2 %").arg(output).arg(level / 10.0, 0, 'f', 1);
}

QString barStyle(const QColor &colour)
{
    return QStringLiteral("QProgressBar { border: 1px solid #808080; background: white; }"
                          "QProgressBar::chunk { background-color: %1; }")
        .arg(colour.name());
}

} // namespace

MonitorForm::MonitorForm(QWidget *owner, LineSettingsSource settings)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint)
{
    // FormCreate.
    setObjectName(QStringLiteral("MonitorForm"));
    m_render = new DeferredRender(this, [this] { render(); });
    setWindowTitle(QStringLiteral("DUVA CONFIGURATION PROGRAM"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    resize(Scaled(1024), Scaled(740));
    KeepOnScreenWhenShown(this);
    SetScaledFont(this, 12);
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setStopBits(0);
    ApdComPort1.setPortChooser(ChoosePort);

    MonitorSessionActions actions;
    actions.changed = [this] { scheduleRender(); };
    actions.showReport = [this](const CompareReport &report) { m_compareForm->showReport(report); };
    m_session = new MonitorSession(ApdComPort1, std::move(settings), std::move(actions), this);
    m_engine = &m_session->engine();

    // Made first, so it lies beneath the panel it frames.
    SelPanel = new QFrame(this);
    SelPanel->setObjectName(QStringLiteral("SelPanel"));
    SelPanel->setStyleSheet(
        QStringLiteral("#SelPanel { border: %1px solid lime; }").arg(qMax(1, Scaled(6))));
    SelPanel->hide();

    for (int n = 1; n <= SlotCount; ++n)
        createSlot(n);

    All_Image = new QLabel(this);
    All_Image->setObjectName(QStringLiteral("All_Image"));
    All_Image->setScaledContents(true);
    All_Image->setPixmap(QPixmap::fromImage(Picture(QStringLiteral("monitoridle"))));
    PlaceScaled(All_Image, 12, PanelTop, 1000, 180);
    for (int n = 1; n <= SlotCount; ++n)
        m_slots[size_t(n)].lost->raise();
    createSetupView();

    DebugMess = new QFrame(this);
    DebugMess->setObjectName(QStringLiteral("DebugMess"));
    DebugMess->setFrameShape(QFrame::Box);
    PlaceScaled(DebugMess, 24, 650, 740, 40);
    for (int n = 1; n <= SlotCount; ++n) {
        SlotWidgets &s = m_slots[size_t(n)];
        const int left = 8 + (n - 1) * 182;
        s.doCount = new QLabel(QStringLiteral("0"), DebugMess);
        s.doCount->setObjectName(QStringLiteral("DoCnt%1").arg(n));
        s.doCount->setStyleSheet(QStringLiteral("color: blue;"));
        PlaceScaled(s.doCount, left, 10, 70, 20);
        s.errCount = new QLabel(QStringLiteral("0"), DebugMess);
        s.errCount->setObjectName(QStringLiteral("ErrCnt%1").arg(n));
        s.errCount->setStyleSheet(QStringLiteral("color: red;"));
        PlaceScaled(s.errCount, left + 74, 10, 70, 20);
        s.errClear = new QPushButton(DebugMess);
        s.errClear->setObjectName(QStringLiteral("ErrClearBt%1").arg(n));
        PlaceScaled(s.errClear, left + 148, 10, 20, 20);
        s.errClear->setStyleSheet(
            QStringLiteral("border-radius: %1px; background: #c0c0c0; border: 1px solid gray;")
                .arg(Scaled(10)));
        connect(s.errClear, &QPushButton::pressed, this,
                [this, n] { m_engine->ErrClearBt1MouseDown(n); });
    }
    ErrMess = new QLabel(this);
    ErrMess->setObjectName(QStringLiteral("ErrMess"));
    ErrMess->setAutoFillBackground(true);
    ErrMess->setAlignment(Qt::AlignCenter);
    PlaceScaled(ErrMess, 780, 650, 220, 40);

    ExitBt2 = new QPushButton(QStringLiteral("Exit"), this);
    ExitBt2->setObjectName(QStringLiteral("ExitBt2"));
    PlaceScaled(ExitBt2, 900, 700, 100, 30);
    connect(ExitBt2, &QPushButton::clicked, this, &MonitorForm::ExitBt2Click);
    PlaceScaled(MakeTrafficButton(this), 790, 700, 100, 30);

    connect(m_engine, &MonitorEngine::viewChanged, this, &MonitorForm::scheduleRender);
    render();
}

MonitorForm::~MonitorForm() = default;

void MonitorForm::createSetupView()
{
    MonitorEngine &engine = *m_engine;
    m_setupForm = new SetupViewForm(this, setupView());
    m_drawBtHome = m_setupForm->DrawBt->geometry();
    DrawIme = new QLabel(this);
    DrawIme->setObjectName(QStringLiteral("DrawIme"));
    m_trend = std::make_unique<PvTrend>(ScreenWidth());
    DrawIme->move(Scaled(8), Scaled(262));
    DrawIme->resize(m_trend->imageSize());
    DrawIme->hide();
    PvTrend &trend = *m_trend;
    // The history of every active slot, sampled once a second while the
    // engine talks; the chart of the selected slot drawn when shown.
    engine.hooks.trendSample = [this, &engine, &trend] {
        const MonitorState &st = engine.state();
        std::array<bool, SlotCount + 1> active {};
        std::array<int, SlotCount + 1> pv {};
        for (int n = 1; n <= SlotCount; ++n) {
            active[size_t(n)] = st.at(n).DeviceActive;
            pv[size_t(n)] = st.at(n).lastPv;
        }
        trend.sample(active, pv, st.SelectedDevice, st.ChartShown);
        if (st.ChartShown)
            scheduleRender();
    };
    engine.hooks.clearHistory = [&trend](int n) { trend.clear(n); };
    engine.hooks.chartOn = [&trend] { trend.show(); };
    connect(m_setupForm, &SetupViewForm::progBtClicked, this, &MonitorForm::ProgBtClick);

    ParameterTransfer &transfer = this->transfer();
    connect(m_setupForm, &SetupViewForm::saveBtClicked, this,
            [&transfer] { transfer.SaveBtClick(); });
    connect(m_setupForm, &SetupViewForm::openBtClicked, this,
            [&transfer] { transfer.OpenBtClick(); });
    connect(m_setupForm, &SetupViewForm::loadBtClicked, this,
            [&transfer] { transfer.LoadBtClick(); });
    connect(m_setupForm, &SetupViewForm::writeBtClicked, this,
            [&transfer](bool all) { transfer.WriteBtClick(all); });
    m_compareForm = new CompareForm(this);
    SetupComparison &comparison = this->comparison();
    connect(m_setupForm, &SetupViewForm::compareFileBtClicked, this,
            [&comparison] { comparison.CompareFileBtClick(); });
    connect(m_setupForm, &SetupViewForm::compareCtrlBtClicked, this,
            [&comparison] { comparison.CompareCtrlBtClick(); });
    setupView().resetView();
}

void MonitorForm::ProgBtClick()
{
    if (m_programForm)
        m_programForm->show();
}

bool MonitorForm::holdsPort() const
{
    return m_engine->holdsPort();
}

void MonitorForm::endWork()
{
    m_engine->FormClose();
    if (m_programForm)
        m_programForm->hide();
    hide();
}

void MonitorForm::showWindow()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    // Maximized by the window manager; without one, cover the screen anyway.
    setGeometry(ScreenArea(this));
    if (ScreenSizeForced())
        show();
    else
        showMaximized();
}

void MonitorForm::ExitBt2Click()
{
    if (m_programForm)
        m_programForm->close();
    close();
}

void MonitorForm::createSlot(int n)
{
    SlotWidgets &s = m_slots[size_t(n)];
    const int left = slotLeft(n);
    s.panel = new QFrame(this);
    s.panel->setObjectName(QStringLiteral("Device%1PL").arg(n));
    PlaceScaled(s.panel, left, PanelTop, 208, 180);
    s.panel->hide();

    s.image = new QLabel(s.panel);
    s.image->setObjectName(QStringLiteral("Image%1").arg(n));
    s.image->setScaledContents(true);
    PlaceScaled(s.image, 0, 0, 208, 148);

    // The code of a model the program does not know, on the generic front's
    // name plate.
    s.model = new QLabel(s.panel);
    s.model->setObjectName(QStringLiteral("ModelLB%1").arg(n));
    s.model->setStyleSheet(QStringLiteral("color: #c8ccd4; background: transparent;"));
    PlaceScaled(s.model, 24, 9, 140, 14);
    SetScaledFont(s.model, 11, true);
    s.model->hide();

    auto display = [&](const char *suffix, const QColor &colour) {
        auto *label = new QLabel(s.panel);
        label->setObjectName(QStringLiteral("Edit%1%2").arg(n).arg(QLatin1String(suffix)));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setStyleSheet(
            QStringLiteral("color: %1; background: transparent;").arg(colour.name()));
        QFont f(QStringLiteral("Arial"));
        f.setBold(true);
        label->setFont(f);
        label->installEventFilter(this);
        return label;
    };
    s.pv = display("P", MonitorColor::Red);
    s.sv = display("S", MonitorColor::Green);
    s.image->installEventFilter(this);

    for (int i = 0; i < LampCount; ++i) {
        s.lamps[size_t(i)] = new Lamp(s.panel);
        s.lamps[size_t(i)]->setObjectName(
            QStringLiteral("%1%2").arg(QLatin1String(lampNames[i])).arg(n));
        s.lamps[size_t(i)]->resize(Scaled(11), Scaled(11));
        s.lamps[size_t(i)]->setToolTip(QLatin1String(lampTips[i]));
    }

    auto outRow = [&](int row, QLabel *&label, QProgressBar *&bar) {
        label = new QLabel(s.panel);
        label->setObjectName(QStringLiteral("OutLB%1%2").arg(row).arg(n));
        PlaceScaled(label, 0, 148 + (row - 1) * 16, 96, 16);
        SetScaledFont(label, 10);
        bar = new QProgressBar(s.panel);
        bar->setObjectName(QStringLiteral("OutQty%1%2").arg(row).arg(n));
        bar->setRange(0, 1000);
        bar->setTextVisible(false);
        PlaceScaled(bar, 98, 150 + (row - 1) * 16, 108, 12);
    };
    outRow(1, s.outLabel1, s.outQty1);
    outRow(2, s.outLabel2, s.outQty2);

    auto eventMark = [&](int e) {
        auto *label = new QLabel(QStringLiteral("EV%1").arg(e), s.panel);
        label->setObjectName(QStringLiteral("Event%1%2").arg(n).arg(e));
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(
            QStringLiteral("background: orange; color: black; border: 1px solid black;"));
        PlaceScaled(label, 150 + (e - 1) * 28, 2, 26, 14);
        SetScaledFont(label, 9, true);
        label->hide();
        return label;
    };
    s.event1 = eventMark(1);
    s.event2 = eventMark(2);

    // On the window, over the panel's place: it shows for a slot that never
    // answered too, whose panel stays hidden.
    s.lost = new QLabel(QStringLiteral("Lost Communication"), this);
    s.lost->setObjectName(QStringLiteral("Lost%1").arg(n));
    s.lost->setAlignment(Qt::AlignCenter);
    s.lost->setStyleSheet(
        QStringLiteral("background: #ffff80; color: red; border: 1px solid red;"));
    PlaceScaled(s.lost, left + 24, PanelTop + 60, 160, 26);
    SetScaledFont(s.lost, 12, true);
    s.lost->hide();

    s.runLed = new Lamp(this);
    s.runLed->setObjectName(QStringLiteral("RunLED%1").arg(n));
    PlaceScaled(s.runLed, left, ControlsTop + 5, 16, 16);
    s.runBt = new QPushButton(QStringLiteral("Connect"), this);
    s.runBt->setObjectName(QStringLiteral("RunBt%1").arg(n));
    PlaceScaled(s.runBt, left + 22, ControlsTop, 100, 26);
    connect(s.runBt, &QPushButton::clicked, this, [this, n] { m_engine->RunStopBtClick(n); });
    s.comAddr = new QSpinBox(this);
    s.comAddr->setObjectName(QStringLiteral("ComAddr%1").arg(n));
    s.comAddr->setRange(1, 247);
    s.comAddr->setValue(1);
    // The address takes effect when committed (Enter, leaving the box, the
    // arrows): typing 12 must not poll address 1 on the way.
    s.comAddr->setKeyboardTracking(false);
    PlaceScaled(s.comAddr, left + 130, ControlsTop + 2, 70, 22);
    connect(s.comAddr, &QSpinBox::valueChanged, this,
            [this, n](int v) { m_engine->setComAddr(n, v); });

    s.note = new QLabel(this);
    s.note->setObjectName(QStringLiteral("Note%1").arg(n));
    s.note->setWordWrap(true);
    s.note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    s.note->setStyleSheet(QStringLiteral("color: #c00000;"));
    PlaceScaled(s.note, left, ControlsTop + 30, 208, 34);
    SetScaledFont(s.note, 11);
    s.note->hide();
    s.health = new QLabel(this);
    s.health->setObjectName(QStringLiteral("Health%1").arg(n));
    s.health->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    s.health->setStyleSheet(QStringLiteral("color: #404040;"));
    s.health->setToolTip(QStringLiteral(
        "Requests per second, median and worst reply time and the share of the line's "
        "capacity over the last 10 s; time-outs, bad checksums and exceptions since connected"));
    PlaceScaled(s.health, left, ControlsTop + 30, 208, 30);
    SetScaledFont(s.health, 9);
    s.health->hide();
}

void MonitorForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_engine->FormShow();
}

void MonitorForm::closeEvent(QCloseEvent *event)
{
    m_engine->FormClose();
    event->accept();
}

bool MonitorForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (int n = 1; n <= SlotCount; ++n) {
            const SlotWidgets &s = m_slots[size_t(n)];
            if (watched == s.image || watched == s.pv || watched == s.sv) {
                m_engine->Image1Click(n);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MonitorForm::scheduleRender()
{
    m_render->request();
}

void MonitorForm::render()
{
    m_render->done();
    const MonitorView &v = m_engine->view();
    const MonitorView &was = m_shown;
    const bool all = !m_renderedOnce;
    for (int n = 1; n <= SlotCount; ++n) {
        renderSlot(n, v.at(n), was.at(n), all);
        QSpinBox *comAddr = m_slots[size_t(n)].comAddr;
        if (comAddr->value() != v.comAddr[size_t(n)])
            comAddr->setValue(v.comAddr[size_t(n)]);
    }
    if (all || v.selPanelVisible != was.selPanelVisible)
        SelPanel->setVisible(v.selPanelVisible);
    if (all || v.selPanelSlot != was.selPanelSlot)
        PlaceScaled(SelPanel, slotLeft(v.selPanelSlot) - 8, PanelTop - 8, 224, 196);
    if (all || v.allImageVisible != was.allImageVisible)
        All_Image->setVisible(v.allImageVisible);
    if (all || v.debugVisible != was.debugVisible) {
        DebugMess->setVisible(v.debugVisible);
        ErrMess->setVisible(v.debugVisible);
    }
    if (all || v.errText != was.errText)
        ErrMess->setText(v.errText);
    if (all || v.errColor != was.errColor) {
        QPalette pal = ErrMess->palette();
        pal.setColor(QPalette::Window, v.errColor);
        pal.setColor(QPalette::WindowText, Qt::white);
        ErrMess->setPalette(pal);
    }
    if (all || v.drawCaption != was.drawCaption)
        m_setupForm->DrawBt->setText(v.drawCaption);
    const bool chart = m_engine->state().ChartShown;
    if (chart && m_trend->version() != m_trendShown) {
        m_trendShown = m_trend->version();
        DrawIme->setPixmap(QPixmap::fromImage(m_trend->image()));
    }
    if (DrawIme->isVisible() != chart) {
        DrawIme->setVisible(chart);
        // Beneath the chart while it is shown, wide enough for its longer
        // caption; in the view otherwise.
        m_setupForm->DrawBt->setGeometry(chart ? QRect(DrawIme->x(),
                                                       DrawIme->geometry().bottom() + Scaled(6),
                                                       Scaled(180), m_drawBtHome.height())
                                               : m_drawBtHome);
        m_setupForm->DrawBt->raise();
    }
    m_setupForm->render();
    m_shown = v;
    m_renderedOnce = true;
    emit rendered();
}

void MonitorForm::renderSlot(int n, const SlotPanel &p, const SlotPanel &was, bool all)
{
    SlotWidgets &s = m_slots[size_t(n)];
    // A (re-)identification: the front picture and the layout.
    const bool relayout = p.visible && (all || !was.visible || p.modelClass != was.modelClass);
    if (relayout) {
        s.image->setPixmap(QPixmap::fromImage(Picture(modelPicture(p.modelClass))));
        if (const PanelLayout *layout = LayoutForClass(p.modelClass)) {
            PlaceScaled(s.pv, layout->pv.x(), layout->pv.y(), layout->pv.width(),
                        layout->pv.height());
            PlaceScaled(s.sv, layout->sv.x(), layout->sv.y(), layout->sv.width(),
                        layout->sv.height());
            for (int i = 0; i < LampCount; ++i) {
                const QPoint at = layout->lamps[size_t(i)];
                s.lamps[size_t(i)]->move(Scaled(at.x()), Scaled(at.y()));
                // Lamps on one spot are one lamp to the user: it says all
                // their names.
                QStringList names;
                for (int j = 0; j < LampCount; ++j)
                    if (layout->lamps[size_t(j)] == at)
                        names << QLatin1String(lampTips[j]);
                s.lamps[size_t(i)]->setToolTip(names.join(QStringLiteral(", ")));
            }
        }
    }
    if (all || p.visible != was.visible)
        s.panel->setVisible(p.visible);
    const bool unknown = unknownModel(p.modelClass);
    if (all || unknown != unknownModel(was.modelClass) || p.modelCode != was.modelCode) {
        s.model->setText(QStringLiteral("Model %1")
                             .arg(QString::number(p.modelCode, 16)
                                      .toUpper()
                                      .rightJustified(4, QLatin1Char('0'))));
        s.model->setVisible(unknown);
    }

    // The display fonts shrink to fit their texts: set again when the text,
    // the size asked for or the display's place changed.
    const DisplayFonts fonts = displayFonts(p);
    const DisplayFonts wasFonts = displayFonts(was);
    if (all || p.pvText != was.pvText)
        s.pv->setText(p.pvText);
    if (all || p.svText != was.svText)
        s.sv->setText(p.svText);
    if (fonts.pv > 0 && (relayout || p.pvText != was.pvText || fonts.pv != wasFonts.pv))
        setDisplayFont(s.pv, fonts.pv);
    if (fonts.sv > 0 && (relayout || p.svText != was.svText || fonts.sv != wasFonts.sv))
        setDisplayFont(s.sv, fonts.sv);

    if (all || p.lamps != was.lamps) {
        for (int i = 0; i < LampCount; ++i) {
            const QColor &lamp = p.lamps[size_t(i)];
            s.lamps[size_t(i)]->setColor(lamp.isValid() ? lamp : MonitorColor::Grey);
        }
    }
    if (all || p.outLabel1 != was.outLabel1)
        s.outLabel1->setText(p.outLabel1);
    if (all || p.outLabel2 != was.outLabel2)
        s.outLabel2->setText(p.outLabel2);
    if (all || p.outRow1Visible != was.outRow1Visible) {
        s.outLabel1->setVisible(p.outRow1Visible);
        s.outQty1->setVisible(p.outRow1Visible);
    }
    if (all || p.outRow2Visible != was.outRow2Visible) {
        s.outLabel2->setVisible(p.outRow2Visible);
        s.outQty2->setVisible(p.outRow2Visible);
    }
    if (all || p.outQty1 != was.outQty1) {
        s.outQty1->setValue(p.outQty1);
        s.outQty1->setToolTip(barTip(1, p.outQty1));
    }
    if (all || p.outQty2 != was.outQty2) {
        s.outQty2->setValue(p.outQty2);
        s.outQty2->setToolTip(barTip(2, p.outQty2));
    }
    // A style sheet re-polishes the bar: only when its colour changes.
    if (all || p.outQty1Color != was.outQty1Color)
        s.outQty1->setStyleSheet(barStyle(p.outQty1Color));
    if (all || p.outQty2Color != was.outQty2Color)
        s.outQty2->setStyleSheet(barStyle(p.outQty2Color));
    if (all || p.event1 != was.event1)
        s.event1->setVisible(p.event1);
    if (all || p.event2 != was.event2)
        s.event2->setVisible(p.event2);
    if (all || p.lost != was.lost)
        s.lost->setVisible(p.lost);
    if (all || p.note != was.note) {
        s.note->setText(p.note);
        s.note->setVisible(!p.note.isEmpty());
    }
    if (all || p.health != was.health || p.note != was.note) {
        s.health->setText(p.health);
        // A note (why the slot went, a shared address) comes first.
        s.health->setVisible(!p.health.isEmpty() && p.note.isEmpty());
    }
    if (all || p.runLed != was.runLed)
        s.runLed->setColor(p.runLed);
    if (all || p.runCaption != was.runCaption)
        s.runBt->setText(p.runCaption);
    if (all || p.doCount != was.doCount)
        s.doCount->setText(p.doCount);
    if (all || p.errCount != was.errCount)
        s.errCount->setText(p.errCount);
}
