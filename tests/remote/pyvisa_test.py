#!/usr/bin/python3
"""The SCPI server driven by a real client: PyVISA with its pure-Python
backend (pyvisa-py), as a bench script drives an instrument.

    pyvisa_test.py PROGRAM EXAMPLES-FOLDER

Starts `kestrel-eval --simulate serve --listen 127.0.0.1:0` (and a second one
on a board without a chip), reads the port from its "listening on" line and
runs each scenario. Everything on loopback, bounded in time, and the servers
are ended with SIGTERM as a service manager ends them.
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import pyvisa

PROGRAM, EXAMPLES = sys.argv[1], sys.argv[2]
# The whole run, whatever hangs.
signal.alarm(600)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


class Server:
    def __init__(self, work, state="", extra=()):
        path = os.path.join(work, "board-%d.txt" % id(self))
        with open(path, "w") as f:
            f.write(state)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"))
        self.process = subprocess.Popen(
            [PROGRAM, "--simulate", "--sim-state", path, "serve", "--listen", "127.0.0.1:0", *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        line = self.process.stdout.readline()
        if not line.startswith("listening on 127.0.0.1:"):
            raise SystemExit("no 'listening on' line: %r %s" % (line, self.process.stderr.read()))
        self.port = int(line.rsplit(":", 1)[1])
        self.resource = "TCPIP0::127.0.0.1::%d::SOCKET" % self.port

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        out, err = self.process.communicate(timeout=60)
        return self.process.returncode, err


rm = pyvisa.ResourceManager("@py")


def connect(server):
    inst = rm.open_resource(server.resource, read_termination="\n", write_termination="\n")
    inst.timeout = 20000
    return inst


def errors(inst):
    """Every error in the client's queue, oldest first."""
    found = []
    while True:
        e = inst.query("SYST:ERR?")
        if e.startswith("0,"):
            return found
        found.append(e)


def basics(server):
    inst = connect(server)
    idn = inst.query("*IDN?").split(",")
    check(len(idn) == 4 and idn[0] == "KESTREL-EVAL" and idn[1] == "Simulated board"
          and idn[2].startswith("ID ") and " rev " in idn[2], "*IDN? %r" % idn)
    check(inst.query("SYST:VERS?") == "1999.0", "SYST:VERS?")
    inst.write("REG #H14,129")
    check(inst.query("*OPC?") == "1", "*OPC? after a write")
    check(inst.query("REG? 20") == "129", "register read back")
    check(inst.query("REG:ALL?").count(",") == 29, "REG:ALL? gives 30 values")
    inst.write('REG:FIELD "Gain","230x"')
    check(inst.query('REG:FIELD? "gain"') == '"230x"', "a field set and read by name")
    status = inst.query("STAT:CHIP?").split(",")
    check(len(status) == 6 and all(s.isdigit() for s in status[:3]), "STAT:CHIP? %r" % status)
    check(errors(inst) == [], "no error so far: %r" % errors(inst))

    # 512 EEPROM bytes each way as blocks, then verified.
    data = bytes((k * 7 + 3) & 0xFF for k in range(512))
    inst.write("EEPROM:ERAS:AUTO ON")
    inst.write_binary_values("EEPROM:DATA 32768,", data, datatype="B")
    check(inst.query("*OPC?") == "1", "*OPC? after the EEPROM write")
    back = inst.query_binary_values("EEPROM:DATA? 32768,512", datatype="B", container=bytes)
    check(back == data, "512 EEPROM bytes read back as written")
    inst.write_binary_values("EEPROM:VER? 32768,", data, datatype="B")
    check(inst.read() == "1", "EEPROM:VER? of what was written")
    check(errors(inst) == [], "no error after the EEPROM: %r" % errors(inst))

    # A script, and its step table.
    script = b"write 0E 04\nexpect 0E 04\nread 1D\n"
    inst.write_binary_values("SCR:RUN ", script, datatype="B")
    steps = inst.query_binary_values("SCR:RES?", datatype="B", container=bytes).decode().splitlines()
    check(len(steps) == 3 and all(",PASS," in s for s in steps), "script steps %r" % steps)
    check("Write Byte" in inst.query("BUS:MON? 40"), "the monitor's words")

    # Bad input: each leaves its error, none reaches the bus, the client goes on.
    inst.write("REG? 300")
    inst.write_raw(b"\x00\xff\xfe REG 14,0\n")
    inst.write_raw(b"X" * (70 * 1024) + b"\n")
    inst.write("EEPROM:DATA 32768,#0abc")
    codes = [e.split(",")[0] for e in errors(inst)]
    check(codes == ["-222", "-102", "-363", "-104"], "errors of bad input %r" % codes)
    check(inst.query("REG? 20") == "129", "bad input wrote nothing")
    inst.close()


