#include "cli/clidialogs.h"

QString CliDialogs::textsFrom(qsizetype from) const
{
    QStringList lines;
    for (qsizetype i = qMax<qsizetype>(0, from); i < messages.size(); ++i)
        lines << messages.at(i).text;
    return lines.join(QLatin1Char('\n'));
}
