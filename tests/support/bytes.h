#pragma once

#include <QByteArray>
#include <initializer_list>

// A byte string from byte values, for writing RTU frames in tests.
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}
