#pragma once

#include <QByteArray>
#include <QString>

// Register values to display texts and user entries to register words.
// Pure functions.

// Decimal text of a 16-bit two's complement value: above 32768 negative;
// 32768 itself stays "32768".
QString SignedIntFormat(int value);

// A value in tenths: "123.6", or "123" without the tenths (cut, not rounded).
QString TenthsFormat(int value, bool showTenths);

// A process value, set value or parameter that follows the controller's
// decimal point: `decimals` is the decimal-point register, `linearInput` is
// true for voltage, current and millivolt inputs. Negative values put the
// minus sign at the left edge of a field at least six characters wide.
// The decimal point position a controller holds: 0 to 3.
constexpr int MaxDecimalPoint = 3;
// A position outside 0..3 shows the register's value as it is, with a note.
QString ScaledFormat(int value, int decimals, bool linearInput);

// A firmware version: the major number in decimal, the minor as two hex
// digits ("1.0A" for 1 and 0x0A).
QString FirmwareVersionText(int major, int minor);

// A number typed by the user, with `decimals` decimals required, as four
// upper-case hex digits (high byte first), or "Err" when the text is not a
// number. Fraction digits beyond `decimals` are cut; negatives become two's
// complement; only the low 16 bits survive.
QByteArray EntryToWord(const QString &text, int decimals);

// True when the entry is a number whose scaled value fits a 16-bit word:
// 0 to 65535, or down to -32768.
bool EntryFitsWord(const QString &text, int decimals);

// True for the "Err" result of EntryToWord; the caller then has the
// parameters read again from the controller.
bool IsEntryError(const QByteArray &word);
