// The RTU frames and their CRC against an independent implementation: the
// libmodbus library builds the same requests and sends them on a
// pseudo-terminal, and the bytes must be ours.
#include "link/framing.h"
#include "ptypeer.h"

#include <gtest/gtest.h>
#include <modbus.h>

namespace {

QByteArray libmodbusFrame(const QString &device, const QByteArray &pdu)
{
    modbus_t *ctx = modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!ctx)
        return QByteArray();
    QByteArray sent;
    if (modbus_connect(ctx) == 0) {
        const int n = modbus_send_raw_request(
            ctx, reinterpret_cast<const uint8_t *>(pdu.constData()), int(pdu.size()));
        sent = n > 0 ? QByteArray("ok") : QByteArray();
        modbus_close(ctx);
    }
    modbus_free(ctx);
    return sent;
}

TEST(Libmodbus, BuildsTheSameRtuRequests)
{
    const struct
    {
        int address, function, reg, value;
    } requests[] = {
        {1, 0x03, 0x4700, 1},   {1, 0x03, 0x4744, 4},      {17, 0x03, 0x101C, 2},
        {247, 0x03, 0x4713, 8}, {1, 0x06, 0x472A, 0x5AC3}, {0, 0x06, 0x4701, 0xFFFB},
    };
    for (const auto &r : requests) {
        PtyPeer peer;
        ASSERT_TRUE(peer.isValid());
        QByteArray pdu;
        for (int b :
             {r.address, r.function, r.reg >> 8, r.reg & 0xFF, r.value >> 8, r.value & 0xFF})
            pdu.append(char(b));
        ASSERT_EQ(libmodbusFrame(peer.device(), pdu), "ok");
        const QByteArray theirs = peer.read(8, 2000);
        const QByteArray ours = r.function == 0x03
            ? RtuFraming().wrap(ReadRequest(r.address, r.reg, r.value))
            : RtuFraming().wrap(WriteRequest(r.address, r.reg, r.value));
        EXPECT_EQ(ours.toHex(' '), theirs.toHex(' ')) << r.reg;
    }
}

} // namespace
