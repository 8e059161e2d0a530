#pragma once

#include "setup/parameterimage.h"

#include <QList>
#include <QString>
#include <QStringList>

// One parameter that differs between two setups.
struct ParameterDifference
{
    int entry = 0;
    int reg = 0;
    QString code; // "P1-4"; empty for a parameter without one
    QString caption;
    QString first; // the value in the first setup, as the setup view shows it
    QString second;
};

// A comparison as the compare window shows it: a summary and a table.
struct CompareReport
{
    QString title; // "Controller 1 (address 1) against PLANT.par"
    QString summary; // "Identical", "Verified: all 38 parameters match", ...
    QStringList headers;
    QList<QStringList> rows;
};

namespace SetupCompare {

// The entries a parameter file's write-all writes for `reference` (its
// control mode decides the set value and the output levels), in the order
// it writes them; never the model, firmware or identification entries.
QList<int> ComparedEntries(const ParameterImage &reference);

// The entries of `entries` whose values differ, with both values as the
// setup view formats them: scaled values by each setup's own decimal point
// and input type, list entries by their text.
QList<ParameterDifference> Compare(const ParameterImage &first, const ParameterImage &second,
                                   const QList<int> &entries);

// An entry's value as the setup view shows it.
QString EntryText(const ParameterImage &image, int entry);

// The table of differences, headed by the two setups' names.
CompareReport Report(const QString &title, const QString &firstName, const QString &secondName,
                     const QList<ParameterDifference> &differences, int compared,
                     bool verify = false);

// The report as text to paste (tab-separated, one row a line) and as CSV.
QString ToText(const CompareReport &report);
QString ToCsv(const CompareReport &report);

} // namespace SetupCompare
