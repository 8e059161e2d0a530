#pragma once

#include <QString>

// Result codes of a transaction. Exception replies to reads carry their
// exception code as the result code (1..4, 11..14, others unknown).
constexpr int ErrNone = 0;
constexpr int ErrTimeout = 15;
constexpr int ErrEchoMismatch = 30;
constexpr int ErrWriteRefused = 31;
// An exception code that would read as one of the program's own results
// (0 would pass for success, 15 for a time-out, 30 and 31 for write faults)
// is reported as this one, an unknown exception.
constexpr int ErrUnknownException = 255;

// The result code of an exception reply to a read carrying `exceptionCode`.
int ReadExceptionResult(int exceptionCode);

// The text the monitor window shows for a result code ("" for 0).
QString MonitorErrorText(int code);

// The text the recorder shows for a result code ("" for 0).
QString RecorderErrorText(int code);
