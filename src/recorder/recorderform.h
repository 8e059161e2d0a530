#pragma once

#include "link/linesettings.h"
#include "link/serialchannel.h"
#include "recorder/acquisition.h"
#include "recorder/recorderdata.h"

#include <QWidget>
#include <array>
#include <memory>

class DeferredRender;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class RecordViewer;
namespace Recorder {
class TrendChart;
}

// The controls of one device.
struct RecorderDeviceWidgets
{
    QLabel *panel = nullptr; // Paneln ("Device n"): switches the trace
    QSpinBox *comAddr = nullptr; // ComAddrn
    QComboBox *colorBox = nullptr; // ColorBoxn
    QLineEdit *value = nullptr; // Valuen
};

// "Recorder Program": samples the process values of up to ten controllers
// and draws them as a trend chart. Its channel is ApdComPort1.
class RecorderForm : public QWidget
{
    Q_OBJECT
public:
    explicit RecorderForm(QWidget *owner, LineSettingsSource settings = {});
    ~RecorderForm() override;

    // True while the window's channel is open.
    bool holdsPort() const { return ApdComPort1.isOpen(); }
    // The program ends: close the channel, asking nothing.
    void endWork();
    // Opens maximised, wholly on the screen; or brings it to the front.
    void showWindow();

    RecorderAcquisition &acquisition() { return *m_acquisition; }
    RecordViewer &viewer() { return *m_viewer; }
    Recorder::TrendChart &chart() { return *m_chart; }
    Recorder::Data &data() { return m_data; }
    const RecorderDeviceWidgets &device(int d) const { return m_devices[size_t(d)]; }
    // The name of device d's controls: 1..9, then A.
    static QString DeviceSuffix(int d);

    SerialChannel ApdComPort1;
    QLabel *DrawIme = nullptr;
    QFrame *BackGndP = nullptr;
    QPushButton *StartBt = nullptr;
    QSpinBox *SampleTime = nullptr;
    QLabel *LoopCnt = nullptr;
    QFrame *ComAddrPL = nullptr;
    QFrame *TimePL = nullptr;
    QLabel *STARTTIME = nullptr;
    QLabel *NOWTHETIME = nullptr;
    QComboBox *DisplayMd = nullptr;
    QLineEdit *MaxScale = nullptr;
    QLineEdit *MinScale = nullptr;
    QComboBox *BGColor = nullptr;
    QPushButton *CloseBt = nullptr;
    QFrame *SavePL = nullptr; // behind SaveBt: maroon while saving is armed
    QPushButton *SaveBt = nullptr;
    QPushButton *OpenBt = nullptr;
    QPushButton *ExportBt = nullptr; // "Export CSV": the viewed recording
    QSlider *TrackBar = nullptr;
    QLabel *ErrMess = nullptr;

signals:
    void rendered();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void scheduleRender();
    void render();
    void takeManualLimits();

    Recorder::Data m_data;
    std::unique_ptr<Recorder::TrendChart> m_chart;
    RecorderAcquisition *m_acquisition = nullptr;
    std::unique_ptr<RecordViewer> m_viewer;
    int m_shownTrackMax = -1;
    int m_shownOpened = 0; // the viewer's file the track bar shows
    int m_shownRecorded = 0;
    void browse();
    std::array<RecorderDeviceWidgets, Recorder::DeviceCount> m_devices {};
    // The render waits for the request the line's event just handed to the
    // port to leave.
    DeferredRender *m_render = nullptr;
    bool m_renderedOnce = false;
    // What the widgets show, so that a render touches only what changed.
    RecorderView m_shownView;
    std::array<Recorder::Device, Recorder::DeviceCount> m_shownDevices {};
    quint64 m_chartVersion = 0;
    bool m_shownManual = false;
};
