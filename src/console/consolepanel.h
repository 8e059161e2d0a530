#pragma once

#include <QFrame>

class ConsoleLogic;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// TESTPL, "SINGLE COMMAND TEST (HEX FORMAT)": the console's controls on the
// main window. It forwards every user event to the console logic and shows
// the logic's view.
class ConsolePanel : public QFrame
{
    Q_OBJECT
public:
    ConsolePanel(ConsoleLogic &logic, QWidget *parent);

    // The panel's design width.
    static constexpr int PanelWidth = 511;

    // The row height of the command list, set by the main window.
    void setCommandRowHeight(int pixels);

    QLineEdit *SCOMAddr = nullptr;
    QComboBox *SCmdBox = nullptr;
    QLineEdit *UserCmd = nullptr;
    QLineEdit *SFunc = nullptr;
    QLineEdit *SDataLen = nullptr;
    QLabel *DataLenLb = nullptr;
    QLabel *CheckSumSendLb = nullptr;
    QLineEdit *SChkSum = nullptr;
    QGroupBox *MutiWrBox = nullptr;
    QLineEdit *Edit[9] = {}; // Edit1 .. Edit8 at 1 .. 8
    QLabel *Image2 = nullptr;
    QLineEdit *SendEdit = nullptr;
    QLineEdit *RcvEdit = nullptr;
    QLabel *DecodeLb = nullptr; // the reply read for people
    QPushButton *SendBt = nullptr;
    QPushButton *RSendBt = nullptr;
    QPushButton *SClearBt = nullptr;
    QPushButton *SExitBt = nullptr;

signals:
    void closeRequested();

private:
    void render();
    void SCmdBoxSelect(int index);

    ConsoleLogic &m_logic;
    int m_shownCommand = -2;
};
