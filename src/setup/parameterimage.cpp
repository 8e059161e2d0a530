#include "setup/parameterimage.h"

#include "setup/registermap.h"

int ParameterImage::registerOfEntry(int entry)
{
    if (entry == ModelEntry)
        return Reg::ModelCode;
    if (entry >= FirstRegisterEntry && entry <= LastRegisterEntry)
        return 0x4700 + entry;
    if (entry == PidGroupEntry)
        return Reg::PidGroup;
    if (entry == PidTargetEntry)
        return Reg::PidTarget;
    if (entry == Identification2Entry)
        return Reg::Identification2;
    if (entry == Identification1Entry)
        return Reg::Identification1;
    return -1;
}

int ParameterImage::entryOfRegister(int address)
{
    if (address == Reg::ModelCode)
        return ModelEntry;
    if (address >= 0x4700 + FirstRegisterEntry && address <= 0x4700 + LastRegisterEntry)
        return address - 0x4700;
    if (address == Reg::PidGroup)
        return PidGroupEntry;
    if (address == Reg::PidTarget)
        return PidTargetEntry;
    if (address == Reg::Identification2)
        return Identification2Entry;
    if (address == Reg::Identification1)
        return Identification1Entry;
    return -1;
}

bool ParameterImage::setRegister(int address, quint16 value)
{
    const int entry = entryOfRegister(address);
    if (entry < 0)
        return false;
    m_entries.at(entry) = entry == ModelEntry ? NormalizedModelCode(value) : value;
    return true;
}

int ParameterImage::setBlock(int start, const QList<quint16> &words)
{
    int stored = 0;
    for (int i = 0; i < words.size(); ++i) {
        if (start + i == Reg::Firmware) {
            setFirmware(words.at(i));
            stored += 2;
        } else if (setRegister(start + i, words.at(i))) {
            ++stored;
        }
    }
    return stored;
}

void ParameterImage::setFirmware(quint16 word)
{
    m_entries.at(FirmwareMajorEntry) = word >> 8;
    m_entries.at(FirmwareMinorEntry) = word & 0xFF;
}

quint16 ParameterImage::firmwareWord() const
{
    return static_cast<quint16>(((m_entries.at(FirmwareMajorEntry) & 0xFF) << 8) |
                                (m_entries.at(FirmwareMinorEntry) & 0xFF));
}
