#pragma once

#include "program/programcomparison.h"

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// "Compare with Recording": the program's planned set value against the
// process value of a recording, over the program window.
class ProgramCompareForm : public QWidget
{
    Q_OBJECT
public:
    ProgramCompareForm(const RampSoakProgram &program, QWidget *owner);

    ProgramComparison &comparison() { return m_logic; }

    QLabel *CompFileLb = nullptr;
    QPushButton *CompOpenBt = nullptr;
    QComboBox *CompDevice = nullptr;
    QSpinBox *CompStart = nullptr;
    QLabel *CompStartLb = nullptr;
    QPushButton *CompFindBt = nullptr;
    QDoubleSpinBox *CompTolerance = nullptr;
    QComboBox *CompScale = nullptr;
    QLabel *CompChart = nullptr;
    QPlainTextEdit *CompResult = nullptr;
    QPushButton *CompExportBt = nullptr;
    QPushButton *CompCloseBt = nullptr;

signals:
    void rendered();

protected:
    // A click on the chart moves the program's start there.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void render();

    ProgramComparison m_logic;
    int m_chartShown = -1;
};
