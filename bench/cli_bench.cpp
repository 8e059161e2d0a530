// duva-cli against the windows doing the same work, both against duva-sim
// paced (RTU 8N1, turnaround 2 ms), as the user waits for it:
//
//     QT_QPA_PLATFORM=offscreen bench_cli [--runs N]
//
// - The address scan of 1..247 with controllers at 3, 17, 120 and 247: the
//   Find Controllers window from the click on "Scan" until its logic has
//   ended and the window has rendered the table, against `duva-cli scan`
//   from the process's start to its end.
// - The backup of four controllers (addresses 3, 17, 120, 247): the
//   configuration window from the click on the first "Connect" until the
//   fourth parameter file is written (each controller selected by a click on
//   its picture and saved by "Save to File"), against `duva-cli backup` of
//   the four from the process's start to its end.
// At 9600 and 38400 baud; the median of N runs (3) of each, and the command
// line's time as a share of the window's.
#include "benchline.h"
#include "find/findform.h"
#include "find/findlogic.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <cstdio>
#include <vector>

namespace {

const QList<int> Addresses {3, 17, 120, 247};

QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

QStringList lineOptions(int baud)
{
    return {"--port",   "COM1", "--rtu",  "--baud", QString::number(baud),
            "--parity", "none", "--quiet"};
}

ComSettings settingsFor(int baud)
{
    ComSettings s;
    s.select(ComSettings::ComBaudRate, baudIndex(baud));
    s.select(ComSettings::ComParity, 0);
    s.select(ComSettings::ModBus, 1);
    return s;
}

// The command line's run, start to end, in ms; -1 when it failed.
qint64 cliRun(const QStringList &args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(binDir() + "/duva-cli", args);
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "duva-cli %s: %s\n", qPrintable(args.join(' ')),
                     p.readAllStandardError().constData());
        return -1;
    }
    return t.elapsed();
}

qint64 windowScan(int baud)
{
    const ComSettings settings = settingsFor(baud);
    FindForm form(nullptr, [&settings] { return settings.lineSettings(); });
    form.show();
    spin(200);
    const FindView &v = form.logic().view();
    QElapsedTimer t;
    t.start();
    form.ScanBt->click();
    const bool ended = waitFor(
        [&] {
            return !v.running && form.ScanBt->isEnabled() &&
                form.ResultGrid->rowCount() == v.rows.size() && !v.rows.isEmpty();
        },
        600000);
    const qint64 ms = t.elapsed();
    form.close();
    return ended && v.rows.size() == Addresses.size() ? ms : -1;
}

qint64 windowBackup(int baud, const QString &dir)
{
    ScriptedDialogs dialogs;
    const ComSettings settings = settingsFor(baud);
    MonitorForm form(nullptr, [&settings] { return settings.lineSettings(); });
    form.showWindow();
    spin(200);
    QElapsedTimer t;
    t.start();
    for (int n = 1; n <= Addresses.size(); ++n) {
        form.slotWidgets(n).comAddr->setValue(Addresses.at(n - 1));
        form.slotWidgets(n).runBt->click();
    }
    for (int n = 1; n <= Addresses.size(); ++n) {
        form.engine().Image1Click(n);
        const QString path = QStringLiteral("%1/window-%2.par").arg(dir).arg(n);
        dialogs.fileAnswers.enqueue(path);
        const qsizetype before = dialogs.shown.size();
        form.setupForm().SaveBt->click();
        if (!waitFor([&] { return dialogs.shown.size() > before + 1; }, 120000) ||
            !QFile::exists(path))
            return -1;
    }
    const qint64 ms = t.elapsed();
    // Polling stops and its last reply comes in before the port closes, so
    // no reply is left on the line for the next program.
    for (int n = 1; n <= Addresses.size(); ++n)
        form.engine().DisconnectSlot(n);
    waitFor([&] { return !form.engine().state().RequestOutstanding; }, 1000);
    form.endWork();
    return ms;
}

qint64 medianOf(std::vector<qint64> v)
{
    for (qint64 x : v)
        if (x < 0)
            return -1;
    return median(std::move(v));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 3);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    std::printf("duva-cli against the windows, duva-sim paced (RTU 8N1, turnaround %d ms), "
                "median of %d runs, ms\n",
                TurnaroundMs, runs);
    std::printf("%-28s %6s %10s %10s %8s\n", "work", "baud", "window", "duva-cli", "cli/win");
    for (int baud : {9600, 38400}) {
        std::vector<std::pair<int, int>> controllers;
        for (int a : Addresses)
            controllers.push_back({a, 0x4848});
        Simulator sim(true, baud, true, controllers);
        QFile::remove("COM1");
        if (sim.device().isEmpty() || !QFile::link(sim.device(), "COM1")) {
            std::fprintf(stderr, "duva-sim did not start\n");
            return 1;
        }
        std::vector<qint64> winScan, cliScan, winBackup, cliBackup;
        for (int r = 0; r < runs; ++r) {
            winScan.push_back(windowScan(baud));
            cliScan.push_back(cliRun(lineOptions(baud) << "scan"));
            winBackup.push_back(windowBackup(baud, work.path()));
            QStringList backup = lineOptions(baud) << "backup";
            for (int a : Addresses)
                backup << QString::number(a);
            cliBackup.push_back(cliRun(backup << "--dir" << work.path()));
        }
        const auto row = [baud](const char *what, qint64 win, qint64 cli) {
            std::printf("%-28s %6d %10lld %10lld %7.1f%%\n", what, baud, (long long)win,
                        (long long)cli, win > 0 ? 100.0 * double(cli) / double(win) : 0.0);
        };
        row("scan 1..247 (4 found)", medianOf(winScan), medianOf(cliScan));
        row("backup of 4 controllers", medianOf(winBackup), medianOf(cliBackup));
        std::fflush(stdout);
    }
    return 0;
}
