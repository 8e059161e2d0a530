#include "monitor/monitorview.h"

#include "link/valueformat.h"
#include "setup/registermap.h"
#include "ui/screenscale.h"

const PanelLayout *LayoutForClass(int modelClass)
{
    using P = QPoint;
    static const PanelLayout layouts[4] = {
        {{12, 56, 109, 36},
         28,
         {120, 62, 72, 28},
         20,
         {P(12, 93), P(42, 93), P(80, 93), P(118, 93), P(118, 93), P(118, 93), P(175, 93),
          P(152, 93)}},
        {{35, 26, 132, 42},
         32,
         {35, 68, 132, 42},
         32,
         {P(28, 130), P(68, 130), P(108, 130), P(145, 130), P(145, 130), P(145, 130), P(175, 30),
          P(175, 50)}},
        {{55, 23, 98, 30},
         28,
         {55, 60, 98, 30},
         28,
         {P(65, 132), P(65, 108), P(87, 108), P(87, 132), P(110, 132), P(133, 132), P(133, 108),
          P(110, 108)}},
        {{30, 15, 150, 50},
         42,
         {50, 70, 130, 45},
         36,
         {P(28, 135), P(48, 135), P(68, 135), P(88, 135), P(108, 135), P(128, 135), P(173, 135),
          P(153, 135)}},
    };
    // An unknown model (class 0) is shown on a generic front laid out as
    // class 2, whose alarm lamps share one spot as class 0's lamps do.
    if (modelClass == 0)
        return &layouts[1];
    return (modelClass >= 1 && modelClass <= 4) ? &layouts[modelClass - 1] : nullptr;
}

int ClassOfModel(int code)
{
    return ModelClass(code);
}

std::array<QColor, LampCount> StatusLamps(int status, int modelClass)
{
    using namespace MonitorColor;
    auto lamp = [status](int bit, const QColor &on) { return (status & bit) ? on : Grey; };
    std::array<QColor, LampCount> lamps {
        lamp(StatusBit::AutoTuning, Green), lamp(StatusBit::Output1, Green),
        lamp(StatusBit::Output2, Green),    lamp(StatusBit::Alarm1, Red),
        lamp(StatusBit::Alarm2, Red),       lamp(StatusBit::Alarm3, Red),
        lamp(StatusBit::DegreesC, Yellow),  lamp(StatusBit::DegreesF, Yellow),
    };
    if (modelClass <= 2) {
        const QColor any = (status & StatusBit::AnyAlarm) ? Red : Grey;
        lamps[LampALM1] = lamps[LampALM2] = lamps[LampALM3] = any;
    }
    return lamps;
}

ProgramText ProgramDisplayText(const QList<quint16> &words, int lastSv, int decimals,
                               bool linearInput)
{
    auto word = [&words](int i) { return i < words.size() ? int(words.at(i)) : 0; };
    ProgramText t;
    switch (word(0)) {
    case 0:
        t.text = QStringLiteral(" %1 - 0%2").arg(word(4)).arg(word(3));
        break;
    case 1:
        t.text = ScaledFormat(lastSv, decimals, linearInput);
        break;
    case 2: {
        const int seconds = word(1);
        t.text = QStringLiteral("%1:%2:%3")
                     .arg(word(2) / 60)
                     .arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'))
                     .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        t.timeDisplay = true;
        break;
    }
    default:
        break;
    }
    return t;
}

OutputAssignment OutputAssignmentOf(int heatCool)
{
    OutputAssignment a;
    if (heatCool & 1) {
        a.label1 = QStringLiteral("OUT1 : Cooling");
        a.label2 = QStringLiteral("OUT2 : Heating");
        a.bar1 = MonitorColor::Blue;
        a.bar2 = MonitorColor::Red;
    } else {
        a.label1 = QStringLiteral("OUT1 : Heating");
        a.label2 = QStringLiteral("OUT2 : Cooling");
        a.bar1 = MonitorColor::Red;
        a.bar2 = MonitorColor::Blue;
    }
    a.secondRow = heatCool >= 2;
    return a;
}

DisplayFonts PanelDisplayFonts(const SlotPanel &panel, int screenWidth)
{
    const PanelLayout *layout = LayoutForClass(panel.modelClass);
    if (!layout)
        return {};
    DisplayFonts fonts;
    fonts.pv = panel.pvStatus ? layout->pvFont * screenWidth / (2 * DesignScreenWidth)
                              : layout->pvFont * screenWidth / DesignScreenWidth;
    const int sv = layout->svFont * screenWidth / DesignScreenWidth;
    fonts.sv = panel.svTimeDisplay ? sv * 2 / 3 : sv;
    return fonts;
}
