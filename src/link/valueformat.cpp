#include "link/valueformat.h"

#include "link/hexcodec.h"

QString SignedIntFormat(int value)
{
    if (value > 32768)
        return QLatin1Char('-') + QString::number(65536 - value);
    return QString::number(value);
}

QString TenthsFormat(int value, bool showTenths)
{
    QString text;
    if (value > 32768) {
        text = QStringLiteral("-");
        value = 65536 - value;
    }
    text += QString::number(value / 10);
    if (showTenths)
        text += QLatin1Char('.') + QString::number(value % 10);
    return text;
}

QString FirmwareVersionText(int major, int minor)
{
    return QString::number(major) + QLatin1Char('.') +
        QString::number(minor & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString ScaledFormat(int value, int decimals, bool linearInput)
{
    if (decimals < 0 || decimals > MaxDecimalPoint) {
        // A position the controller cannot hold (a damaged reply or file):
        // the register as it is, and what was wrong, rather than a guess.
        return SignedIntFormat(value) + QStringLiteral(" (decimal point %1?)").arg(decimals);
    }
    bool negative = false;
    qint64 magnitude = value;
    if (value >= 32769) {
        negative = true;
        magnitude = (value ^ 0xFFFF) + 1;
    } else if (value < 0) {
        negative = true;
        magnitude = -static_cast<qint64>(value);
    }

    QString text;
    if (decimals == 1) {
        text = QString::number(magnitude / 10) + QLatin1Char('.') + QString::number(magnitude % 10);
    } else if (decimals == 0) {
        if (linearInput)
            text = QString::number(magnitude);
        else
            text = QString::number(magnitude / 10 + (magnitude % 10 >= 5 ? 1 : 0));
    } else {
        text = QString::number(magnitude);
        const qsizetype digits = text.size();
        if (decimals > 0 && decimals < digits) {
            text.insert(digits - decimals, QLatin1Char('.'));
        } else if (decimals > 0) {
            text.prepend(QString(decimals - digits + 1, QLatin1Char('0')));
            text.insert(1, QLatin1Char('.'));
        }
    }

    if (!negative)
        return text;
    const qsizetype width = text.size() + (decimals == 0 ? 2 : 0);
    const qsizetype blanks = 5 - width;
    return QLatin1Char('-') + QString(blanks > 0 ? blanks : 0, QLatin1Char(' ')) + text;
}

namespace {

// The digits of an entry scaled to `decimals` decimals, and its sign; false
// when the text is not a number.
bool ParseEntry(const QString &text, int decimals, bool *negative, QString *digits)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    *negative = false;
    if (i < text.size() && text.at(i) == QLatin1Char('-')) {
        *negative = true;
        ++i;
    }
    if (i >= text.size())
        return false;

    digits->clear();
    int fractionDigits = 0;
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.')) {
            seenPoint = true;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            *digits += c;
            if (seenPoint)
                ++fractionDigits;
        } else {
            return false;
        }
    }

    if (fractionDigits > decimals)
        digits->chop(fractionDigits - decimals);
    else if (fractionDigits < decimals)
        *digits += QString(decimals - fractionDigits, QLatin1Char('0'));
    return !digits->isEmpty();
}

} // namespace

QByteArray EntryToWord(const QString &text, int decimals)
{
    static const QByteArray err("Err");
    bool negative = false;
    QString digits;
    if (!ParseEntry(text, decimals, &negative, &digits))
        return err;
    // Accumulated modulo 2^16: only the low 16 bits of the number survive,
    // however many digits were typed.
    quint32 n = 0;
    for (const QChar c : digits)
        n = (n * 10 + static_cast<quint32>(c.unicode() - '0')) & 0xFFFF;
    if (negative)
        n = ((n ^ 0xFFFF) + 1) & 0xFFFF;
    return ByteToHex(static_cast<int>(n >> 8)) + ByteToHex(static_cast<int>(n & 0xFF));
}

bool EntryFitsWord(const QString &text, int decimals)
{
    bool negative = false;
    QString digits;
    if (!ParseEntry(text, decimals, &negative, &digits))
        return false;
    qint64 n = 0;
    for (const QChar c : digits) {
        n = n * 10 + (c.unicode() - '0');
        if (n > 65536)
            return false;
    }
    return negative ? n <= 32768 : n <= 65535;
}

bool IsEntryError(const QByteArray &word)
{
    return word == "Err";
}
