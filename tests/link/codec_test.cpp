#include "errortexts.h"
#include "hexcodec.h"
#include "replies.h"
#include "requests.h"

#include "bytes.h"

#include <gtest/gtest.h>

namespace {

TEST(HexCodec, ByteToHexKeepsOnlyTheLowByte)
{
    const struct
    {
        int v;
        const char *hex;
    } cases[] = {
        {0, "00"}, {10, "0A"}, {255, "FF"}, {256, "00"}, {-1, "FF"}, {0x1234, "34"}, {0xAB, "AB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ByteToHex(c.v), QByteArray(c.hex)) << c.v;
}

TEST(HexCodec, HexPairToByteFollowsTheArithmeticRule)
{
    const struct
    {
        const char *pair;
        int value;
    } cases[] = {
        {"FF", 255}, {"00", 0}, {"7E", 126}, {"ff", 0}, {"1a", 58},
        {"a0", 0},   {"G0", 0}, {"0G", 16},  {" 1", 0}, {"1 ", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HexPairToByte(c.pair[0], c.pair[1]), c.value) << c.pair;
}

TEST(HexCodec, HexPairAtNeverReadsPastTheText)
{
    EXPECT_EQ(HexPairAt("AB", 0), 0xAB);
    EXPECT_EQ(HexPairAt("AB", 1), 128); // 11 * 16 + (NUL - 48)
    EXPECT_EQ(HexPairAt("AB", 2), 0);
    EXPECT_EQ(HexPairAt(QByteArray(), 0), 0);
}

TEST(HexCodec, LrcExamples)
{
    EXPECT_EQ(ModbusLrc(":010347000001"), "B4");
    EXPECT_EQ(ModbusLrc(":010347440004"), "6D");
    EXPECT_EQ(ModbusLrc(":"), "00"); // a sum of 0 gives "00"
    EXPECT_EQ(ModbusLrc(":FF01"), "00");
    EXPECT_EQ(ModbusLrc(":0106472A5AC3"), "6B");
}

TEST(HexCodec, CrcMatchesTheStandardCheckValue)
{
    EXPECT_EQ(ModbusCrc16Value("123456789"), 0x4B37);
    EXPECT_EQ(ModbusCrc16("123456789"), bytes({0x37, 0x4B}));
    EXPECT_EQ(ModbusCrc16Value(QByteArray()), 0xFFFF);
    EXPECT_EQ(ModbusCrc16(bytes({0x01, 0x03, 0x47, 0x00, 0x00, 0x01})), bytes({0x90, 0xBE}));
}

TEST(HexCodec, AsciiFrameToRtu)
{
    EXPECT_EQ(AsciiFrameToRtu(":010347000001B4\r\n"),
              bytes({0x01, 0x03, 0x47, 0x00, 0x00, 0x01, 0x90, 0xBE}));
    // Too short to hold any pair: only the CRC of nothing.
    EXPECT_EQ(AsciiFrameToRtu(":\r\n"), bytes({0xFF, 0xFF}));
    EXPECT_EQ(AsciiFrameToRtu(QByteArray()), bytes({0xFF, 0xFF}));
}

TEST(Requests, ReadAndWriteFramesInBothModes)
{
    EXPECT_EQ(AsciiReadRequest(1, 0x4700, 1), ":010347000001B4\r\n");
    EXPECT_EQ(AsciiReadRequest(1, 0x4744, 4), ":0103474400046D\r\n");
    EXPECT_EQ(AsciiReadRequest(0x11, 0x101C, 2),
              ":1103101C0002" + ModbusLrc(":1103101C0002") + "\r\n");
    EXPECT_EQ(BuildReadRequest(1, 0x4700, 1, ModbusMode::Rtu),
              bytes({0x01, 0x03, 0x47, 0x00, 0x00, 0x01, 0x90, 0xBE}));
    EXPECT_EQ(AsciiWriteRequest(1, 0x472A, 0x5AC3), ":0106472A5AC36B\r\n");
    const QByteArray rtu = BuildWriteRequest(1, 0x472A, 0x5AC3, ModbusMode::Rtu);
    EXPECT_EQ(rtu.left(6), bytes({0x01, 0x06, 0x47, 0x2A, 0x5A, 0xC3}));
    EXPECT_EQ(rtu.mid(6), ModbusCrc16(rtu.left(6)));
    EXPECT_EQ(BuildWriteRequest(0, 0x4700, 0xFFFF, ModbusMode::Ascii),
              ":00064700FFFF" + ModbusLrc(":00064700FFFF") + "\r\n");
}

TEST(Requests, RtuCompletionRule)
{
    const struct
    {
        QByteArray rx;
        int expected;
        bool complete;
    } cases[] = {
        {QByteArray(), 0, false},
        {bytes({0x01}), 250, false},
        {bytes({0x01, 0x03}), 250, false},
        {bytes({0x01, 0x03, 0x02}), 7, false},
        {bytes({0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84}), 7, true},
        {bytes({0x01, 0x06, 0x47}), 8, false},
        {bytes({0x01, 0x06, 0x47, 0x2A, 0x5A, 0xC3, 0x00, 0x00}), 8, true},
        {bytes({0x01, 0x83, 0x02, 0xC0, 0xF1}), 5, true},
        {bytes({0x01, 0x86, 0x01}), 5, false},
        {bytes({0x01, 0x10, 0x00}), 250, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(RtuExpectedLength(c.rx), c.expected) << c.rx.toHex().constData();
        EXPECT_EQ(ReplyComplete(c.rx, ModbusMode::Rtu), c.complete) << c.rx.toHex().constData();
    }
}

TEST(Requests, AsciiCompletionIsTheLineFeed)
{
    EXPECT_FALSE(ReplyComplete(QByteArray(), ModbusMode::Ascii));
    EXPECT_FALSE(ReplyComplete(":0103\r", ModbusMode::Ascii));
    EXPECT_TRUE(ReplyComplete(":0103\r\n", ModbusMode::Ascii));
    EXPECT_TRUE(ReplyComplete("\n", ModbusMode::Ascii));
}

// A read reply built the way a controller builds it.
QByteArray asciiReadReply(int address, const QList<int> &words)
{
    QByteArray body = ":" + ByteToHex(address) + "03" + ByteToHex(2 * int(words.size()));
    for (int w : words)
        body += ByteToHex(w >> 8) + ByteToHex(w);
    return FinishAsciiFrame(body);
}

QByteArray rtuReadReply(int address, const QList<int> &words)
{
    QByteArray body = bytes({address, 3, 2 * int(words.size())});
    for (int w : words)
        body += bytes({(w >> 8) & 0xFF, w & 0xFF});
    return body + ModbusCrc16(body);
}

TEST(Replies, AcceptedReadRepliesGiveTheirWords)
{
    const QList<int> words = {0x4456, 0x4848, 0x0000, 0xFFFB};
    const QList<quint16> expected = {0x4456, 0x4848, 0x0000, 0xFFFB};
    for (ModbusMode mode : {ModbusMode::Ascii, ModbusMode::Rtu}) {
        const QByteArray request = BuildReadRequest(7, 0x4744, 4, mode);
        const QByteArray reply =
            mode == ModbusMode::Ascii ? asciiReadReply(7, words) : rtuReadReply(7, words);
        const Reply r = DecodeReply(reply, request, 7, mode);
        EXPECT_EQ(r.kind, ReplyKind::Words);
        EXPECT_EQ(r.words, expected);
        EXPECT_EQ(r.errorCode, 0);
    }
}

TEST(Replies, ByteCountIsNotComparedWithTheQuantity)
{
    const QByteArray request = AsciiReadRequest(1, 0x4700, 4);
    const Reply r = DecodeReply(asciiReadReply(1, {5}), request, 1, ModbusMode::Ascii);
    EXPECT_EQ(r.kind, ReplyKind::Words);
    EXPECT_EQ(r.words, QList<quint16>({5}));
}

TEST(Replies, ForeignOrMalformedStartsAreIgnored)
{
    const QByteArray request = AsciiReadRequest(1, 0x4700, 1);
    const QByteArray good = asciiReadReply(1, {0x0102});
    QByteArray noColon = good;
    noColon[0] = ';';
    for (const QByteArray &reply :
         {asciiReadReply(2, {0x0102}), noColon, QByteArray(":"), QByteArray(":0"), QByteArray()})
        EXPECT_EQ(DecodeReply(reply, request, 1, ModbusMode::Ascii).kind, ReplyKind::Ignored)
            << reply.constData();

    const QByteArray rtuRequest = BuildReadRequest(1, 0x4700, 1, ModbusMode::Rtu);
    EXPECT_EQ(DecodeReply(rtuReadReply(2, {1}), rtuRequest, 1, ModbusMode::Rtu).kind,
              ReplyKind::Ignored);
    EXPECT_EQ(DecodeReply(QByteArray(), rtuRequest, 1, ModbusMode::Rtu).kind, ReplyKind::NoReply);
}

TEST(Replies, DamagedReadRepliesCountAsFailedChecksums)
{
    const QByteArray request = AsciiReadRequest(1, 0x4700, 2);
    const QByteArray good = asciiReadReply(1, {0x1234, 0x5678});
    QByteArray badLrc = good;
    badLrc[good.size() - 3] = badLrc[good.size() - 3] == '0' ? '1' : '0';
    QByteArray badData = good;
    badData[8] = 'F';
    // Claims 8 data bytes but carries 4: must not be read past its end.
    QByteArray longCount = good;
    longCount[5] = '0';
    longCount[6] = '8';
    // An odd byte count cannot hold whole words.
    const QByteArray odd = FinishAsciiFrame(":010303123456");
    const QByteArray cases[] = {badLrc,
                                badData,
                                longCount,
                                odd,
                                good.left(9),
                                QByteArray(":0103"),
                                QByteArray(":01"),
                                QByteArray(":01030")};
    for (const QByteArray &reply : cases) {
        const Reply r = DecodeReply(reply, request, 1, ModbusMode::Ascii);
        EXPECT_EQ(r.kind, ReplyKind::BadChecksum) << reply.constData();
        EXPECT_TRUE(r.words.isEmpty());
        EXPECT_EQ(r.errorCode, 0);
    }

    const QByteArray rtuRequest = BuildReadRequest(1, 0x4700, 2, ModbusMode::Rtu);
    const QByteArray rtuGood = rtuReadReply(1, {0x1234, 0x5678});
    QByteArray rtuBadCrc = rtuGood;
    rtuBadCrc[rtuGood.size() - 1] = static_cast<char>(rtuBadCrc.back() ^ 0x01);
    QByteArray rtuLongCount = rtuGood;
    rtuLongCount[2] = static_cast<char>(0xFE);
    QByteArray rtuOdd = bytes({1, 3, 3, 1, 2, 3});
    rtuOdd += ModbusCrc16(rtuOdd);
    const QByteArray rtuCases[] = {rtuBadCrc,       rtuLongCount, rtuOdd,
                                   rtuGood.left(6), bytes({1}),   bytes({1, 3})};
    for (const QByteArray &reply : rtuCases) {
        const Reply r = DecodeReply(reply, rtuRequest, 1, ModbusMode::Rtu);
        EXPECT_EQ(r.kind, ReplyKind::BadChecksum) << reply.toHex().constData();
        EXPECT_TRUE(r.words.isEmpty());
    }
}

TEST(Replies, GarbageOfEveryLengthDecodesWithinBounds)
{
    // Random frames with the right address: whatever they say, the decoder
    // stays inside them (the sanitizer build proves it) and yields whole words.
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245 + 12345;
        return int((seed >> 16) & 0xFF);
    };
    for (int length = 0; length < 64; ++length) {
        for (int round = 0; round < 50; ++round) {
            QByteArray rtu = bytes({1});
            QByteArray ascii(":01");
            for (int i = 1; i < length; ++i) {
                rtu.append(static_cast<char>(next()));
                ascii.append("0123456789ABCDEF"[next() % 16]);
            }
            rtu.truncate(length);
            ascii.truncate(length);
            const Reply a = DecodeReply(rtu, QByteArray(), 1, ModbusMode::Rtu);
            const Reply b = DecodeReply(ascii, QByteArray(), 1, ModbusMode::Ascii);
            EXPECT_LE(a.words.size() * 2 + 5, std::max<qsizetype>(rtu.size(), 5));
            EXPECT_LE(b.words.size() * 4 + 9, std::max<qsizetype>(ascii.size(), 9));
        }
    }
}

TEST(Replies, WriteEchoMustBeIdentical)
{
    for (ModbusMode mode : {ModbusMode::Ascii, ModbusMode::Rtu}) {
        const QByteArray request = BuildWriteRequest(1, 0x4700, 0x0123, mode);
        EXPECT_EQ(DecodeReply(request, request, 1, mode).kind, ReplyKind::WriteEcho);
        QByteArray changed = request;
        changed[changed.size() - 3] = static_cast<char>(changed[changed.size() - 3] ^ 0x01);
        const Reply r = DecodeReply(changed, request, 1, mode);
        EXPECT_EQ(r.kind, ReplyKind::Failure);
        EXPECT_EQ(r.errorCode, ErrEchoMismatch);
        EXPECT_EQ(MonitorErrorText(r.errorCode), "Received data does not match");
    }
    // An echo that differs only in its LRC characters.
    const QByteArray request = AsciiWriteRequest(1, 0x4700, 0x0123);
    QByteArray wrongLrc = request;
    wrongLrc[request.size() - 4] = 'F';
    wrongLrc[request.size() - 3] = 'F';
    EXPECT_EQ(DecodeReply(wrongLrc, request, 1, ModbusMode::Ascii).errorCode, ErrEchoMismatch);
    // A truncated echo.
    EXPECT_EQ(DecodeReply(request.left(9), request, 1, ModbusMode::Ascii).errorCode,
              ErrEchoMismatch);
}

TEST(Replies, ExceptionRepliesGiveTheirCodes)
{
    struct Case
    {
        QByteArray reply;
        ModbusMode mode;
        int code;
        const char *monitor;
        const char *recorder;
    };
    const QByteArray rtu83 = bytes({1, 0x83, 2}) + ModbusCrc16(bytes({1, 0x83, 2}));
    const QByteArray rtu86 = bytes({1, 0x86, 4}) + ModbusCrc16(bytes({1, 0x86, 4}));
    const Case cases[] = {
        {rtu83, ModbusMode::Rtu, 2, "illegal address ", " illegal address "},
        {rtu86, ModbusMode::Rtu, 31, "Write data not successed", " Unknown error"},
        {FinishAsciiFrame(":018301"), ModbusMode::Ascii, 1, "illegal function ",
         " illegal function "},
        {FinishAsciiFrame(":018303"), ModbusMode::Ascii, 3, "illegal data ", " illegal data "},
        {FinishAsciiFrame(":018304"), ModbusMode::Ascii, 4, "illegal command ",
         " illegal command "},
        {FinishAsciiFrame(":01830B"), ModbusMode::Ascii, 11, "illegal frame ", " illegal frame "},
        {FinishAsciiFrame(":01830C"), ModbusMode::Ascii, 12, "too few data ", " too few data "},
        {FinishAsciiFrame(":01830D"), ModbusMode::Ascii, 13, "too many data ", " too many data "},
        {FinishAsciiFrame(":01830E"), ModbusMode::Ascii, 14, "illegal ASCII ", " illegal ASCII "},
        {FinishAsciiFrame(":018306"), ModbusMode::Ascii, 6, "Unknown error", " Unknown error"},
        {FinishAsciiFrame(":018602"), ModbusMode::Ascii, 31, "Write data not successed",
         " Unknown error"},
    };
    for (const Case &c : cases) {
        const Reply r = DecodeReply(c.reply, QByteArray(), 1, c.mode);
        EXPECT_EQ(r.kind, ReplyKind::Failure) << c.reply.toHex().constData();
        EXPECT_EQ(r.errorCode, c.code) << c.reply.toHex().constData();
        EXPECT_EQ(MonitorErrorText(r.errorCode), QString::fromLatin1(c.monitor));
        EXPECT_EQ(RecorderErrorText(r.errorCode), QString::fromLatin1(c.recorder));
    }
    // An 83 reply cut before its exception code carries no code.
    EXPECT_EQ(DecodeReply(bytes({1, 0x83}), QByteArray(), 1, ModbusMode::Rtu).kind,
              ReplyKind::BadChecksum);
    EXPECT_EQ(DecodeReply(":0183", QByteArray(), 1, ModbusMode::Ascii).kind,
              ReplyKind::BadChecksum);
}

TEST(Replies, OtherFunctionsAreRecognisedAsSuch)
{
    const Reply r =
        DecodeReply(FinishAsciiFrame(":0110470000010"), QByteArray(), 1, ModbusMode::Ascii);
    EXPECT_EQ(r.kind, ReplyKind::OtherFunction);
    EXPECT_EQ(r.function, 0x10);
}

TEST(ErrorTexts, TimeoutAndNoError)
{
    EXPECT_EQ(MonitorErrorText(0), QString());
    EXPECT_EQ(RecorderErrorText(0), QString());
    EXPECT_EQ(MonitorErrorText(15), "Time out");
    EXPECT_EQ(RecorderErrorText(15), " received data TimeOut");
    EXPECT_EQ(RecorderErrorText(30), " Received data does not match");
    EXPECT_EQ(MonitorErrorText(99), "Unknown error");
}

} // namespace
