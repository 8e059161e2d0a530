#include "link/valueformat.h"

#include <gtest/gtest.h>

namespace {

TEST(ValueFormat, SignedIntFormat)
{
    const struct
    {
        int v;
        const char *text;
    } cases[] = {
        {0, "0"},         {1234, "1234"},    {32767, "32767"},
        {32768, "32768"}, {32769, "-32767"}, {65535, "-1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SignedIntFormat(c.v), QString::fromLatin1(c.text)) << c.v;
}

TEST(ValueFormat, TenthsFormatCutsAndSigns)
{
    const struct
    {
        int v;
        bool tenths;
        const char *text;
    } cases[] = {
        {0xFFFB, true, "-0.5"},   {1236, true, "123.6"}, {1236, false, "123"},
        {1239, false, "123"},     {0, true, "0.0"},      {32768, true, "3276.8"},
        {32769, true, "-3276.7"}, {65535, false, "-0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TenthsFormat(c.v, c.tenths), QString::fromLatin1(c.text)) << c.v;
}

TEST(ValueFormat, ScaledFormat)
{
    const struct
    {
        int v;
        int d;
        bool linear;
        const char *text;
    } cases[] = {
        {5, 2, false, "0.05"},
        {65531, 1, false, "-  0.5"},
        {255, 0, false, "26"},
        {255, 0, true, "255"},
        {254, 0, false, "25"},
        {1234, 1, false, "123.4"},
        {1234, 2, true, "12.34"},
        {1234, 3, true, "1.234"},
        {123, 3, true, "0.123"},
        {5, 3, true, "0.005"},
        {0, 1, false, "0.0"},
        {65413, 1, false, "- 12.3"}, // -123
        {-123, 1, false, "- 12.3"},
        {65535, 0, true, "-  1"}, // k = 1 + 2, two blanks
        {55536, 1, false, "-1000.0"}, // -10000: no room for blanks
        {32769, 0, true, "-32767"},
        {32768, 0, true, "32768"},
        {65534, 2, true, "- 0.02"},
        // A position no controller holds: the register as it is, and why.
        {1234, 65535, false, "1234 (decimal point 65535?)"},
        {65535, 4, true, "-1 (decimal point 4?)"},
        {7, -1, false, "7 (decimal point -1?)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ScaledFormat(c.v, c.d, c.linear), QString::fromLatin1(c.text))
            << c.v << " d=" << c.d;
}

TEST(ValueFormat, EntryToWord)
{
    const struct
    {
        const char *text;
        int d;
        const char *word;
    } cases[] = {
        {" -1.5", 1, "FFF1"}, {"12.345", 1, "007B"},
        {"12", 2, "04B0"},    {"", 0, "Err"},
        {"1a2", 0, "Err"},    {"   ", 0, "Err"},
        {"-", 1, "Err"},      {".", 0, "Err"},
        {"5.", 0, "0005"},    {".5", 1, "0005"},
        {"1.2.3", 2, "007B"}, // a second point changes nothing
        {"65535", 0, "FFFF"}, {"65536", 0, "0000"}, // only the low 16 bits survive
        {"70000", 0, "1170"}, {"99999999999999999999999", 0, "FFFF"},
        {"-0", 0, "0000"},    {"-32768", 0, "8000"},
        {"12 ", 0, "Err"},    {"- 5", 0, "Err"},
        {"+5", 0, "Err"},     {"1.99", 0, "0001"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(EntryToWord(QString::fromLatin1(c.text), c.d), QByteArray(c.word))
            << '"' << c.text << '"';
    EXPECT_TRUE(IsEntryError(EntryToWord(QStringLiteral("x"), 0)));
    EXPECT_FALSE(IsEntryError(EntryToWord(QStringLiteral("1"), 0)));
}

} // namespace
