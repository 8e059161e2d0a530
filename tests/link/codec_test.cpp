#include "link/errortexts.h"
#include "link/framing.h"
#include "link/hexcodec.h"
#include "link/replies.h"

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

const Framing &ascii = Framing::of(ModbusMode::Ascii);
const Framing &rtu = Framing::of(ModbusMode::Rtu);

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

TEST(Framing, RequestsInBothFramings)
{
    EXPECT_EQ(ascii.wrap(ReadRequest(1, 0x4700, 1)), ":010347000001B4\r\n");
    EXPECT_EQ(ascii.wrap(ReadRequest(1, 0x4744, 4)), ":0103474400046D\r\n");
    EXPECT_EQ(ascii.wrap(WriteRequest(1, 0x472A, 0x5AC3)), ":0106472A5AC36B\r\n");
    EXPECT_EQ(ascii.wrap(WriteRequest(0, 0x4700, 0xFFFF)), ":00064700FFFFB5\r\n");
    EXPECT_EQ(rtu.wrap(ReadRequest(1, 0x4700, 1)), hex("01034700000190BE"));
    EXPECT_EQ(rtu.wrap(WriteRequest(1, 0x472A, 0x5AC3)), hex("0106472A5AC3C647"));
}

TEST(Framing, CompletionAsBytesArrive)
{
    const struct
    {
        QByteArray rx;
        int expected;
    } cases[] = {
        {QByteArray(), Framing::LengthUnknown},
        {hex("01"), 250},
        {hex("0103"), 250},
        {hex("010304"), 9},
        {hex("010300"), 5},
        {hex("0106"), 250},
        {hex("010647"), 8},
        {hex("018302"), 5},
        {hex("018604"), 5},
        {hex("011000"), 250},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rtu.expectedLength(c.rx), c.expected) << c.rx.toHex().constData();
    EXPECT_TRUE(rtu.complete(hex("018302C0F1")));
    EXPECT_FALSE(rtu.complete(hex("018302C0")));
    EXPECT_FALSE(rtu.complete(hex("018302C0F100")));

    EXPECT_FALSE(ascii.complete(QByteArray()));
    EXPECT_FALSE(ascii.complete(":0103\r"));
    EXPECT_TRUE(ascii.complete(":0103\r\n"));

    // The reply window: the window's own for text, a short silence for RTU.
    EXPECT_EQ(ascii.replyTicks(36, 2400), 36);
    EXPECT_EQ(rtu.replyTicks(36, 2400), 2);
    EXPECT_EQ(rtu.replyTicks(36, 4800), 2);
    EXPECT_EQ(rtu.replyTicks(36, 9600), 1);
    EXPECT_EQ(rtu.replyTicks(9, 38400), 1);
}

Reply decode(const Framing &framing, const QByteArray &reply)
{
    return DecodeReply(framing, reply, QByteArray(), 1);
}

TEST(Replies, ReadRepliesAcceptedOnlyWhole)
{
    const QList<quint16> two = {0x0102, 0xFFFB};
    EXPECT_EQ(decode(ascii, ":0103040102FFFBFB\r\n").words, two);
    EXPECT_EQ(decode(rtu, hex("0103040102FFFB5A7C")).words, two);
    EXPECT_EQ(decode(ascii, ":0103020010EA\r\n").words, QList<quint16> {0x0010});
    EXPECT_EQ(decode(rtu, hex("0103020010B988")).words, QList<quint16> {0x0010});

    const QByteArray asciiBad[] = {
        ":010302FA00\r\n", // the LRC is missing: CR LF are no check digits
        ":010302000GEA\r\n", // not a hex digit
        ":0103020010ea\r\n", // lower case
        ":0103020010EB\r\n", // wrong LRC
        ":01030200FA\r\n", // one data byte short of its count
        ":010302001000EA\r\n", // one byte long
        ":0103020010EA\n", // the CR is lost
        ":0103030010EA\r\n", // an odd byte count
        ":0103\r\n",
    };
    for (const QByteArray &reply : asciiBad)
        EXPECT_EQ(decode(ascii, reply).kind, ReplyKind::BadChecksum) << reply.constData();
    const QByteArray rtuBad[] = {
        hex("0103020010B989"), // wrong CRC
        hex("01030200F0B8"), // one byte short
        hex("01030200100049B2"), // one byte long
        hex("010302"),
    };
    for (const QByteArray &reply : rtuBad)
        EXPECT_EQ(decode(rtu, reply).kind, ReplyKind::BadChecksum) << reply.toHex().constData();

    // Not our reply: another address or no start character; nothing at all.
    EXPECT_EQ(decode(ascii, ":0203020010E9\r\n").kind, ReplyKind::Ignored);
    EXPECT_EQ(decode(ascii, "0103020010EA\r\n").kind, ReplyKind::Ignored);
    EXPECT_EQ(decode(rtu, hex("0203020010")).kind, ReplyKind::Ignored);
    EXPECT_EQ(decode(rtu, QByteArray()).kind, ReplyKind::NoReply);
}

