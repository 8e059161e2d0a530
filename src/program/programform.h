#pragma once

#include "program/programcompare.h"
#include "program/programeditor.h"
#include "program/rampsoakprogram.h"

#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class ProgramCompareForm;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

// "Ramp/Soak Pattern Editor": the ramp/soak program of the controller
// selected in the monitor window, on top of the others, centred on its
// owner, without system buttons; "Back" hides it. The program and the grid
// survive until the program ends.
class ProgramForm : public QWidget
{
    Q_OBJECT
public:
    explicit ProgramForm(QWidget *owner);
    ~ProgramForm() override;

    ProgramEditor &editor() { return *m_editor; }
    RampSoakProgram &program() { return m_program; }

    QTableWidget *ProgTable = nullptr;
    QComboBox *ProgStart = nullptr;
    QPushButton *ReadSBt = nullptr;
    QPushButton *ReadFBt = nullptr;
    QPushButton *SaveFBt = nullptr;
    QPushButton *WrBt = nullptr;
    QPushButton *EditPBt = nullptr;
    QPushButton *RetBt = nullptr;
    QGroupBox *EditBox = nullptr;
    QLabel *StepLinkLb = nullptr;
    QLineEdit *SPEdit = nullptr;
    QComboBox *MaxStep = nullptr;
    QComboBox *StepLink = nullptr;
    QLabel *TimeHourLB = nullptr;
    QComboBox *TimeHour = nullptr;
    QLabel *TimeMinLb = nullptr;
    QSpinBox *TimeMin = nullptr;
    QPushButton *POKBt = nullptr;
    QLabel *UpLoadLabelP = nullptr;
    QProgressBar *UpLoadBarP = nullptr;
    QLabel *ProgCurve = nullptr;
    QListWidget *ProgCheck = nullptr;
    QPushButton *CompareBt = nullptr;

    ProgramCompareForm &compareForm() { return *m_compare; }
    // "Compare with recording…": asks for a record file and shows the
    // comparison with it.
    void CompareBtClick();
    // What reads the recorder's files for the comparison.
    void setRecordingLoader(ProgramCompare::RecordingLoader loader);

signals:
    void rendered();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void scheduleRender();
    void render();

    RampSoakProgram m_program;
    std::unique_ptr<ProgramEditor> m_editor;
    ProgramCompareForm *m_compare = nullptr;
    QTimer *m_rangeTimer = nullptr; // while shown: the check follows the controller's range
    ProgramViewModel m_shown;
    bool m_renderedOnce = false;
    bool m_renderArmed = false;
};
