#!/usr/bin/python3
"""Steps a trim register of the KESTREL through `kestrel-eval serve` and
prints the status registers at each step: the place to add a DMM reading.

    kestrel-eval --simulate serve &        # or on the board: kestrel-eval serve
    python3 remote_sweep.py TCPIP0::127.0.0.1::5025::SOCKET --register 15 --start 0 --stop 7

Numbers are decimal, as SCPI has them (register 15h is 21); #H15 works too on
the server's side. Needs PyVISA (Debian: python3-pyvisa python3-pyvisa-py).
"""
import argparse
import sys

import pyvisa


def number(text):
    return int(text, 16) if text.lower().startswith("0x") else int(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("resource", nargs="?", default="TCPIP0::127.0.0.1::5025::SOCKET")
    parser.add_argument("--register", type=number, default=0x15, help="the trim register (default 21 = 15h, offset trim)")
    parser.add_argument("--start", type=number, default=0)
    parser.add_argument("--stop", type=number, default=7)
    parser.add_argument("--step", type=number, default=1)
    args = parser.parse_args()

    rm = pyvisa.ResourceManager("@py")
    board = rm.open_resource(args.resource, read_termination="\n", write_termination="\n")
    board.timeout = 10000
    # dmm = rm.open_resource("TCPIP0::192.168.1.50::5025::SOCKET", read_termination="\n")

    print(board.query("*IDN?"))
    print("value  status1 status2 status3  bits set")
    failed = False
    for value in range(args.start, args.stop + 1, args.step):
        board.write("REG %d,%d" % (args.register, value))
        # *OPC? answers once the write is done; the error queue says whether
        # the chip took it.
        board.query("*OPC?")
        error = board.query("SYST:ERR?")
        if not error.startswith("0,"):
            print("%5d  write failed: %s" % (value, error))
            failed = True
            continue
        fields = board.query("STAT:CHIP?").split(",")
        if len(fields) != 6:
            print("%5d  status not read: %s" % (value, board.query("SYST:ERR?")))
            failed = True
            continue
        # reading = float(dmm.query("MEAS:VOLT:DC?"))
        names = " ".join(f.strip('"') for f in fields[3:] if f.strip('"'))
        print("%5d  %7s %7s %7s  %s" % (value, fields[0], fields[1], fields[2], names))
    board.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
