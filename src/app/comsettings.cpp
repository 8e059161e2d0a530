#include "app/comsettings.h"

#include <algorithm>
#include <iterator>

ComSettings::ComSettings()
{
    std::copy(std::begin(Default), std::end(Default), std::begin(m_index));
}

void ComSettings::select(Group group, int index)
{
    m_index[group] = std::clamp(index, -1, ItemCount[group] - 1);
    if (group == ModBus)
        modBusClick();
}

void ComSettings::modBusClick()
{
    if (m_index[ModBus] == 1) {
        m_index[ComBitLen] = 1;
        m_bitLenEnabled = false;
    } else {
        m_bitLenEnabled = true;
    }
}

void ComSettings::selectDefaults()
{
    for (Group g : {ComStopBit, ComBitLen, ComParity, ComBaudRate, ComPort, ModBus})
        select(g, Default[g]);
}

void ComSettings::resetIfNoPort()
{
    if (comPort() != -1)
        return;
    for (Group g : {ComPort, ComBaudRate, ComParity, ComBitLen, ComStopBit, ModBus})
        select(g, Default[g]);
}

int ComSettings::code() const
{
    return comPort() + 10 * comBaudRate() + 100 * comParity() + 1000 * comBitLen() +
        10000 * comStopBit() + 50000 * modBus();
}

void ComSettings::applyCode(int code)
{
    // C++ division truncates toward zero, as the code's decoding requires.
    select(ModBus, code / 50000);
    int r = code % 50000;
    select(ComStopBit, r / 10000);
    r %= 10000;
    select(ComBitLen, r / 1000);
    // RTU runs 8 data bits: a code that says 7 for RTU would corrupt every
    // byte on the line, so the dialog shows the 8 the line runs.
    if (modBus() == 1)
        select(ComBitLen, 1);
    r %= 1000;
    select(ComParity, r / 100);
    select(ComBaudRate, (r % 100) / 10);
    select(ComPort, r % 10);
    // A negative code leaves a group at -1, which the line runs at its
    // default: the dialog shows that default. No port stays no port: the
    // user is asked for one.
    for (int g = ComBaudRate; g < GroupCount; ++g)
        if (m_index[g] < 0)
            select(Group(g), Default[g]);
}

bool ComSettings::selectLine(const LineSettings &line)
{
    const auto baud = std::find(std::begin(BaudRates), std::end(BaudRates), int(line.baud));
    const bool rtu = line.framing == ModbusMode::Rtu;
    if (baud == std::end(BaudRates) || line.dataBits < 7 || line.dataBits > 8 ||
        line.stopBits < 1 || line.stopBits > 2 || line.comNumber > ItemCount[ComPort])
        return false;
    m_lineKind = line.kind;
    setTalk(line.talk);
    if (line.isNetwork())
        m_network = line.network;
    if (line.comNumber > 0)
        select(ComPort, line.comNumber - 1);
    select(ComBaudRate, int(baud - std::begin(BaudRates)));
    select(ComParity,
           line.parity == LineParity::None       ? 0
               : line.parity == LineParity::Even ? 1
                                                 : 2);
    select(ModBus, rtu ? 1 : 0);
    select(ComBitLen, rtu ? 1 : line.dataBits - 7);
    select(ComStopBit, line.stopBits - 1);
    return true;
}

bool ComSettings::operator==(const ComSettings &other) const
{
    return std::equal(std::begin(m_index), std::end(m_index), std::begin(other.m_index)) &&
        m_bitLenEnabled == other.m_bitLenEnabled && m_lineKind == other.m_lineKind &&
        m_network == other.m_network && m_talk == other.m_talk;
}

void ComSettings::setTalk(const LineTalk &talk)
{
    m_talk = talk;
    m_talk.replyTimeoutMs = std::clamp(talk.replyTimeoutMs, 0, LineTalk::MaximumReplyTimeoutMs);
    m_talk.retries = std::clamp(talk.retries, -1, LineTalk::MaximumRetries);
    m_talk.pauseMs = std::clamp(talk.pauseMs, 0, LineTalk::MaximumPauseMs);
}

LineSettings ComSettings::lineSettings() const
{
    const auto pick = [this](Group g) { return m_index[g] < 0 ? Default[g] : m_index[g]; };
    LineSettings line;
    line.comNumber = comPort() < 0 ? 0 : comPort() + 1;
    line.baud = quint32(BaudRates[pick(ComBaudRate)]);
    static constexpr LineParity parities[] = {LineParity::None, LineParity::Even, LineParity::Odd};
    line.parity = parities[pick(ComParity)];
    line.framing = pick(ModBus) == 1 ? ModbusMode::Rtu : ModbusMode::Ascii;
    line.dataBits = line.framing == ModbusMode::Rtu ? 8 : pick(ComBitLen) + 7;
    line.stopBits = pick(ComStopBit) + 1;
    line.kind = m_lineKind;
    line.network = m_network;
    line.talk = m_talk;
    if (m_lineKind == LineKind::Gateway) {
        line.framing = ModbusMode::Rtu;
        line.dataBits = 8;
    }
    return line;
}
