#include "link/errortexts.h"

namespace {

struct ErrorText
{
    int code;
    const char *monitor;
    const char *recorder;
};

// Blanks are part of the texts: most monitor texts end with one, the
// recorder's begin with one.
constexpr ErrorText errorTexts[] = {
    {1, "illegal function ", " illegal function "},
    {2, "illegal address ", " illegal address "},
    {3, "illegal data ", " illegal data "},
    {4, "illegal command ", " illegal command "},
    {11, "illegal frame ", " illegal frame "},
    {12, "too few data ", " too few data "},
    {13, "too many data ", " too many data "},
    {14, "illegal ASCII ", " illegal ASCII "},
    {ErrTimeout, "Time out", " received data TimeOut"},
    {ErrEchoMismatch, "Received data does not match", " Received data does not match"},
    {ErrWriteRefused, "Write data not successed", " Unknown error"},
};

const ErrorText *find(int code)
{
    for (const ErrorText &e : errorTexts) {
        if (e.code == code)
            return &e;
    }
    return nullptr;
}

} // namespace

QString MonitorErrorText(int code)
{
    if (code == ErrNone)
        return QString();
    const ErrorText *e = find(code);
    return QString::fromLatin1(e ? e->monitor : "Unknown error");
}

QString RecorderErrorText(int code)
{
    if (code == ErrNone)
        return QString();
    const ErrorText *e = find(code);
    return QString::fromLatin1(e ? e->recorder : " Unknown error");
}

int ReadExceptionResult(int exceptionCode)
{
    switch (exceptionCode) {
    case ErrNone:
    case ErrTimeout:
    case ErrEchoMismatch:
    case ErrWriteRefused:
        return ErrUnknownException;
    default:
        return exceptionCode;
    }
}