def missing_chip(work):
    server = Server(work, "fault missing\n")
    inst = connect(server)
    inst.write("REG? 14")  # answers nothing: never a made-up byte
    e = errors(inst)
    check(len(e) == 1 and e[0].startswith('1,"No acknowledge') and "AEh" in e[0],
          "missing chip %r" % e)
    inst.close()
    code, err = server.stop()
    check(code == 130 and "stopped by SIGTERM" in err, "second server ended %r" % code)


def many_clients(server, clients=8, queries=1000):
    """8 clients at once, every answer matched to its question."""
    wrong = []

    def one(k):
        inst = connect(server)
        for n in range(queries):
            mask = (k * 31 + n) & 0xFF
            answer = inst.query("*ESE %d;*ESE?;REG? 29" % mask)
            if answer != "%d;33" % mask:
                wrong.append((k, n, answer))
        inst.close()

    threads = [threading.Thread(target=one, args=(k,)) for k in range(clients)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("%d clients x %d queries: %.1f s" % (clients, queries, time.monotonic() - start))
    check(wrong == [], "answers not matched: %r" % wrong[:3])


def killed_clients(server):
    # One killed in the middle of a block, one in the middle of a job.
    s = socket.create_connection(("127.0.0.1", server.port))
    s.sendall(b"EEPROM:ERAS:AUTO ON;:EEPROM:DATA 32768,#3512" + b"\x55" * 100)
    s.close()
    s = socket.create_connection(("127.0.0.1", server.port))
    s.sendall(b"SCR:RUN #218wait 300\nread 1D\n\n")
    time.sleep(0.1)
    s.close()
    inst = connect(server)
    check(inst.query("*OPC?;REG? 29") == "1;33", "the server serves on after killed clients")
    inst.close()


def lock(server):
    a, b = connect(server), connect(server)
    check(a.query("SYST:LOCK:REQ?") == "1", "the first client gets the lock")
    check(b.query("SYST:LOCK:REQ?") == "0", "the second does not")
    b.write("REG 20,0")
    check(errors(b)[0].startswith("-203,"), "a write refused while another holds the lock")
    a.write("SYST:LOCK:REL")
    check(a.query("*OPC?") == "1", "released")
    check(b.query("REG? 20") == "129", "refused write left the register alone")
    a.close()
    b.close()


def closed_at_once(port, source="127.0.0.1"):
    """Whether the server closes a new connection without a word."""
    s = socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0))
    try:
        s.sendall(b"*OPC?\n")
        return s.recv(16) == b""
    except ConnectionResetError:
        return True
    finally:
        s.close()


def limits(server, work):
    # At most 16 clients: the 17th is closed as it connects.
    held = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(16)]
    time.sleep(0.2)
    check(closed_at_once(server.port), "a 17th client is closed")
    for s in held:
        s.close()
    time.sleep(0.2)
    check(not closed_at_once(server.port), "a client is taken once the others left")
    # --allow takes only the peers it names, on loopback too.
    narrow = Server(work, extra=("--allow", "127.0.0.2/32"))
    check(closed_at_once(narrow.port), "a peer --allow does not name is closed")
    check(not closed_at_once(narrow.port, "127.0.0.2"), "the peer --allow names is taken")
    narrow.stop()
    # Another address without --allow does not start.
    refused = subprocess.run([PROGRAM, "--simulate", "serve", "--listen", "0.0.0.0:0"],
                             capture_output=True, text=True, timeout=60)
    check(refused.returncode == 1 and "--allow" in refused.stderr,
          "--listen 0.0.0.0 without --allow: %r %s" % (refused.returncode, refused.stderr))


def example(server):
    out = subprocess.run([sys.executable, os.path.join(EXAMPLES, "remote_sweep.py"), server.resource,
                          "--register", "15", "--start", "0", "--stop", "4"],
                         capture_output=True, text=True, timeout=120)
    check(out.returncode == 0 and out.stdout.count("\n") >= 5, "remote_sweep.py: %s %s" % (out.stdout, out.stderr))


with tempfile.TemporaryDirectory() as work:
    server = Server(work)
    for scenario in (basics, many_clients, killed_clients, lock, example):
        scenario(server)
    limits(server, work)
    missing_chip(work)
    code, err = server.stop()
    check(code == 130 and "stopped by SIGTERM" in err, "ended by SIGTERM: %r %s" % (code, err[-300:]))

print("pyvisa: %d failures" % len(failures))
sys.exit(1 if failures else 0)
