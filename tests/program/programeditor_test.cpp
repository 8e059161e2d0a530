// The program editor's grid, editors and commit rules, and its file
// buttons, without a line.
#include "program/programeditor.h"
#include "program/programfile.h"
#include "program/programform.h"
#include "scripteddialogs.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class Editor : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    RampSoakProgram program;
    std::unique_ptr<ProgramEditor> editor;

    void SetUp() override
    {
        editor = std::make_unique<ProgramEditor>(program, ProgramEditorActions {});
        editor->FormShow();
    }
    const ProgramViewModel &m() { return editor->model(); }
    QString cell(int row, int column) { return m().cells[size_t(row)][size_t(column)]; }
    // Selects the cell, opens the editors on it and commits `text`.
    void typeInto(int row, int column, const QString &text)
    {
        editor->ProgTableClick(row, column);
        editor->EditPBtClick();
        editor->SPEditChange(text);
        editor->POKBtClick();
    }
};

TEST_F(Editor, GridTitlesAndCellTexts)
{
    program.SetValue[RampSoakProgram::index(2, 1)] = -5;
    program.SetValue[RampSoakProgram::index(2, 2)] = -153;
    program.StepTime[RampSoakProgram::index(2, 1)] = 95;
    program.NextPattern = {1, 8, 3, 4, 5, 6, 7, 0};
    program.LastStep[0] = 7;
    editor->FormShow();
    EXPECT_EQ(cell(0, 0), "");
    EXPECT_EQ(cell(0, 1), "Pattern 0");
    EXPECT_EQ(cell(0, 8), "Pattern 7");
    EXPECT_EQ(cell(1, 0), "Step 0 SV");
    EXPECT_EQ(cell(16, 0), "Step 7 Time");
    EXPECT_EQ(cell(17, 0), "Last Step Number");
    EXPECT_EQ(cell(18, 0), "Additional Cycles");
    EXPECT_EQ(cell(19, 0), "Next Pattern Number");
    EXPECT_EQ(cell(3, 3), "-0.5");
    EXPECT_EQ(cell(5, 3), "-15.3");
    EXPECT_EQ(cell(4, 3), "01:35");
    EXPECT_EQ(cell(19, 1), "Pattern 1");
    EXPECT_EQ(cell(19, 2), "Prog End");
    EXPECT_EQ(cell(17, 1), "7");
}

TEST_F(Editor, EditorsFollowTheRow)
{
    editor->ProgTableClick(17, 1);
    editor->EditPBtClick();
    EXPECT_TRUE(m().maxStepVisible);
    EXPECT_EQ(m().stepLinkLbCaption, "Last Step No.");
    EXPECT_EQ(m().focus, ProgramFocus::MaxStep);
    editor->ProgTableClick(19, 1);
    EXPECT_TRUE(m().stepLinkVisible);
    EXPECT_FALSE(m().maxStepVisible);
    EXPECT_EQ(m().stepLinkLbCaption, "Next Pattern No.");
    editor->ProgTableClick(4, 1);
    EXPECT_TRUE(m().timeVisible);
    EXPECT_FALSE(m().stepLinkLbVisible);
    EXPECT_EQ(m().focus, ProgramFocus::POKBt);
    editor->ProgTableClick(3, 1);
    EXPECT_TRUE(m().spEditVisible);
    EXPECT_EQ(m().stepLinkLbCaption, "Set Value");
}