TEST(Replies, ExceptionRepliesAreCheckedLikeEveryOther)
{
    using R = TransactionResult;
    const struct
    {
        const Framing &framing;
        QByteArray reply;
        ReplyKind kind;
        R result;
    } cases[] = {
        {ascii, ":0183027A\r\n", ReplyKind::Failure, R::exception(2)},
        {rtu, hex("018302C0F1"), ReplyKind::Failure, R::exception(2)},
        {ascii, ":01860475\r\n", ReplyKind::Failure, R::writeRefused(4)},
        {rtu, hex("01860443A3"), ReplyKind::Failure, R::writeRefused(4)},
        // A corrupted byte must not turn into a false exception.
        {ascii, ":018302FF\r\n", ReplyKind::BadChecksum, R::ok()},
        {rtu, hex("018302C0F2"), ReplyKind::BadChecksum, R::ok()},
        {rtu, hex("0183"), ReplyKind::BadChecksum, R::ok()},
        // Codes that are also the program's own: still exceptions.
        {ascii, ":0183007C\r\n", ReplyKind::Failure, R::exception(0)},
        {rtu, hex("01830F0134"), ReplyKind::Failure, R::exception(15)},
    };
    for (const auto &c : cases) {
        const Reply r = decode(c.framing, c.reply);
        EXPECT_EQ(r.kind, c.kind) << c.reply.toHex().constData();
        EXPECT_EQ(r.result, c.result) << c.reply.toHex().constData();
    }
}

TEST(Replies, AReplyIsJudgedAgainstItsOwnRequest)
{
    const AsciiFraming ascii;
    const QByteArray read = ":010347000008AD\r\n"; // 8 registers from 0x4700
    // A damaged read reply whose function digits read "06": a bad checksum,
    // not a write echo that differs.
    EXPECT_EQ(DecodeReply(ascii, ":010602000AF1\r\n", read, 1).kind, ReplyKind::BadChecksum);
    // Whole, but two registers where eight were asked: not the reply.
    EXPECT_EQ(DecodeReply(ascii, ":01030400010002F5\r\n", read, 1).kind, ReplyKind::NotAsked);
    // Whole, a write's function to a read: not the reply either.
    EXPECT_EQ(DecodeReply(ascii, ":010602000AED\r\n", read, 1).kind, ReplyKind::NotAsked);
}

TEST(Replies, WriteEchoMustBeIdentical)
{
    const TransactionResult mismatch = TransactionResult::mismatch();
    const QByteArray request = ":0106472A5AC36B\r\n";
    EXPECT_EQ(DecodeReply(ascii, request, request, 1).kind, ReplyKind::WriteEcho);
    // Differing only in the LRC, or cut short: a mismatch.
    EXPECT_EQ(DecodeReply(ascii, ":0106472A5AC36C\r\n", request, 1).result, mismatch);
    EXPECT_EQ(DecodeReply(ascii, ":0106472A\r\n", request, 1).result, mismatch);
    const QByteArray rtuRequest = hex("0106472A5AC3C647");
    EXPECT_EQ(DecodeReply(rtu, rtuRequest, rtuRequest, 1).kind, ReplyKind::WriteEcho);
    EXPECT_EQ(DecodeReply(rtu, hex("0106472A5AC3C648"), rtuRequest, 1).result, mismatch);
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
            QByteArray r = QByteArray(1, 1);
            QByteArray a(":01");
            for (int i = 1; i < length; ++i) {
                r.append(static_cast<char>(next()));
                a.append("0123456789ABCDEF\r\n"[next() % 18]);
            }
            r.truncate(length);
            a.truncate(length);
            EXPECT_LE(decode(rtu, r).words.size() * 2 + 5, std::max<qsizetype>(r.size(), 5));
            EXPECT_LE(decode(ascii, a).words.size() * 4 + 9, std::max<qsizetype>(a.size(), 9));
        }
    }
}

TEST(ErrorTexts, EveryResultHasItsText)
{
    using R = TransactionResult;
    const struct
    {
        R result;
        const char *monitor;
        const char *recorder;
    } cases[] = {
        {R::ok(), "", ""},
        {R::timedOut(), "Time out", " received data TimeOut"},
        {R::mismatch(), "Received data does not match", " Received data does not match"},
        {R::writeRefused(), "Write data not successed", " Unknown error"},
        {R::exception(2), "illegal address ", " illegal address "},
        {R::exception(14), "illegal ASCII ", " illegal ASCII "},
        // Exception codes that are also the program's own results.
        {R::exception(0), "Unknown error", " Unknown error"},
        {R::exception(15), "Unknown error", " Unknown error"},
        {R::exception(30), "Unknown error", " Unknown error"},
        {R::exception(31), "Unknown error", " Unknown error"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MonitorErrorText(c.result), QString::fromLatin1(c.monitor)) << c.monitor;
        EXPECT_EQ(RecorderErrorText(c.result), QString::fromLatin1(c.recorder)) << c.recorder;
    }
}

} // namespace
