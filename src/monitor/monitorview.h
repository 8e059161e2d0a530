#pragma once

#include "monitor/monitorstate.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>

namespace MonitorColor {
const QColor Green(0, 255, 0);
const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);
const QColor Grey(128, 128, 128);
const QColor Blue(0, 0, 255);
const QColor Teal(0, 128, 128);
} // namespace MonitorColor

// The status lamps of a panel, in this order.
enum PanelLamp {
    LampAT,
    LampOUT1,
    LampOUT2,
    LampALM1,
    LampALM2,
    LampALM3,
    LampCDEG,
    LampFDEG,
    LampCount
};

struct SlotPanel;

// Where a model class puts its displays and lamps on the 208 x 148 front
// (design pixels, before the screen factor; fonts in points).
struct PanelLayout
{
    QRect pv;
    int pvFont;
    QRect sv;
    int svFont;
    std::array<QPoint, LampCount> lamps;
};

// The layout of model class 1 to 4; an unknown model (class 0) takes class
// 2's; nullptr for anything else.
const PanelLayout *LayoutForClass(int modelClass);

// The sizes in points of a panel's two displays on a screen `screenWidth`
// wide: the layout's sizes scaled by the screen, half for a status text in
// the PV, two thirds for a program's time display in the SV; 0 while the
// panel's model class has no layout.
struct DisplayFonts
{
    int pv = 0;
    int sv = 0;
};
DisplayFonts PanelDisplayFonts(const SlotPanel &panel, int screenWidth);

// The model class of a model code: 0x4824 (and 0x3432) 1, 0x4848 2,
// 0x4896 3, 0x9696 4; 0 for any other code.
int ClassOfModel(int code);

// What one slot's panel shows.
struct SlotPanel
{
    bool visible = false; // DevicenPL
    int modelClass = 0; // picks the front picture and the layout
    int modelCode = 0; // as the controller tells it (0x4746)
    QString pvText; // EditnP
    bool pvStatus = false; // the PV shows a status text, in half-size letters
    QString svText; // EditnS
    bool svTimeDisplay = false; // a program's time display, in smaller letters
    std::array<QColor, LampCount> lamps {};
    QString outLabel1; // OutLB1n
    QString outLabel2;
    bool outRow1Visible = false; // OutLB1n and OutQty1n
    bool outRow2Visible = false;
    int outQty1 = 0; // 0..1000
    int outQty2 = 0;
    QColor outQty1Color = MonitorColor::Red;
    QColor outQty2Color = MonitorColor::Blue;
    bool event1 = false; // Eventn1
    bool event2 = false;
    QColor runLed = MonitorColor::Grey; // RunLEDn
    QString runCaption = QStringLiteral("Connect"); // RunBtn
    bool lost = false; // Lostn: the slot has time-outs (shown even before identification)
    // A word beside the slot's controls (Noten): why it was disconnected, or
    // that another connected slot polls the same address; empty for none.
    QString note;
    // The link's health (Healthn), refreshed every second while connected.
    QString health;
    QString doCount = QStringLiteral("0"); // DoCntn
    QString errCount = QStringLiteral("0"); // ErrCntn
};

// What the monitor window shows, as the engine leaves it.
struct MonitorView
{
    std::array<SlotPanel, SlotCount + 1> panel {}; // panel[1] .. panel[4]
    std::array<int, SlotCount + 1> comAddr {0, 1, 1, 1, 1}; // ComAddrn, 1..247
    bool selPanelVisible = false; // SelPanel
    int selPanelSlot = 1; // the panel SelPanel frames
    bool allImageVisible = true; // All_Image
    bool debugVisible = false; // DebugMess and ErrMess
    QString errText; // ErrMess
    QColor errColor = MonitorColor::Teal;
    int upLoadBar = 0; // UpLoadBar, percent
    QString drawCaption = QStringLiteral("PV Monitor"); // DrawBt

    SlotPanel &at(int n) { return panel[size_t(n)]; }
    const SlotPanel &at(int n) const { return panel[size_t(n)]; }
};

// Texts and values of one reply, decoded without any state.

// Lamp colours from the status word 0x4728; classes 0 to 2 light all three
// alarm lamps (which lie on one spot) when any alarm is on.
std::array<QColor, LampCount> StatusLamps(int status, int modelClass);

// The running program's display (0x4762 to 0x4766) and whether it is the
// time display, which is shown in smaller letters. `lastSv` and `decimals`
// serve mode 1 (set value).
struct ProgramText
{
    QString text;
    bool timeDisplay = false;
};
ProgramText ProgramDisplayText(const QList<quint16> &words, int lastSv, int decimals,
                               bool linearInput);

// Output captions and bar colours from 0x471A.
struct OutputAssignment
{
    QString label1, label2;
    QColor bar1, bar2;
    bool secondRow = false;
};
OutputAssignment OutputAssignmentOf(int heatCool);
