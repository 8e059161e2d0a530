#include "program/programfileactions.h"

#include "program/programfile.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>

namespace ProgramFileActions {

Outcome save(const RampSoakProgram &program)
{
    Outcome o;
    const QString path = ChooseFileToWrite(QStringLiteral("Write to File"), ProgramFile::Filter,
                                           ProgramFile::Extension);
    if (path.isEmpty())
        return o;
    o.chosen = true;
    o.fileName = QFileInfo(path).fileName();
    const QString failure = ProgramFile::write(path, program);
    o.ok = failure.isEmpty();
    o.message = o.ok
        ? ProgramFile::WriteDone
        : QStringLiteral("Can not save file %1 : %2").arg(QDir::toNativeSeparators(path), failure);
    return o;
}

Outcome open()
{
    Outcome o;
    const QString path = AppDialogs().chooseOpenFile(QStringLiteral("Open File"),
                                                     ProgramFile::Filter, ProgramFile::Extension);
    if (path.isEmpty())
        return o;
    o.chosen = true;
    o.fileName = QFileInfo(path).fileName();
    const ProgramFile::ReadResult file = ProgramFile::read(path);
    using Kind = ProgramFile::ReadResult::Kind;
    switch (file.kind) {
    case Kind::Ok:
        o.ok = true;
        o.program = file.program;
        o.message = ProgramFile::ReadDone;
        break;
    case Kind::Missing:
        o.message = ProgramFile::MissingFile;
        break;
    case Kind::Unreadable:
        o.message = QStringLiteral("Can not open file %1 : %2")
                        .arg(QDir::toNativeSeparators(path), file.reason);
        break;
    case Kind::DataLength:
        o.message = ProgramFile::DataLengthError;
        break;
    case Kind::BadToken:
        o.message = ProgramFile::BadTokenMessage(file.token);
        break;
    case Kind::OutOfRange:
        o.message = ProgramFile::OutOfRangeMessage(file.token);
        break;
    }
    return o;
}

} // namespace ProgramFileActions
