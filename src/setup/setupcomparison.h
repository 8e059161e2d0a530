#pragma once

#include "setup/parameterimage.h"
#include "setup/registerwrite.h"
#include "setup/setupcompare.h"

#include <QList>
#include <QString>
#include <functional>

// A connected slot another setup can be read from.
struct ComparedSlot
{
    int slot = 0;
    QString name; // "Controller 2 (address 5)"
};

// What comparing asks of the configuration window and its engine.
struct SetupComparisonActions
{
    // The selected controller, by name; empty when none is connected.
    std::function<QString()> selectedName;
    // The connected slots, the selected one first.
    std::function<QList<ComparedSlot>()> connectedSlots;
    // Reads slot n's setup into an image of its own (no display effect);
    // `done` gets false when the slot went away first.
    std::function<void(int slot, std::function<void(bool, const ParameterImage &)> done)>
        readSetupOf;
    // Runs the call once the selected controller's image is whole (read
    // since it was selected), with false when it cannot be (the refusal is
    // shown); `text` names the action that waits. At once when not given.
    std::function<void(const QString &text, std::function<void(bool ok)>)> whenImageWhole;
    // The slot that polls an address, 0 for none.
    std::function<int(int address)> slotOfAddress;
    std::function<void(const CompareReport &)> show;
};

// Compares the selected controller's setup with a parameter file or with
// another controller, and verifies write-all by reading back what it wrote.
// Nothing is written.
class SetupComparison
{
public:
    SetupComparison(const ParameterImage &selectedImage, SetupComparisonActions actions);

    // "Compare with File…": a .par file chosen by the user.
    void CompareFileBtClick();
    // "Compare with Controller…": another connected slot chosen by the user.
    void CompareCtrlBtClick();

    // Write-all of `file` starts; when it ends, what it wrote is read back.
    void writeAllStarted(const ParameterImage &file);
    void writeAllEnded(const BatchWriteReport &report);

    bool busy() const { return m_busy; }

private:
    void verifyNext();
    void whenWhole(const QString &text, std::function<void(bool ok)> then);

    const ParameterImage &m_selected;
    SetupComparisonActions m_actions;
    ParameterImage m_file;
    bool m_fileKnown = false;
    bool m_busy = false;
    // The broadcast's verification, controller by controller.
    QList<ComparedSlot> m_pending;
    CompareReport m_broadcast;
    QStringList m_lines;
    bool m_allVerified = true;
};
