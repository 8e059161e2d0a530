#pragma once

#include "link/modbusmode.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The one place that knows how a Modbus message looks on the line. A request
// is a value; a Framing wraps it into the bytes of its framing, unwraps a
// received frame, tells when a reply is complete as its bytes arrive, and
// gives the reply window for the line speed. Window code asks its Framing
// and never branches on ASCII or RTU itself.

// Function codes the program uses, and the flag of an exception reply.
constexpr int FnReadRegisters = 0x03;
constexpr int FnWriteRegister = 0x06;
constexpr int FnExceptionFlag = 0x80;

// The key written to the unlock register before a protected write.
constexpr int UnlockRegister = 0x472A;
constexpr int UnlockKey = 0x5AC3;

// A request as a value: slave address (0 broadcasts), function code and the
// bytes that follow the function code (register, count or value, ...).
struct ModbusRequest
{
    int address = 0;
    int function = 0;
    QByteArray data;

    bool isEmpty() const { return function == 0 && data.isEmpty(); }
    bool operator==(const ModbusRequest &) const = default;
};

// Read `count` holding registers from `reg`.
ModbusRequest ReadRequest(int address, int reg, int count);
// Write `value` to the single register `reg`.
ModbusRequest WriteRequest(int address, int reg, int value);

// A received frame taken apart. `address` is -1 when the frame does not even
// carry one (no start character, nothing received). `checksumOk` is true only
// for a frame that is whole: in ASCII the start character, upper-case hex
// pairs only, the LRC and CR LF; in RTU at least address, function and CRC,
// with a matching CRC. `data` holds the bytes between the function code and
// the check field.
struct UnwrappedFrame
{
    int address = -1;
    int function = -1;
    QByteArray data;
    bool checksumOk = false;
};

class Framing
{
public:
    // expectedLength() before the length of the reply is known.
    static constexpr int LengthUnknown = -1;
    // The RTU placeholder length until the function code and the third byte
    // are in: larger than any reply.
    static constexpr int RtuPlaceholderLength = 250;

    virtual ~Framing() = default;

    virtual ModbusMode mode() const = 0;

    // The bytes of the request on the line.
    virtual QByteArray wrap(const ModbusRequest &request) const = 0;
    // A received frame taken apart; never reads outside `frame`.
    virtual UnwrappedFrame unwrap(const QByteArray &frame) const = 0;

    // The length the reply will have, judged from the bytes received so far,
    // or LengthUnknown.
    virtual int expectedLength(const QByteArray &received) const = 0;
    // True when the bytes received are a complete reply.
    bool complete(const QByteArray &received) const
    {
        return !received.isEmpty() && expectedLength(received) == received.size();
    }
    // True when the end of the reply window ends a frame (RTU has no end
    // marker: the silence after the last byte ends it).
    virtual bool silenceEndsFrame() const = 0;
    // The byte every frame starts with, at which a receiver finds its place
    // again after garbage; -1 when frames have none.
    virtual int startMark() const { return -1; }
    // The reply window in channel ticks: the window's own time-out for text
    // frames, the short silence for the line speed for binary frames.
    virtual int replyTicks(int textWindowTicks, quint32 baud) const = 0;

    // Showing and editing frames as text (the command-test console).
    // The frame as the user sees it: ASCII text without CR LF, RTU in hex.
    virtual QString frameText(const QByteArray &frame) const = 0;
    // The check field of a wrapped request as shown: the LRC's two digits,
    // or the CRC's four, low byte first.
    virtual QString checkFieldText(const QByteArray &frame) const = 0;
    // The caption of the check field: "LRC" or "CRC".
    virtual QString checkFieldCaption() const = 0;
    // The bytes to send for a frame the user typed or edited: in ASCII the
    // text as it stands with CR LF; in RTU the hex pairs before the last four
    // digits (the shown CRC) with a freshly computed CRC, blanks between them
    // skipped. Nothing when the text cannot be sent as it stands; `problem`
    // then says why.
    virtual std::optional<QByteArray> frameFromText(const QString &text,
                                                    QString *problem = nullptr) const = 0;

    static const Framing &of(ModbusMode mode);
};

class AsciiFraming : public Framing
{
public:
    ModbusMode mode() const override { return ModbusMode::Ascii; }
    QByteArray wrap(const ModbusRequest &request) const override;
    UnwrappedFrame unwrap(const QByteArray &frame) const override;
    int expectedLength(const QByteArray &received) const override;
    bool silenceEndsFrame() const override { return false; }
    int startMark() const override { return ':'; }
    int replyTicks(int textWindowTicks, quint32) const override { return textWindowTicks; }
    QString frameText(const QByteArray &frame) const override;
    QString checkFieldText(const QByteArray &frame) const override;
    QString checkFieldCaption() const override { return QStringLiteral("LRC"); }
    std::optional<QByteArray> frameFromText(const QString &text,
                                            QString *problem = nullptr) const override;
};

class RtuFraming : public Framing
{
public:
    ModbusMode mode() const override { return ModbusMode::Rtu; }
    QByteArray wrap(const ModbusRequest &request) const override;
    UnwrappedFrame unwrap(const QByteArray &frame) const override;
    int expectedLength(const QByteArray &received) const override;
    bool silenceEndsFrame() const override { return true; }
    // Two ticks at 4800 bit/s and below, one above.
    int replyTicks(int, quint32 baud) const override { return baud <= 4800 ? 2 : 1; }
    QString frameText(const QByteArray &frame) const override;
    QString checkFieldText(const QByteArray &frame) const override;
    QString checkFieldCaption() const override { return QStringLiteral("CRC"); }
    std::optional<QByteArray> frameFromText(const QString &text,
                                            QString *problem = nullptr) const override;
};