TEST_F(Editor, SetValueCommitRules)
{
    typeInto(1, 1, "25");
    EXPECT_EQ(program.SetValue[0], 250);
    EXPECT_EQ(cell(1, 1), "25.0");
    typeInto(1, 1, "12.345");
    EXPECT_EQ(program.SetValue[0], 123);
    EXPECT_EQ(cell(1, 1), "12.3");
    typeInto(1, 1, "1a"); // refused without a word
    EXPECT_EQ(program.SetValue[0], 123);
    EXPECT_EQ(cell(1, 1), "12.3");
    EXPECT_TRUE(dialogs.shown.isEmpty());
    typeInto(1, 1, "-0.5");
    EXPECT_EQ(program.SetValue[0], -5);
    typeInto(1, 1, "3276.8"); // beyond a register
    EXPECT_EQ(program.SetValue[0], -5);
    typeInto(1, 1, "12.");
    EXPECT_EQ(program.SetValue[0], -5);
    ASSERT_EQ(dialogs.texts().size(), 2);
    EXPECT_EQ(dialogs.texts().at(0), "'3276.8' is not a valid set value");
    EXPECT_EQ(dialogs.texts().at(1), "'12.' is not a valid set value");
    typeInto(1, 1, "-3276.8");
    EXPECT_EQ(program.SetValue[0], -32768);
}

TEST_F(Editor, CyclesAndTimes)
{
    program.AdditionalCycles[1] = 7;
    typeInto(18, 2, "abc");
    EXPECT_EQ(program.AdditionalCycles[1], 7);
    typeInto(18, 2, "150");
    EXPECT_EQ(program.AdditionalCycles[1], 99);
    EXPECT_EQ(cell(18, 2), "99");
    typeInto(18, 2, "-3");
    EXPECT_EQ(program.AdditionalCycles[1], 0);

    editor->ProgTableClick(2, 1);
    editor->EditPBtClick();
    editor->TimeMinChange("30");
    editor->TimeHourChange(2);
    EXPECT_EQ(program.StepTime[0], 150);
    EXPECT_EQ(cell(2, 1), "02:30");
    editor->TimeHourChange(15); // minutes forced to 0, their editor off
    EXPECT_EQ(program.StepTime[0], 900);
    EXPECT_FALSE(m().timeMinEnabled);
    EXPECT_EQ(m().timeMinText, "0");

    // A time beyond 15 h shows its true value; the editor shows no hour and
    // stores nothing, not even on opening or on a minute change.
    program.StepTime[0] = 1000;
    editor->FormShow();
    EXPECT_EQ(cell(2, 1), "16:40");
    editor->ProgTableClick(2, 1);
    editor->EditPBtClick();
    EXPECT_EQ(m().timeHour, -1);
    EXPECT_EQ(m().timeMinText, "40");
    editor->TimeMinChange("41");
    editor->POKBtClick();
    EXPECT_EQ(program.StepTime[0], 1000);
    editor->TimeHourChange(1);
    EXPECT_EQ(program.StepTime[0], 101);
}

