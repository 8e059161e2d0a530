"""The two controllers of pymodbus_slave.py served over TCP by pymodbus, for
the monitor's interoperability test through a network line.

Usage:
  pymodbus_tcp_slave.py transparent|gateway PORT

transparent: RTU frames over TCP (pymodbus' TCP server with its RTU framer),
as a serial device server carries them; gateway: Modbus TCP (MBAP header),
as a gateway takes them. Listens on 127.0.0.1:PORT, prints "127.0.0.1:PORT"
once it does, and serves until standard input closes.
"""
import asyncio
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pymodbus.server import StartAsyncTcpServer  # noqa: E402
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer  # noqa: E402

from pymodbus_slave import context, until_input_ends  # noqa: E402


async def serve(kind, port):
    loop = asyncio.get_running_loop()
    server = await StartAsyncTcpServer(
        context=context(), address=("127.0.0.1", port),
        framer=ModbusRtuFramer if kind == "transparent" else ModbusSocketFramer,
        defer_start=True)
    task = asyncio.create_task(server.serve_forever())
    # The server listens once serve_forever has bound its socket.
    for _ in range(100):
        if getattr(server, "server", None) is not None:
            break
        await asyncio.sleep(0.05)
    print("127.0.0.1:%d" % port, flush=True)
    await until_input_ends(loop)
    await server.shutdown()
    task.cancel()


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("transparent", "gateway"):
        print(__doc__.strip(), file=sys.stderr)
        sys.exit(2)
    asyncio.run(serve(sys.argv[1], int(sys.argv[2])))


if __name__ == "__main__":
    main()
