#pragma once

#include "app/comsettings.h"
#include "sim/simline.h"
#include "tempworkdir.h"

#include <QList>
#include <QPair>

// The simulator's line for a framing, with the program's settings made to
// match it (RTU selects 8 data bits; the rest are the defaults of both).
inline SimLineSettings MatchingLine(ModbusMode mode, ComSettings &settings)
{
    SimLineSettings line;
    line.mode = mode;
    if (mode == ModbusMode::Rtu) {
        settings.select(ComSettings::ModBus, 1);
        line.dataBits = 8;
    }
    return line;
}

// Simulated controllers on a pseudo-terminal, linked as COM1 in a fresh
// working directory for the life of a test. Controllers are (address, model
// code) pairs. The test links the simulator library (duva_sim_core).
class SimOnCom1
{
public:
    SimOnCom1(const SimLineSettings &settings, const QList<QPair<int, int>> &controllers)
        : line(settings)
    {
        for (const auto &c : controllers)
            EXPECT_TRUE(line.addController(c.first, c.second)) << c.first;
        QString error;
        m_ok = line.open(&error) && line.makeLink(QDir(work.path()).filePath("COM1"), &error);
        EXPECT_TRUE(m_ok) << error.toStdString();
    }

    bool ok() const { return m_ok; }
    SimController &controller(int address) { return *line.controller(address); }

    TemporaryWorkDir work; // first made, last gone: the link goes before the folder
    SimLine line;

private:
    bool m_ok = false;
};