TEST_F(Editor, RefusedFileLeavesTheProgramAndTheButtonsAsTheyWere)
{
    QTemporaryDir dir;
    program.SetValue[5] = 77;
    const RampSoakProgram before = program;
    QFile f(dir.filePath("bad.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1\r\n2  x  \r\n");
    f.close();
    for (const QString &name : {QStringLiteral("bad.txt"), QStringLiteral("none.txt")}) {
        dialogs.fileAnswers << dir.filePath(name);
        editor->ReadFBtClick();
        EXPECT_TRUE(program == before);
        EXPECT_TRUE(m().readFBtEnabled);
        EXPECT_TRUE(m().readSBtEnabled);
        EXPECT_FALSE(m().wrBtEnabled);
        // The label says which file and how it went; no gauge.
        EXPECT_TRUE(m().progressVisible);
        EXPECT_FALSE(m().progressBarVisible);
        EXPECT_EQ(m().progressCaption, name + ": not read");
    }
    EXPECT_EQ(
        dialogs.texts(),
        QStringList({"'x' is not a valid integer value", "File not exist, can not open file !"}));
}

TEST_F(Editor, AReadDroppedBeforeAnyReplyLeavesTheGridAndItsUse)
{
    QTemporaryDir dir;
    editor = std::make_unique<ProgramEditor>(program, ProgramEditorActions {});
    editor->setTransferActions([] { return true; },
                               [](const QList<RegisterWrite> &) { return true; },
                               [] { return true; });
    editor->FormShow();
    dialogs.fileAnswers << dir.filePath("kept.txt");
    editor->SaveFBtClick();
    EXPECT_EQ(m().progressCaption, "kept.txt: written");
    EXPECT_FALSE(m().progressBarVisible);
    dialogs.fileAnswers << dir.filePath("kept.txt");
    editor->ReadFBtClick();
    EXPECT_EQ(m().progressCaption, "kept.txt: read");
    typeInto(1, 1, QStringLiteral("12.5")); // an edit not yet written anywhere

    // The controller is lost before its first reply: nothing was touched.
    editor->ReadSBtClick();
    EXPECT_FALSE(m().saveFBtEnabled);
    editor->programReadEnded(false,
                             QStringLiteral("controller 1 (address 1) is no longer connected"));
    EXPECT_TRUE(m().saveFBtEnabled);
    EXPECT_TRUE(m().editPBtEnabled);
    EXPECT_TRUE(m().wrBtEnabled);
    EXPECT_EQ(cell(1, 1), "12.5");

    // Lost after a reply: half a program is not written or edited.
    editor->ReadSBtClick();
    editor->programReply(0, 0, {3});
    editor->programReadEnded(false,
                             QStringLiteral("controller 1 (address 1) is no longer connected"));
    EXPECT_FALSE(m().saveFBtEnabled);
    EXPECT_FALSE(m().editPBtEnabled);
    EXPECT_FALSE(m().wrBtEnabled);
}

TEST(ProgramEditorNames, ValuesNotWrittenAreNamed)
{
    EXPECT_EQ(ProgramEditor::describePosition(0), "start pattern");
    EXPECT_EQ(ProgramEditor::describePosition(8), "last step of pattern 7");
    EXPECT_EQ(ProgramEditor::describePosition(9), "additional cycles of pattern 0");
    EXPECT_EQ(ProgramEditor::describePosition(24), "next pattern of pattern 7");
    EXPECT_EQ(ProgramEditor::describePosition(25), "set value of pattern 0, step 0");
    EXPECT_EQ(ProgramEditor::describePosition(44), "time of pattern 1, step 1");
    EXPECT_EQ(ProgramEditor::describePosition(152), "time of pattern 7, step 7");
}

} // namespace

namespace {

// The window's controls reach the editor: typing, Enter, the hour list.
TEST(ProgramFormWiring, TypedValuesReachTheProgram)
{
    ScriptedDialogs dialogs;
    ProgramForm form(nullptr);
    form.show();
    EXPECT_FALSE(form.EditPBt->isEnabled()); // nothing to edit before a read or a load
    QTemporaryDir dir;
    ASSERT_EQ(ProgramFile::write(dir.filePath("p.txt"), RampSoakProgram()), QString());
    dialogs.fileAnswers << dir.filePath("p.txt");
    QTest::mouseClick(form.ReadFBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.EditPBt->isEnabled(); }, 2000));
    form.ProgTable->setCurrentCell(1, 1);
    QTest::mouseClick(form.EditPBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.SPEdit->isVisible(); }, 2000));
    form.SPEdit->setFocus();
    form.SPEdit->selectAll();
    QTest::keyClicks(form.SPEdit, "12.5");
    QTest::keyClick(form.SPEdit, Qt::Key_Return);
    EXPECT_EQ(form.program().SetValue[0], 125);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form.ProgTable->item(1, 1)->text() == "12.5"; }, 2000));
    form.ProgTable->setCurrentCell(2, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.TimeHour->isVisible(); }, 2000));
    form.TimeMin->setValue(7);
    form.TimeHour->setCurrentIndex(2);
    EXPECT_EQ(form.program().StepTime[0], 127);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form.ProgTable->item(2, 1)->text() == "02:07"; }, 2000));
    form.ProgTable->setCurrentCell(17, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.MaxStep->isVisible(); }, 2000));
    form.MaxStep->setCurrentIndex(4);
    QTest::keyClick(form.MaxStep, Qt::Key_Return);
    EXPECT_EQ(form.program().LastStep[0], 4);
}

} // namespace
