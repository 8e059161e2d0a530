#pragma once

#include "setup/parameterimage.h"
#include "setup/registerwrite.h"
#include "setup/writeall.h"

#include <QList>
#include <QString>
#include <functional>

class SetupViewLogic;

// What the file and write-all buttons ask of the engine.
struct ParameterTransferActions
{
    // Save at the engine's next chance to send (saveFile follows).
    std::function<void()> requestSave;
    // The file's image into the parameter image, kept until closeFile or
    // the end of write-all.
    std::function<void(const ParameterImage &)> loadFile;
    std::function<void()> closeFile;
    // False when the batch could not start.
    std::function<bool(const QList<RegisterWrite> &, bool broadcast)> startWriteAll;
    // Whether the line passes a broadcast on (a Modbus TCP gateway does
    // not); unset counts as yes.
    std::function<bool()> broadcastCarried;
    // Runs the call once the event in hand is done: message boxes never
    // open inside the line's events.
    std::function<void(std::function<void()>)> post;
};

// The whole setup at once: the parameter file saved from and loaded into
// the parameter image, and a loaded file written to the selected controller
// or by broadcast to all of them. Messages and file dialogs go through the
// program's dialogs.
class ParameterTransfer
{
public:
    // The captions of the two write buttons, which the gauge's label takes.
    static const QString WriteOneCaption;
    static const QString WriteAllCaption;

    ParameterTransfer(const ParameterImage &image, SetupViewLogic &view,
                      ParameterTransferActions actions);

    void SaveBtClick();
    void OpenBtClick();
    // "Cancel" on OpPanel: back to the controller's values.
    void LoadBtClick();
    // WriteBt (`all` false) and WrAllBt (`all` true).
    void WriteBtClick(bool all);

    // From the engine: the save itself, with the engine paused.
    void saveFile();
    void writeProgress(int percent);
    void writeEnded(const BatchWriteReport &report);

private:
    void refuseFile(const QString &message);

    const ParameterImage &m_image;
    SetupViewLogic &m_view;
    ParameterTransferActions m_actions;
};
