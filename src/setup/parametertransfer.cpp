#include "setup/parametertransfer.h"

#include "setup/parameterfile.h"
#include "setup/setupview.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString MessageTitle = QStringLiteral("Message");

QString fileShown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString describeAll(const QList<RegisterWrite> &writes)
{
    QStringList lines;
    for (const RegisterWrite &w : writes)
        lines << WriteAll::describe(w.reg);
    lines.removeDuplicates();
    return lines.join(QLatin1Char('\n'));
}

} // namespace

const QString ParameterTransfer::WriteOneCaption = QStringLiteral("Write to the controller");
const QString ParameterTransfer::WriteAllCaption = QStringLiteral("Write to all controller");

ParameterTransfer::ParameterTransfer(const ParameterImage &image, SetupViewLogic &view,
                                     ParameterTransferActions actions)
    : m_image(image)
    , m_view(view)
    , m_actions(std::move(actions))
{ }

void ParameterTransfer::SaveBtClick()
{
    if (m_actions.requestSave)
        m_actions.requestSave();
}

void ParameterTransfer::saveFile()
{
    const QString path = ChooseFileToWrite(QStringLiteral("Save to File"), ParameterFile::Filter,
                                           ParameterFile::Extension);
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    // What the image holds now: the engine sends nothing while this runs.
    const QString failure = ParameterFile::write(path, m_image);
    if (!failure.isEmpty()) {
        AppDialogs().inform(
            MessageTitle,
            QStringLiteral("Can not save file %1 : %2").arg(fileShown(path), failure));
        return;
    }
    AppDialogs().inform(MessageTitle, QStringLiteral("Write parameters to file successed"));
}

void ParameterTransfer::refuseFile(const QString &message)
{
    if (!message.isEmpty())
        AppDialogs().inform(MessageTitle, message);
    if (m_actions.closeFile)
        m_actions.closeFile();
}

void ParameterTransfer::OpenBtClick()
{
    const QString path = AppDialogs().chooseOpenFile(
        QStringLiteral("Open File"), ParameterFile::Filter, ParameterFile::Extension);
    if (path.isEmpty()) {
        refuseFile(QString());
        return;
    }
    const ParameterFile::ReadResult file = ParameterFile::read(path);
    if (file.kind != ParameterFile::ReadResult::Kind::Ok) {
        refuseFile(ParameterFile::refusalText(file, path));
        return;
    }
    if (m_actions.loadFile)
        m_actions.loadFile(file.image);
    m_view.showFileLoaded();
}

void ParameterTransfer::LoadBtClick()
{
    m_view.showFileClosed();
    if (m_actions.closeFile)
        m_actions.closeFile();
}

void ParameterTransfer::WriteBtClick(bool all)
{
    if (all && m_actions.broadcastCarried && !m_actions.broadcastCarried()) {
        AppDialogs().inform(MessageTitle,
                            QStringLiteral("Write to all not started: the Modbus TCP gateway "
                                           "does not pass a broadcast (address 0) on to the "
                                           "controllers. Write the file to each controller "
                                           "instead."));
        return;
    }
    m_view.showWriteStarted(all ? WriteAllCaption : WriteOneCaption);
    const bool started =
        m_actions.startWriteAll && m_actions.startWriteAll(WriteAll::steps(m_image), all);
    if (started)
        return;
    // Nothing went out: the file stays loaded, its panel offered again.
    m_view.showWriteEnded();
    m_view.showFileLoaded();
    AppDialogs().inform(MessageTitle,
                        QStringLiteral("Write not started: the selected controller is not "
                                       "connected."));
}

void ParameterTransfer::writeProgress(int percent)
{
    m_view.showWriteProgress(percent);
}

void ParameterTransfer::writeEnded(const BatchWriteReport &report)
{
    m_view.showWriteEnded();
    QString text;
    if (!report.complete) {
        text =
            QStringLiteral("Write to the controller at address %1 is incomplete: %2.")
                .arg(report.address)
                .arg(report.why.isEmpty() ? QStringLiteral("the controller is no longer connected")
                                          : report.why);
        if (!report.notWritten.isEmpty())
            text += QStringLiteral("\nNot written:\n") + describeAll(report.notWritten);
    } else if (!report.notWritten.isEmpty()) {
        text = QStringLiteral("The controller did not take these parameters:\n") +
            describeAll(report.notWritten);
    }
    if (text.isEmpty())
        return;
    auto show = [text] { AppDialogs().inform(MessageTitle, text); };
    if (m_actions.post)
        m_actions.post(show);
    else
        show();
}
