#pragma once

#include <QString>

// The result of a transaction, as a kind and, for an exception reply to a
// read, the exception code it carried. An exception code never passes for
// one of the program's own results (success, time-out, write faults).
struct TransactionResult
{
    enum class Kind {
        Ok,
        TimedOut, // no complete reply within the time-out (code 15)
        Mismatch, // a write echo that differs, or bad replies in a row (code 30)
        WriteRefused, // an exception reply to a write (code 31)
        Exception, // an exception reply to a read, with its exception code
    };
    Kind kind = Kind::Ok;
    int exceptionCode = 0;

    static TransactionResult ok() { return {}; }
    static TransactionResult timedOut() { return {Kind::TimedOut, 0}; }
    static TransactionResult mismatch() { return {Kind::Mismatch, 0}; }
    // `code` is the exception code the refusal carried, 0 when unknown.
    static TransactionResult writeRefused(int code = 0) { return {Kind::WriteRefused, code}; }
    static TransactionResult exception(int code) { return {Kind::Exception, code}; }

    bool isError() const { return kind != Kind::Ok; }
    // A write that failed for good: refused or mismatched.
    bool writeFailed() const { return kind == Kind::Mismatch || kind == Kind::WriteRefused; }
    bool operator==(const TransactionResult &) const = default;
};

// The text the monitor window shows for a result ("" for success).
QString MonitorErrorText(const TransactionResult &result);

// The text the recorder shows for a result ("" for success).
QString RecorderErrorText(const TransactionResult &result);
