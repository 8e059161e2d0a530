#pragma once

#include "link/errortexts.h"
#include "link/framing.h"

#include <QByteArray>
#include <QList>

// What a received frame turned out to be, after the checks every talking
// window applies to the reply of its request. Each window decides what a
// kind means to it.
enum class ReplyKind {
    NoReply, // nothing arrived before the reply window ended
    Ignored, // wrong start character or wrong address: not our reply
    BadChecksum, // ours, but damaged, malformed or cut short: no words, no code
    Words, // an accepted read reply
    WriteEcho, // a write answered with an identical echo
    Failure, // exception reply or echo mismatch: see result
    OtherFunction, // a function the program never asks for
    NotAsked, // whole and ours, but not what the request asked: another
              // function, or another number of registers
};

struct Reply
{
    ReplyKind kind = ReplyKind::NoReply;
    int function = -1; // the function byte, when one was received
    TransactionResult result; // of a failure
    QList<quint16> words; // the data words of an accepted read reply
};

// Checks a reply frame against the request it answers, once for both
// framings. `address` is the address the request went to; `request` is the
// frame exactly as it was sent (a write echo must equal it byte for byte).
// Exception replies are accepted only with a good check field. When the
// request is a read or a write, the reply must be of its function (or its
// exception), and a read's reply must carry exactly the registers asked;
// the echo rule applies only to the reply of a write.
Reply DecodeReply(const Framing &framing, const QByteArray &reply, const QByteArray &request,
                  int address);

// A one-line reading of a request for people: the address ("broadcast"
// for 0), a read's start register and count, a write's register and value;
// a broadcast adds "no reply expected (broadcast)".
QString DescribeRequest(const Framing &framing, const QByteArray &request);

// A one-line reading of a reply for people: the function, the registers
// read (from the request's start register, in hex and decimal), the echo of
// a write, an exception by its text, or "bad checksum". Empty for nothing
// received. Reads only the bytes given.
QString DescribeReply(const Framing &framing, const QByteArray &reply, const QByteArray &request);
