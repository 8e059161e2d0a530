#include "link/errortexts.h"

namespace {

struct ErrorText
{
    int code;
    const char *monitor;
    const char *recorder;
};

// The exception codes with a text of their own. Blanks are part of the
// texts: most monitor texts end with one, the recorder's begin with one.
constexpr ErrorText exceptionTexts[] = {
    {1, "illegal function ", " illegal function "}, {2, "illegal address ", " illegal address "},
    {3, "illegal data ", " illegal data "},         {4, "illegal command ", " illegal command "},
    {11, "illegal frame ", " illegal frame "},      {12, "too few data ", " too few data "},
    {13, "too many data ", " too many data "},      {14, "illegal ASCII ", " illegal ASCII "},
};

const ErrorText *findException(int code)
{
    for (const ErrorText &e : exceptionTexts)
        if (e.code == code)
            return &e;
    return nullptr;
}

QString text(const TransactionResult &r, bool monitor)
{
    using Kind = TransactionResult::Kind;
    const char *s = "";
    switch (r.kind) {
    case Kind::Ok:
        return QString();
    case Kind::TimedOut:
        s = monitor ? "Time out" : " received data TimeOut";
        break;
    case Kind::Mismatch:
        s = monitor ? "Received data does not match" : " Received data does not match";
        break;
    case Kind::WriteRefused:
        s = monitor ? "Write data not successed" : " Unknown error";
        break;
    case Kind::Exception:
        if (const ErrorText *e = findException(r.exceptionCode))
            s = monitor ? e->monitor : e->recorder;
        else
            s = monitor ? "Unknown error" : " Unknown error";
        break;
    }
    return QString::fromLatin1(s);
}

} // namespace

QString MonitorErrorText(const TransactionResult &result)
{
    return text(result, true);
}

QString RecorderErrorText(const TransactionResult &result)
{
    return text(result, false);
}
