#pragma once

#include "modbusmode.h"

#include <QByteArray>
#include <QList>

// What a received frame turned out to be, after the checks every talking
// window applies to the reply of its request.
enum class ReplyKind {
    NoReply, // RTU: nothing arrived before the silence ended the frame
    Ignored, // wrong start character or wrong address: not our reply
    BadChecksum, // ours, but damaged or cut short: no words, no code
    Words, // an accepted read reply
    WriteEcho, // a write answered with an identical echo
    Failure, // exception reply or echo mismatch: see errorCode
    OtherFunction, // a function the program never asks for
};

struct Reply
{
    ReplyKind kind = ReplyKind::NoReply;
    int function = -1; // the function byte, when one was received
    int errorCode = 0; // error code of the failure (see errortexts.h)
    QList<quint16> words; // the data words of an accepted read reply
};

// Checks a reply frame against the request it answers. `address` is the
// address the request went to; `request` is the frame exactly as it was sent
// (write echoes are compared with it byte for byte). Reads only the bytes
// of `reply`.
Reply DecodeReply(const QByteArray &reply, const QByteArray &request, int address, ModbusMode mode);
