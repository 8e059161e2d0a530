// The parameter file's bytes and its checks, and the steps of write-all.
#include "setup/parameterfile.h"
#include "setup/writeall.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A file as another copy of the program wrote it: model 0x4824, SV 1000
// (E8 03), KP 123 (7B 00), input type 3, firmware 1.10, id words.
QByteArray peerFile()
{
    QByteArray b(1028, '\0');
    const QByteArray head = QByteArray::fromHex("24480000"
                                                "e8030000");
    b.replace(0, head.size(), head);
    b.replace(12 * 4, 4, QByteArray::fromHex("7b000000"));
    b.replace(24 * 4, 4, QByteArray::fromHex("03000000"));
    b.replace(252 * 4, 16,
              QByteArray::fromHex("01000000"
                                  "10000000"
                                  "34120000"
                                  "ffff0000"));
    return b;
}

QByteArray entryBytes(quint32 value)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((value >> (8 * i)) & 0xFF);
    return b;
}

TEST(ParameterFile, ReadsAndWritesTheLayoutByteForByte)
{
    const auto image = ParameterFile::decode(peerFile());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->at(0), 0x4824);
    EXPECT_EQ(image->at(1), 1000);
    EXPECT_EQ(image->at(12), 123);
    EXPECT_EQ(image->at(24), 3);
    EXPECT_EQ(image->at(253), 0x10);
    EXPECT_EQ(image->at(254), 0x1234);
    EXPECT_EQ(image->at(255), 0xFFFF);
    EXPECT_EQ(ParameterFile::encode(*image), peerFile());

    // Through the disk: written, read back and written again, identical.
    QTemporaryDir dir;
    const QString a = dir.filePath("a.par");
    const QString b = dir.filePath("b.par");
    ASSERT_EQ(ParameterFile::write(a, *image), QString());
    const ParameterFile::ReadResult back = ParameterFile::read(a);
    ASSERT_EQ(back.kind, ParameterFile::ReadResult::Kind::Ok);
    ASSERT_EQ(ParameterFile::write(b, back.image), QString());
    QFile fa(a), fb(b);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    const QByteArray bytes = fa.readAll();
    EXPECT_EQ(bytes, peerFile());
    EXPECT_EQ(fb.readAll(), bytes);
}

