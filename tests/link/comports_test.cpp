// COM port names: which device each COMn reaches, and the ports offered by
// the "Select Port" dialog. Nothing here opens a port.
#include "link/comports.h"
#include "ptypeer.h"
#include "tempworkdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ComPorts, PresentPortsAreNumberedUsbThenAcmThenBuiltInEachByNumber)
{
    const QStringList present = {"ttyS10", "ttyS1",   "ttyACM0", "ttyUSB10",
                                 "ttyS0",  "ttyAMA0", "ttyUSB2", "ttyS2"};
    const QStringList expected = {"ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0",
                                  "ttyS1",   "ttyS2",    "ttyS10",  "ttyAMA0"};
    EXPECT_EQ(orderedSerialPortNames(present), expected);
}

TEST(ComPorts, TheKernelsConsoleIsLeftOutOfTheNumbering)
{
    // console=ttyS0: COM1 must not be the login console.
    EXPECT_EQ(numberedSerialPortNames({"ttyS0", "ttyS1", "ttyUSB0"}, "tty0 ttyS0\n"),
              (QStringList {"ttyUSB0", "ttyS1"}));
}

class ComPortLinks : public ::testing::Test
{
protected:
    TemporaryWorkDir m_workDir;
};

TEST_F(ComPortLinks, ALinkInTheWorkingDirectoryDecides)
{
    // Links to ordinary files stand in for devices: nothing is opened.
    QTemporaryDir devices;
    ASSERT_TRUE(devices.isValid());
    const QString target = devices.filePath("ttyFAKE0");
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::link(devices.filePath("ttyFAKE0"), "COM2"));
    ASSERT_TRUE(QFile::link(devices.filePath("missing"), "COM1")); // leads nowhere
    ASSERT_TRUE(QFile::link(devices.filePath("missing"), "COM50"));
    ASSERT_TRUE(QFile::link(target, "COM51")); // beyond the dialog's range

    EXPECT_EQ(comPortDevice(2), QFileInfo(target).canonicalFilePath());
    // A link that leads nowhere is not replaced by a port present: COM1
    // would otherwise be the machine's first serial port.
    EXPECT_EQ(comPortDevice(1), QString());
    EXPECT_EQ(comPortDevice(0), QString());
    EXPECT_EQ(comPortDevice(51), QFileInfo(target).canonicalFilePath());

    const QStringList entries = comPortEntries();
    EXPECT_TRUE(entries.contains("COM2"));
    EXPECT_FALSE(entries.contains("COM1"));
    EXPECT_FALSE(entries.contains("COM50"));
    EXPECT_FALSE(entries.contains("COM51"));
    EXPECT_EQ(comPortEntries(3).filter("COM2").size(), 1);
}

TEST(ComPortBinding, ACOMNumberIsBoundToADeviceByItsLink)
{
    TemporaryWorkDir work;
    PtyPeer a, b;
    ASSERT_TRUE(a.isValid() && b.isValid());
    QString error;
    ASSERT_TRUE(bindComPort(3, a.device(), &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo("COM3").symLinkTarget(), a.device());
    EXPECT_EQ(comPortDevice(3), a.device());
    // Bound again: the link is replaced, never left missing.
    ASSERT_TRUE(bindComPort(3, b.device(), &error));
    EXPECT_EQ(comPortDevice(3), b.device());
    EXPECT_FALSE(QFileInfo::exists("COM3.new"));

    // Something the user put there is not replaced.
    QFile file("COM4");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(bindComPort(4, a.device(), &error));
    EXPECT_TRUE(error.startsWith("COM4 in ")) << error.toStdString();
    EXPECT_FALSE(QFileInfo("COM4").isSymLink());
}

TEST(ComPortBinding, StableNamesComeFromTheFolderOfLinks)
{
    TemporaryWorkDir work;
    PtyPeer a, b;
    QDir().mkdir("by-id");
    ASSERT_TRUE(QFile::link(a.device(), "by-id/usb-Maker_Adapter_A1B2C3-if00-port0"));
    EXPECT_EQ(QFileInfo(stableNameOf(a.device(), "by-id")).fileName(),
              "usb-Maker_Adapter_A1B2C3-if00-port0");
    EXPECT_TRUE(stableNameOf(b.device(), "by-id").isEmpty());
    EXPECT_TRUE(stableNameOf("/dev/no-such-device", "by-id").isEmpty());
}

} // namespace
