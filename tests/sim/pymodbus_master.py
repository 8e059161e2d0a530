"""A third-party Modbus ASCII master (pymodbus) for the simulator tests.

Usage:
  pymodbus_master.py PORT check START:COUNT...   run the checks, one line each
  pymodbus_master.py PORT read SLAVE REG COUNT   print the words, or what came

Runs under Debian's /usr/bin/python3 with python3-pymodbus (3.0).
"""
import sys
import types

# pymodbus imports its asyncio serial client even for the synchronous one;
# that module is only a recommendation of the Debian package.
try:
    import serial_asyncio  # noqa: F401
except ImportError:
    stub = types.ModuleType("serial_asyncio")
    stub.create_serial_connection = None
    sys.modules["serial_asyncio"] = stub

from pymodbus.client import ModbusSerialClient  # noqa: E402
from pymodbus.transaction import ModbusAsciiFramer  # noqa: E402

KEY = 0x5AC3


def connect(port):
    # A pseudo-terminal takes only 8 data bits without parity; the framing
    # does not depend on it. The time-out must be a whole number of seconds:
    # this pymodbus turns 0.5 into no wait at all.
    client = ModbusSerialClient(port=port, framer=ModbusAsciiFramer, baudrate=9600,
                                bytesize=8, parity="N", stopbits=1, timeout=1,
                                retries=0, broadcast_enable=True)
    if not client.connect():
        print("cannot open " + port)
        sys.exit(2)
    return client


def words(reply):
    if reply is None or reply.isError():
        return None
    return list(reply.registers)


def exception_code(reply):
    return getattr(reply, "exception_code", None)


def check(client, blocks):
    failures = 0

    def report(name, ok, detail=""):
        nonlocal failures
        print(f"{name}: {'ok' if ok else 'FAIL'} {detail}".rstrip())
        failures += 0 if ok else 1

    ident = words(client.read_holding_registers(0x4744, 4, slave=1))
    report("identification", ident is not None and ident[1] == 0x4456, str(ident))
    report("model", ident is not None and ident[2] == 0x4896, str(ident))

    for start, count in blocks:
        got = words(client.read_holding_registers(start, count, slave=1))
        report(f"block {start:04X}x{count}", got is not None and len(got) == count, str(got))

    r = client.read_holding_registers(0x4739, 1, slave=1)
    report("exception 2", r.isError() and exception_code(r) == 2, str(r))
    r = client.read_holding_registers(0x4700, 9, slave=1)
    report("exception 3", r.isError() and exception_code(r) == 3, str(r))

    r = client.write_register(0x4701, 0x0457, slave=1)
    back = words(client.read_holding_registers(0x4701, 1, slave=1))
    report("echo", not r.isError() and r.address == 0x4701 and r.value == 0x0457
           and back == [0x0457], f"{r} {back}")

    r = client.write_register(0x4700, 100, slave=1)
    report("refused write", exception_code(r) == 4, str(r))

    r = client.write_register(0x4732, 9, slave=1)
    report("locked without key", exception_code(r) == 4, str(r))
    key = client.write_register(0x472A, KEY, slave=1)
    r = client.write_register(0x4732, 9, slave=1)
    adj = words(client.read_holding_registers(0x4732, 1, slave=1))
    fw = words(client.read_holding_registers(0x472A, 1, slave=1))
    report("unlocked by the key", not key.isError() and not r.isError() and adj == [9]
           and fw == [0x010A], f"{key} {r} {adj} {fw}")

    client.write_register(0x4701, 0x0321, slave=0)
    one = words(client.read_holding_registers(0x4701, 1, slave=1))
    two = words(client.read_holding_registers(0x4701, 1, slave=2))
    report("broadcast applied", one == [0x0321] and two == [0x0321], f"{one} {two}")
    return failures


def main():
    port, mode = sys.argv[1], sys.argv[2]
    client = connect(port)
    try:
        if mode == "check":
            blocks = []
            for arg in sys.argv[3:]:
                start, count = arg.split(":")
                blocks.append((int(start, 16), int(count)))
            sys.exit(1 if check(client, blocks) else 0)
        slave, reg, count = int(sys.argv[3]), int(sys.argv[4], 0), int(sys.argv[5])
        r = client.read_holding_registers(reg, count, slave=slave)
        if r is None or not hasattr(r, "isError"):
            print("no reply")
        elif r.isError():
            code = exception_code(r)
            print(f"exception {code}" if code is not None else "no reply")
        else:
            print(" ".join(f"{w:04X}" for w in r.registers))
    finally:
        client.close()


if __name__ == "__main__":
    main()
