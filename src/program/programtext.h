#pragma once

#include <QString>

// The texts of the program table's cells.

// A set value held in tenths, with one decimal: 253 is "25.3", -5 is "-0.5",
// -153 is "-15.3", 0 is "0.0".
QString SetValueText(int tenths);
// A step time in minutes as hours (at least two digits) and minutes: 95 is
// "01:35". Times above 15 hours, which the editor cannot enter but the
// controller and a file may hold, show their true value: 1000 is "16:40".
QString StepTimeText(int minutes);
