// Takes the README's screenshots of the real program: run under xvfb-run by
// scripts/screenshots. The windows are driven as a user would, against four
// simulated controllers on a pseudo-terminal, and the X screen is grabbed.
//
//   duva-screenshots <output folder>
#include "app/aboutform.h"
#include "app/comsettings.h"
#include "app/comsettingsform.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "console/consolepanel.h"
#include "find/findform.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "program/programcompareform.h"
#include "program/programfile.h"
#include "program/programform.h"
#include "recorder/recorderform.h"
#include "scripteddialogs.h"
#include "setup/compareform.h"
#include "setup/parameterfile.h"
#include "setup/parametertransfer.h"
#include "setup/setupviewform.h"
#include "sim/simline.h"
#include "ui/accessiblenames.h"
#include "ui/guardedapplication.h"
#include "ui/trafficform.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool grab(const QDir &out, const char *name)
{
    QTest::qWait(400);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool ok = shot.save(out.filePath(QString::fromLatin1(name)), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", name);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    GuardedApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: duva-screenshots <output folder>\n");
        return 2;
    }
    const QDir out(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    InstallAccessibleNames(&app);

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    SimLineSettings ls;
    SimLine line(ls);
    const int models[] = {0x4824, 0x4848, 0x4896, 0x9696};
    for (int i = 0; i < 4; ++i)
        line.addController(i + 1, models[i]);
    QString error;
    if (!line.open(&error) || !line.makeLink(QDir(work.path()).filePath("COM1"), &error)) {
        std::fprintf(stderr, "duva-screenshots: %s\n", qPrintable(error));
        return 1;
    }
    // At the line's own speed, as real controllers answer.
    line.setPacing(true);
    // Some life on the fronts: an alarm, an event input, a cooling output.
    line.controller(2)->setEventInput(1, true);
    line.controller(3)->set(0x471A, 3);
    line.controller(4)->set(0x4720, 1);
    // The first controller in program control, with a program that loops:
    // pattern 0 leads into patterns 1 and 2, which repeat.
    SimController &programmed = *line.controller(1);
    programmed.set(0x4719, 3);
    programmed.set(0x4778, 1);
    programmed.set(0x4779, 2);
    programmed.set(0x477A, 1);
    programmed.set(0x4769, 1);
    programmed.set(0x476A, 1);
    // Its Range High of 140.0 puts the 150.0 of pattern 1 out of range: the
    // program check says so.
    programmed.set(0x4704, 1400);
    const int steps[][3] = {{8, 1500, 30}, {9, 1200, 20}, {16, 900, 25}, {17, 1100, 15}};
    for (const auto &st : steps) {
        programmed.set(0x4780 + 2 * st[0], quint16(st[1]));
        programmed.set(0x4781 + 2 * st[0], quint16(st[2]));
    }

    bool ok = true;
    ComSettings settings;
    const auto main = CreateWindows(settings);
    main->showMaximized();
    ok = grab(out, "main.png") && ok;

    main->ToolButton5Click();
    ConsolePanel *panel = main->TESTPL;
    QTest::keyClicks(panel->SCOMAddr, "1");
    panel->SCmdBox->setCurrentIndex(0);
    emit panel->SCmdBox->activated(0);
    QTest::keyClicks(panel->SFunc, "4744");
    QTest::keyClicks(panel->SDataLen, "4");
    QTest::mouseClick(panel->SendBt, Qt::LeftButton);
    QTest::qWait(300);
    ok = grab(out, "console.png") && ok;
    QTest::mouseClick(panel->SExitBt, Qt::LeftButton);

    main->SetCommunication1Click();
    ok = grab(out, "settings.png") && ok;
    // The same dialog with a Modbus TCP gateway chosen; COM1 again after.
    ComSettingsForm *dialog = main->settingsForm();
    QTest::mouseClick(dialog->GatewayBt, Qt::LeftButton);
    dialog->HostEdit->clear();
    QTest::keyClicks(dialog->HostEdit, "10.0.0.5");
    ok = grab(out, "settings-network.png") && ok;
    QTest::mouseClick(dialog->findChild<QRadioButton *>("ComPortItem0"), Qt::LeftButton);
    main->settingsForm()->hide();
    main->About1Click();
    ok = grab(out, "about.png") && ok;
    main->aboutForm()->hide();

    // The line scanned for controllers: the four, and two that share an
    // address.
    line.addController(9, 0x4848);
    line.addController(9, 0x4824);
    main->FindControllers1Click();
    FindForm *find = main->findForm();
    find->LastAddr->setValue(24);
    QTest::mouseClick(find->ScanBt, Qt::LeftButton);
    ok = QTest::qWaitFor([find] { return !find->logic().view().running; }, 20000) && ok;
    QTest::qWait(100);
    ok = grab(out, "find.png") && ok;
    find->close();

    main->Monitor1Click();
    MonitorForm *monitor = main->monitorForm();
    monitor->move(0, 0);
    for (int n = 1; n <= 4; ++n) {
        monitor->slotWidgets(n).comAddr->setValue(n);
        QTest::mouseClick(monitor->slotWidgets(n).runBt, Qt::LeftButton);
        QTest::qWait(200);
    }
    QTest::qWait(3000);
    ok = grab(out, "monitor.png") && ok;

    // The traffic of the four, with a controller that stops answering.
    QTest::mouseClick(monitor->findChild<QPushButton *>("TrafficBt"), Qt::LeftButton);
    TrafficForm *traffic = TrafficForm::showFor(monitor);
    traffic->AddrFilter->setValue(2);
    QTest::qWait(500);
    line.setFault(2, {SimFault::Kind::BadChecksum, 0});
    QTest::qWait(300);
    QTest::mouseClick(traffic->PauseBt, Qt::LeftButton);
    line.setFault(2, {});
    QTest::qWait(1200);
    ok = grab(out, "traffic.png") && ok;
    QTest::mouseClick(traffic->PauseBt, Qt::LeftButton);
    traffic->hide();

    // The trend of the selected controller, heating towards its set value.
    QTest::mouseClick(monitor->setupForm().DrawBt, Qt::LeftButton);
    QTest::qWait(12000);
    ok = grab(out, "trend.png") && ok;
    QTest::mouseClick(monitor->setupForm().DrawBt, Qt::LeftButton);
    QTest::qWait(1500);

    // Controller 1's setup against controller 4's.
    {
        ScriptedDialogs answers;
        answers.itemAnswers << 2;
        QTest::mouseClick(monitor->setupForm().CompareCtrlBt, Qt::LeftButton);
        ok = QTest::qWaitFor([monitor] { return monitor->compareForm().isVisible(); }, 10000) && ok;
        QTest::qWait(300);
        ok = grab(out, "compare.png") && ok;
        monitor->compareForm().hide();
    }

    // A parameter file opened over the first controller: a faster PID.
    ParameterImage file = monitor->engine().image();
    file[12] = 85; // KP 8.5
    file[13] = 120; // KI
    const QString parFile = QDir(work.path()).filePath("faster.par");
    if (!ParameterFile::write(parFile, file).isEmpty())
        ok = false;
    {
        ScriptedDialogs answers;
        answers.fileAnswers << parFile;
        monitor->transfer().OpenBtClick();
        ok = grab(out, "parfile.png") && ok;
    }
    QTest::mouseClick(monitor->setupForm().LoadBt, Qt::LeftButton);
    QTest::qWait(1500);

    // The program editor over the window, the first controller's program
    // read, a set value being edited.
    monitor->ProgBtClick();
    ProgramForm *program = main->programForm();
    QTest::mouseClick(program->ReadSBt, Qt::LeftButton);
    for (int i = 0; i < 50 && program->editor().transferring(); ++i)
        QTest::qWait(100);
    program->ProgTable->setCurrentCell(3, 2);
    QTest::mouseClick(program->EditPBt, Qt::LeftButton);
    ok = grab(out, "program.png") && ok;
    program->hide();
    monitor->ExitBt2Click();

    // The recorder on four controllers; the third stops answering.
    main->Recorder1Click();
    RecorderForm *recorder = main->recorderForm();
    for (int d = 0; d < 4; ++d)
        recorder->device(d).comAddr->setValue(d + 1);
    const QString recordFile = QDir(work.path()).filePath("recording.txt");
    {
        ScriptedDialogs answers;
        answers.fileAnswers << recordFile;
        QTest::mouseClick(recorder->SaveBt, Qt::LeftButton);
    }
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    QTest::qWait(6000);
    line.setFault(3, {SimFault::Kind::Silent, 0});
    QTest::qWait(6000);
    ok = grab(out, "recorder.png") && ok;
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    QTest::qWait(300);

    // The recording opened again.
    {
        ScriptedDialogs answers;
        answers.fileAnswers << recordFile;
        QTest::mouseClick(recorder->OpenBt, Qt::LeftButton);
        ok = grab(out, "recording.png") && ok;
    }

    // A program run and recorded, then held against the recording: the first
    // controller stopped, given a ramp of 25.0 up to 40.0 in a minute and a
    // hold of a minute, the same program opened in the editor from a file,
    // and the controller run while the recorder records it (two minutes of
    // real time).
    programmed.set(0x4723, 0);
    programmed.set(0x4704, 13000);
    RampSoakProgram run;
    run.LastStep[0] = 1;
    run.NextPattern.fill(RampSoakProgram::ProgramEnd);
    run.SetValue[0] = 400;
    run.StepTime[0] = 1;
    run.SetValue[1] = 400;
    run.StepTime[1] = 1;
    for (int p = 0; p < RampSoakProgram::Values; ++p)
        programmed.set(0x4767 + p, run.wordAt(p));
    line.setFault(3, {SimFault::Kind::None, 0});
    QTest::qWait(20000); // the process value settles at rest
    const QString runFile = QDir(work.path()).filePath("ramp.txt");
    const QString programFile = QDir(work.path()).filePath("ramp-program.txt");
    if (!ProgramFile::write(programFile, run).isEmpty())
        ok = false;
    {
        ScriptedDialogs answers;
        answers.fileAnswers << programFile << runFile;
        program->editor().ReadFBtClick();
        recorder->SampleTime->setValue(1);
        QTest::mouseClick(recorder->SaveBt, Qt::LeftButton);
    }
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    QTest::qWait(1000);
    programmed.set(0x4723, 1);
    QTest::qWait(140000);
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    QTest::qWait(300);
    recorder->hide();
    {
        ScriptedDialogs answers;
        answers.fileAnswers << runFile;
        program->show();
        program->CompareBtClick();
        program->compareForm().move(program->compareForm().x(), 40);
        ok = grab(out, "program-compare.png") && ok;
    }
    return ok ? 0 : 1;
}
