#pragma once

#include <QList>
#include <QtGlobal>

#include <array>

// The image of the selected controller's setup: 257 signed 32-bit entries,
// numbered 0 to 256, each holding one register value 0 to 65535. The setup
// view shows it, write-all sends it and the parameter file stores it byte
// for byte.
class ParameterImage
{
public:
    static constexpr int Size = 257;

    // Entry layout.
    static constexpr int ModelEntry = 0; // 0x4746
    static constexpr int FirstRegisterEntry = 1; // 0x4701 ...
    static constexpr int LastRegisterEntry = 37; // ... 0x4725
    // Entries the program reads by name.
    static constexpr int OnlineConfigWordEntry = 23; // 0x4717
    static constexpr int InputTypeEntry = 24; // 0x4718
    static constexpr int ControlModeEntry = 25; // 0x4719
    static constexpr int LockEntry = 30; // 0x471E
    static constexpr int UnitEntry = 36; // 0x4724
    static constexpr int DecimalPointEntry = 37; // 0x4725
    static constexpr int PidGroupEntry = 38; // 0x101C
    static constexpr int PidTargetEntry = 39; // 0x101D
    static constexpr int FirstReservedEntry = 40; // 40 to 251: zero
    static constexpr int LastReservedEntry = 251;
    static constexpr int FirmwareMajorEntry = 252; // high byte of 0x472A
    static constexpr int FirmwareMinorEntry = 253; // low byte of 0x472A
    static constexpr int Identification2Entry = 254; // 0x4747, stored only
    static constexpr int Identification1Entry = 255; // 0x4744, stored only
    static constexpr int LastEntry = 256; // reserved, zero

    // The register an entry holds (0x4746 for entry 0); -1 for the reserved
    // entries and for the two firmware bytes.
    static int registerOfEntry(int entry);
    // The entry that holds a register; -1 when none (0x472A fills two
    // entries, see setFirmware).
    static int entryOfRegister(int address);

    qint32 at(int entry) const { return m_entries.at(entry); }
    qint32 &operator[](int entry) { return m_entries.at(entry); }
    qint32 operator[](int entry) const { return m_entries.at(entry); }

    // Stores the register's value in its entry; false (nothing stored) when
    // the register has no entry. A model code 0x3432 is stored as 0x4824.
    bool setRegister(int address, quint16 value);
    // Stores the words of a block read from `start` into the entries of the
    // registers that have one; returns how many were stored.
    int setBlock(int start, const QList<quint16> &words);
    // The firmware version word 0x472A: major (high byte) into entry 252,
    // minor (low byte) into 253.
    void setFirmware(quint16 word);
    quint16 firmwareWord() const;

    void clear() { m_entries.fill(0); }
    const std::array<qint32, Size> &entries() const { return m_entries; }

private:
    std::array<qint32, Size> m_entries {};
};