TEST(ParameterFile, RefusesWhatIsNotAParameterFile)
{
    const QByteArray good = peerFile();
    QList<std::pair<const char *, QByteArray>> bad;
    bad.append({"1027 bytes", good.left(1027)});
    bad.append({"1029 bytes", good + '\0'});
    bad.append({"empty", QByteArray()});
    QByteArray model = good;
    model.replace(0, 4, entryBytes(0x4825));
    bad.append({"model 0x4825", model});
    QByteArray alias = good;
    alias.replace(0, 4, entryBytes(0x3432));
    bad.append({"model 0x3432", alias});
    QByteArray big = good;
    big.replace(5 * 4, 4, entryBytes(0x10000));
    bad.append({"entry above 65535", big});
    QByteArray negative = good;
    negative.replace(256 * 4, 4, entryBytes(0xFFFFFFFF));
    bad.append({"negative entry", negative});
    for (const auto &[what, bytes] : bad)
        EXPECT_FALSE(ParameterFile::decode(bytes)) << what;

    for (int code : {0x4848, 0x4896, 0x9696}) {
        QByteArray other = good;
        other.replace(0, 4, entryBytes(quint32(code)));
        EXPECT_TRUE(ParameterFile::decode(other)) << code;
    }

    QTemporaryDir dir;
    // Otherwise valid, but its decimal point position is 65535: refused,
    // saying which entry.
    QByteArray point = good;
    point.replace(37 * 4, 4, entryBytes(0xFFFF));
    QFile pf(dir.filePath("point.par"));
    ASSERT_TRUE(pf.open(QIODevice::WriteOnly));
    pf.write(point);
    pf.close();
    const ParameterFile::ReadResult r = ParameterFile::read(pf.fileName());
    EXPECT_EQ(r.kind, ParameterFile::ReadResult::Kind::Invalid);
    EXPECT_EQ(ParameterFile::refusalText(r, pf.fileName()),
              "Incorrect DUVA parameters data!\nEntry 37 (decimal point position, 0x4725) is "
              "65535; it holds 0 to 3.");
    EXPECT_EQ(ParameterFile::read(dir.filePath("none.par")).kind,
              ParameterFile::ReadResult::Kind::Missing);
    QFile f(dir.filePath("short.par"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(good.left(1027));
    f.close();
    EXPECT_EQ(ParameterFile::read(f.fileName()).kind, ParameterFile::ReadResult::Kind::Invalid);
}

TEST(ParameterFile, AFailedSaveSaysWhy)
{
    QTemporaryDir dir;
    EXPECT_FALSE(
        ParameterFile::write(dir.filePath("no/such/dir/x.par"), ParameterImage()).isEmpty());
}

// The registers write-all writes, in order, as the line shows them.
QStringList registers(const QList<RegisterWrite> &writes)
{
    QStringList out;
    for (const RegisterWrite &w : writes)
        out << QStringLiteral("%1=%2")
                   .arg(w.reg, 4, 16, QLatin1Char('0'))
                   .arg(w.value, 4, 16, QLatin1Char('0'))
                   .toUpper();
    return out;
}

TEST(WriteAll, StepsFollowTheControlMode)
{
    ParameterImage image;
    for (int n = 1; n <= 39; ++n)
        image[n] = 0x100 + n; // each entry tells where it came from
    image[23] = 0x0110; // on-line configuration bit 0 clear
    image[25] = 2; // manual: every step
    const QStringList manual = registers(WriteAll::steps(image));
    const QStringList expected = {
        "4726=0001", "4717=0111", "4718=0118", "4719=0002", "471A=011A", "471B=011B", "471C=011C",
        "471D=011D", "471E=011E", "471F=011F", "4720=0120", "4721=0121", "4722=0122", "4723=0123",
        "4724=0124", "4725=0125", "4701=0101", "4702=0102", "4703=0103", "4704=0104", "4705=0105",
        "4706=0106", "4707=0107", "4708=0108", "4709=0109", "470A=010A", "470B=010B", "470C=010C",
        "470D=010D", "470E=010E", "470F=010F", "4710=0110", "4711=0111", "4712=0112", "4713=0113",
        "4714=0114", "4715=0115", "4716=0116", "101C=0126", "101D=0127", "4726=0000"};
    EXPECT_EQ(manual, expected);

    // PID and on/off skip the output levels; program control the SV too.
    for (int mode : {0, 1}) {
        image[25] = mode;
        const QList<RegisterWrite> w = WriteAll::steps(image);
        ASSERT_EQ(w.size(), 39) << mode;
        EXPECT_EQ(w.at(16).reg, 0x4701);
        EXPECT_EQ(w.at(17).reg, 0x4704);
        EXPECT_EQ(w.at(17).step, 19);
    }
    image[25] = 3;
    image[23] = 0x0001;
    const QList<RegisterWrite> program = WriteAll::steps(image);
    ASSERT_EQ(program.size(), 38);
    EXPECT_EQ(program.at(16).reg, 0x4704);
    EXPECT_EQ(program.at(1).value, 0x0001);
    EXPECT_EQ(program.last().value, 0x0001);
    EXPECT_EQ(program.last().step, 40);
}

TEST(WriteAll, GaugeAndNames)
{
    EXPECT_EQ(WriteAll::percentAfter(0), 2);
    EXPECT_EQ(WriteAll::percentAfter(19), 50);
    EXPECT_EQ(WriteAll::percentAfter(39), 100);
    EXPECT_EQ(WriteAll::describe(0x4718), "P3-1 Input Type (0x4718)");
    EXPECT_EQ(WriteAll::describe(0x101C), "P1-2 PID Parameters Group (0x101C)");
    EXPECT_EQ(WriteAll::describe(0x4717),
              "P3-12 on-line configuration, bit 0 (1 = enabled) (0x4717)");
}

} // namespace
