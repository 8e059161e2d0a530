#pragma once

#include "app/comsettings.h"
#include "sim/simline.h"
#include "sim/simnetserver.h"
#include "tempworkdir.h"

#include <QList>
#include <QPair>

// Simulated controllers served over TCP on the loopback address, as a
// serial device server (the line's own bytes, in `mode`) or as a Modbus TCP
// gateway (RTU on its line), with the program's settings pointed at them.
class SimOnNetwork
{
public:
    SimOnNetwork(LineKind kind, ModbusMode mode, ComSettings &settings,
                 const QList<QPair<int, int>> &controllers)
        : line(lineFor(kind, mode, settings))
        , server(line, kind == LineKind::Gateway)
    {
        for (const auto &c : controllers)
            EXPECT_TRUE(line.addController(c.first, c.second)) << c.first;
        QString error;
        m_ok = server.listen(QHostAddress::LocalHost, 0, &error);
        EXPECT_TRUE(m_ok) << error.toStdString();
        line.startWithoutTerminal();
        settings.setLineKind(kind);
        settings.setNetwork({QStringLiteral("127.0.0.1"), server.port(), 300});
    }

    bool ok() const { return m_ok; }
    SimController &controller(int address) { return *line.controller(address); }

    TemporaryWorkDir work;
    SimLine line;
    SimNetServer server;

private:
    static SimLineSettings lineFor(LineKind kind, ModbusMode mode, ComSettings &settings)
    {
        SimLineSettings s;
        s.mode = kind == LineKind::Gateway ? ModbusMode::Rtu : mode;
        if (s.mode == ModbusMode::Rtu) {
            settings.select(ComSettings::ModBus, 1);
            s.dataBits = 8;
        }
        return s;
    }

    bool m_ok = false;
};
