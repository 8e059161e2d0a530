#include "program/programtext.h"

namespace {

// The sign apart, so that -0.5 and -00:05 keep theirs; the magnitude of any
// 32-bit value fits.
QString Sign(qint64 value)
{
    return value < 0 ? QStringLiteral("-") : QString();
}

} // namespace

QString SetValueText(int tenths)
{
    const qint64 magnitude = qAbs(qint64(tenths));
    return Sign(tenths) + QString::number(magnitude / 10) + QLatin1Char('.') +
        QString::number(magnitude % 10);
}

QString StepTimeText(int minutes)
{
    const qint64 magnitude = qAbs(qint64(minutes));
    return Sign(minutes) +
        QStringLiteral("%1:%2")
            .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
            .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}
