#include "setup/setupcomparison.h"

#include "setup/parameterfile.h"
#include "ui/dialogs.h"

#include <QFileInfo>

namespace {

const QString MessageTitle = QStringLiteral("Message");

void inform(const QString &text)
{
    AppDialogs().inform(MessageTitle, text);
}

} // namespace

SetupComparison::SetupComparison(const ParameterImage &selectedImage,
                                 SetupComparisonActions actions)
    : m_selected(selectedImage)
    , m_actions(std::move(actions))
{ }

void SetupComparison::CompareFileBtClick()
{
    const QString name = m_actions.selectedName ? m_actions.selectedName() : QString();
    if (name.isEmpty())
        return;
    const QString path = AppDialogs().chooseOpenFile(
        QStringLiteral("Compare with File"), ParameterFile::Filter, ParameterFile::Extension);
    if (path.isEmpty())
        return;
    const ParameterFile::ReadResult file = ParameterFile::read(path);
    if (file.kind != ParameterFile::ReadResult::Kind::Ok) {
        inform(ParameterFile::refusalText(file, path));
        return;
    }
    const QString fileName = QFileInfo(path).fileName();
    const ParameterImage image = file.image;
    whenWhole(QStringLiteral("Compare with File"), [this, name, fileName, image](bool ok) {
        if (!ok)
            return;
        const QList<int> entries = SetupCompare::ComparedEntries(image);
        if (m_actions.show)
            m_actions.show(SetupCompare::Report(
                QStringLiteral("%1 against %2").arg(name, fileName), QStringLiteral("Controller"),
                fileName, SetupCompare::Compare(m_selected, image, entries), int(entries.size())));
    });
}

void SetupComparison::whenWhole(const QString &text, std::function<void(bool)> then)
{
    if (m_actions.whenImageWhole)
        m_actions.whenImageWhole(text, std::move(then));
    else
        then(true);
}

void SetupComparison::CompareCtrlBtClick()
{
    if (m_busy || !m_actions.connectedSlots || !m_actions.readSetupOf)
        return;
    const QList<ComparedSlot> connected = m_actions.connectedSlots();
    if (connected.isEmpty())
        return;
    const QList<ComparedSlot> others = connected.mid(1);
    if (others.isEmpty()) {
        inform(QStringLiteral("No other controller is connected to compare with."));
        return;
    }
    QStringList items;
    for (const ComparedSlot &s : others)
        items << s.name;
    const int chosen = AppDialogs().chooseItem(
        QStringLiteral("Compare with Controller"),
        QStringLiteral("Compare %1 with:").arg(connected.first().name), items);
    if (chosen < 0 || chosen >= others.size())
        return;
    const ComparedSlot selected = connected.first();
    const ComparedSlot other = others.at(chosen);
    m_busy = true;
    // The selected controller's image is whole first, then the other is read.
    whenWhole(QStringLiteral("Compare with Controller"), [this, selected, other](bool whole) {
        if (!whole) {
            m_busy = false;
            return;
        }
        m_actions.readSetupOf(
            other.slot, [this, selected, other](bool ok, const ParameterImage &image) {
                m_busy = false;
                if (!ok) {
                    inform(QStringLiteral("%1 could not be read.").arg(other.name));
                    return;
                }
                const QList<int> entries = SetupCompare::ComparedEntries(m_selected);
                if (m_actions.show)
                    m_actions.show(SetupCompare::Report(
                        QStringLiteral("%1 against %2").arg(selected.name, other.name),
                        selected.name, other.name,
                        SetupCompare::Compare(m_selected, image, entries), int(entries.size())));
            });
    });
}

void SetupComparison::writeAllStarted(const ParameterImage &file)
{
    m_file = file;
    m_fileKnown = true;
}

void SetupComparison::writeAllEnded(const BatchWriteReport &report)
{
    if (!m_fileKnown || m_busy || !m_actions.readSetupOf)
        return;
    m_fileKnown = false;
    if (report.address == 0) {
        // A broadcast: every connected controller is read back in turn.
        m_pending = m_actions.connectedSlots ? m_actions.connectedSlots() : QList<ComparedSlot>();
        m_broadcast =
            SetupCompare::Report(QStringLiteral("Write to all controllers, read back"),
                                 QStringLiteral("Controller"), QStringLiteral("File"), {}, 0, true);
        m_broadcast.headers.prepend(QStringLiteral("Controller"));
        m_broadcast.headers[4] = QStringLiteral("Read back");
        m_lines.clear();
        m_allVerified = true;
        m_busy = true;
        verifyNext();
        return;
    }
    const int slot = m_actions.slotOfAddress ? m_actions.slotOfAddress(report.address) : 0;
    if (slot == 0)
        return; // gone: the incomplete write has been reported
    m_busy = true;
    const int address = report.address;
    m_actions.readSetupOf(slot, [this, address](bool ok, const ParameterImage &image) {
        m_busy = false;
        const QString title =
            QStringLiteral("The controller at address %1 after writing the file").arg(address);
        const QList<int> entries = SetupCompare::ComparedEntries(m_file);
        CompareReport r = SetupCompare::Report(
            title, QStringLiteral("Read back"), QStringLiteral("File"),
            ok ? SetupCompare::Compare(image, m_file, entries) : QList<ParameterDifference>(),
            int(entries.size()), true);
        if (!ok)
            r.summary = QStringLiteral("Not verified: the controller could not be read back");
        if (m_actions.show)
            m_actions.show(r);
    });
}

void SetupComparison::verifyNext()
{
    if (m_pending.isEmpty()) {
        m_busy = false;
        m_broadcast.summary = m_lines.join(QLatin1Char('\n'));
        if (m_actions.show)
            m_actions.show(m_broadcast);
        return;
    }
    const ComparedSlot slot = m_pending.takeFirst();
    m_actions.readSetupOf(slot.slot, [this, slot](bool ok, const ParameterImage &image) {
        const QList<int> entries = SetupCompare::ComparedEntries(m_file);
        if (!ok) {
            m_lines << QStringLiteral("%1: not verified, it could not be read back").arg(slot.name);
        } else {
            const QList<ParameterDifference> diffs = SetupCompare::Compare(image, m_file, entries);
            const CompareReport one = SetupCompare::Report(QString(), QString(), QString(), diffs,
                                                           int(entries.size()), true);
            m_lines << slot.name + QStringLiteral(": ") + one.summary;
            for (QStringList row : one.rows) {
                row.prepend(slot.name);
                m_broadcast.rows.append(row);
            }
        }
        verifyNext();
    });
}
