// A port the user may not open, seen as an unprivileged user: the box says
// why and what to do. Root ignores file permissions, so the test re-runs
// itself as user and group 65534 under setpriv.
#include "link/serialchannel.h"
#include "ptypeer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char ChildDirVar[] = "DUVA_PERMISSION_CHILD";

// As user 65534, in a directory whose COM1 leads to a device made by root.
void openAsTheChild()
{
    ASSERT_NE(::getuid(), 0u);
    SerialChannel channel;
    channel.setComNumber(1);
    try {
        channel.setOpen(true);
        ADD_FAILURE() << "the device was opened";
    } catch (const ChannelError &e) {
        EXPECT_EQ(e.code(), -13); // EACCES, not 2008: nobody else holds the port
        EXPECT_EQ(PortFailureText(e).toStdString(),
                  "Com port not exist\nCOM1 cannot be opened (Permission denied)\nTo use " +
                      qEnvironmentVariable("DUVA_PERMISSION_DEVICE").toStdString() +
                      " the user must be a member of the group \"" +
                      qEnvironmentVariable("DUVA_PERMISSION_GROUP").toStdString() +
                      "\": add the user to that group, then log in again.");
    }
    EXPECT_FALSE(channel.Open());
}

TEST(PortPermission, ADeviceTheUserMayNotOpenIsNamedWithItsGroup)
{
    if (qEnvironmentVariableIsSet(ChildDirVar)) {
        openAsTheChild();
        return;
    }
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to run the check as another user";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is missing";

    PtyPeer peer;
    ASSERT_TRUE(peer.isValid());
    struct stat device = {};
    ASSERT_EQ(::stat(QFile::encodeName(peer.device()).constData(), &device), 0);
    ASSERT_EQ(device.st_mode & 0006, 0u) << "others may use the pseudo-terminal";
    const struct group *owner = ::getgrgid(device.st_gid);
    ASSERT_NE(owner, nullptr);

    // A directory and a copy of this program that user 65534 can reach.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), open));
    const QString program = dir.filePath(QStringLiteral("child"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), program));
    ASSERT_TRUE(QFile::setPermissions(program, open));
    ASSERT_TRUE(QFile::link(peer.device(), dir.filePath(QStringLiteral("COM1"))));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(ChildDirVar), dir.path());
    env.insert(QStringLiteral("DUVA_PERMISSION_DEVICE"), peer.device());
    env.insert(QStringLiteral("DUVA_PERMISSION_GROUP"), QString::fromLocal8Bit(owner->gr_name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(dir.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv,
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                 QStringLiteral("--clear-groups"), program,
                 QStringLiteral("--gtest_filter=PortPermission.*")});
    ASSERT_TRUE(child.waitForStarted(10000));
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(5000);
        FAIL() << "the child did not finish";
    }
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

} // namespace
