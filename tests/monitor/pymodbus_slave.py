"""Two controllers served by a third-party Modbus slave (pymodbus) for the
monitor's interoperability test.

Usage:
  pymodbus_slave.py ascii|rtu

Prints the device the master opens on its first line of standard output,
then serves until standard input closes (or a signal ends it).

pymodbus' serial server opens its port by name, and so does the master: two
pseudo-terminals, both raw, with the bytes relayed between their master
sides. The master opens the first one's device, the server the second's.

Runs under Debian's /usr/bin/python3 with python3-pymodbus (3.0) and
python3-serial-asyncio.
"""
import asyncio
import os
import sys
import tty

from pymodbus.datastore import (ModbusServerContext, ModbusSlaveContext,
                                ModbusSparseDataBlock)
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

# Unit id: (model code, PV, SV, setup base). Every setup register of a unit
# holds setup base + the register's low byte, so a value read for the wrong
# unit shows.
UNITS = {
    1: (0x4848, 0x04D2, 0x03E8, 0x1000),
    2: (0x9696, 0x0929, 0x07D0, 0x2000),
}


def registers(model, pv, sv, base):
    regs = {}
    # Setup blocks: 0x4704..0x4724, 0x4730..0x4738, 0x101C..0x101D.
    for reg in list(range(0x4704, 0x4725)) + list(range(0x4730, 0x4739)) + [0x101C, 0x101D]:
        regs[reg] = base + (reg & 0xFF)
    regs[0x4718] = 0          # input type: a thermocouple, not a linear input
    regs[0x4723] = 1          # run/stop: running
    regs[0x471A] = 0x0001     # output mode
    # Process values: PV, SV, output levels (0..1000).
    regs.update({0x4700: pv, 0x4701: sv, 0x4702: 456, 0x4703: 123})
    # Status block.
    regs.update({
        0x4725: 1,            # decimal point: one decimal
        0x4726: 1,            # on-line configuration
        0x4727: 0,            # auto-tuning off
        0x4728: 0x0003,       # status bits
        0x4729: 0x0001,       # parameters unchanged
        0x472A: 0x010A,       # firmware 1.10
        0x472B: 0,            # no running program
    })
    regs[0x472D] = 0          # event inputs
    # Identification.
    regs.update({0x4744: 0x2013, 0x4745: 0x4456, 0x4746: model, 0x4747: 0x0001})
    return regs


def context():
    slaves = {}
    for unit, values in UNITS.items():
        # The slave context adds 1 to every address it is asked for (unless
        # zero_mode): keep the block one above the wire addresses.
        block = ModbusSparseDataBlock({reg + 1: v for reg, v in registers(*values).items()})
        slaves[unit] = ModbusSlaveContext(hr=block, zero_mode=False)
    return ModbusServerContext(slaves=slaves, single=False)


def raw_pty():
    master, slave = os.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    return master, slave


def relay(loop, src, dst):
    def copy():
        try:
            data = os.read(src, 4096)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            # EIO while no one holds the slave side open: nothing to copy.
            return
        view = memoryview(data)
        while view:
            try:
                view = view[os.write(dst, view):]
            except BlockingIOError:
                pass
    loop.add_reader(src, copy)


async def until_input_ends(loop):
    """Returns once standard input is closed."""
    done = loop.create_future()

    def stdin_ready():
        if not os.read(sys.stdin.fileno(), 4096) and not done.done():
            done.set_result(None)
    loop.add_reader(sys.stdin.fileno(), stdin_ready)
    await done


async def serve(framing):
    loop = asyncio.get_running_loop()
    # Both slave sides stay open here too, so that a master side never sees
    # a hang-up while the other program opens or closes its device.
    line_master, line_slave = raw_pty()
    server_master, server_slave = raw_pty()
    relay(loop, line_master, server_master)
    relay(loop, server_master, line_master)

    server = await StartAsyncSerialServer(
        context=context(),
        framer=ModbusAsciiFramer if framing == "ascii" else ModbusRtuFramer,
        port=os.ttyname(server_slave), baudrate=38400, bytesize=8, parity="N",
        stopbits=1, timeout=1, defer_start=True)
    await server.start()
    if server.transport is None:
        print("cannot open " + os.ttyname(server_slave), flush=True)
        sys.exit(2)

    print(os.ttyname(line_slave), flush=True)
    await until_input_ends(loop)
    await server.shutdown()


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in ("ascii", "rtu"):
        print(__doc__.strip(), file=sys.stderr)
        sys.exit(2)
    asyncio.run(serve(sys.argv[1]))


if __name__ == "__main__":
    main()
