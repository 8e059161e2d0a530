#pragma once

#include "link/linesettings.h"

// The six selections of the communication settings dialog: the selected
// index of each radio group, -1 when nothing is selected. The selections are
// the settings; every window reads them when it needs them.
class ComSettings
{
public:
    enum Group { ComPort, ComBaudRate, ComParity, ComBitLen, ComStopBit, ModBus, GroupCount };

    static constexpr int ItemCount[GroupCount] = {8, 5, 3, 2, 2, 2};
    static constexpr int Default[GroupCount] = {0, 2, 1, 0, 0, 0};

    ComSettings();

    int comPort() const { return m_index[ComPort]; }
    int comBaudRate() const { return m_index[ComBaudRate]; }
    int comParity() const { return m_index[ComParity]; }
    int comBitLen() const { return m_index[ComBitLen]; }
    int comStopBit() const { return m_index[ComStopBit]; }
    int modBus() const { return m_index[ModBus]; }
    int index(Group group) const { return m_index[group]; }

    // Selects an item of a group; the value is clamped to -1 .. items - 1.
    // Selecting a Modbus format runs the RTU rule (modBusClick).
    void select(Group group, int index);

    // The RTU rule: RTU forces "8 bits" and disables the data-bit group;
    // ASCII enables the group again and keeps its value.
    void modBusClick();
    bool bitLenEnabled() const { return m_bitLenEnabled; }

    // Selects the defaults: stop bits, data bits, parity, baud rate, port,
    // Modbus format, in that order.
    void selectDefaults();

    // The dialog's show rule: no port selected resets all six groups, in the
    // order port, baud, parity, data bits, stop bits, Modbus format.
    void resetIfNoPort();

    // The decimal settings code: port + 10 baud + 100 parity + 1000 data bits
    // + 10000 stop bits + 50000 Modbus format.
    int code() const;

    // Selects the groups from a settings code, decoded with truncating
    // division: Modbus format, stop bits, data bits, parity, baud, port.
    void applyCode(int code);

    ModbusMode modbusMode() const { return modBus() == 1 ? ModbusMode::Rtu : ModbusMode::Ascii; }

    // What the selections mean on the line: COMn (0 when no port is
    // selected, so that the user is asked), the baud rate, parity, data and
    // stop bits, and the framing. A group with no selection takes its
    // default; RTU always runs 8 data bits, whatever the data-bit group says.
    LineSettings lineSettings() const;

    // Selects the groups that give `line` (the port too, when it names
    // one). False, selecting nothing, when the dialog offers no such
    // setting (a baud rate outside its list, 5 or 6 data bits).
    bool selectLine(const LineSettings &line);

    // The network line, chosen beside the COM ports and kept in a file of
    // its own (the settings code keeps its five digits and the COM port).
    // A network line ignores the COM port and the serial settings; through a
    // gateway the framing is always RTU.
    LineKind lineKind() const { return m_lineKind; }
    void setLineKind(LineKind kind) { m_lineKind = kind; }
    const NetworkTarget &network() const { return m_network; }
    void setNetwork(const NetworkTarget &target) { m_network = target; }

    // How every window talks on the line (echo, reply time-out, retries,
    // pause), kept in the network file beside the settings file.
    const LineTalk &talk() const { return m_talk; }
    void setTalk(const LineTalk &talk);

    bool operator==(const ComSettings &other) const;

private:
    int m_index[GroupCount];
    bool m_bitLenEnabled = true;
    LineKind m_lineKind = LineKind::Serial;
    NetworkTarget m_network;
    LineTalk m_talk;
};

// Baud rates by the index of the baud-rate group.
constexpr int BaudRates[] = {2400, 4800, 9600, 19200, 38400};
