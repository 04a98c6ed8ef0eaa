#!/usr/bin/python3
"""The same REG? round trip from PyVISA (pyvisa-py), for remote_bench.

    remote_bench.py PORT QUERIES
"""
import statistics
import sys
import threading
import time

import pyvisa

port, queries = int(sys.argv[1]), int(sys.argv[2])
rm = pyvisa.ResourceManager("@py")
resource = "TCPIP0::127.0.0.1::%d::SOCKET" % port


def open_board():
    board = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    board.timeout = 10000
    return board


board = open_board()
for _ in range(200):
    board.query("REG? 29")
times = []
start = time.perf_counter()
for _ in range(queries):
    t = time.perf_counter()
    board.query("REG? 29")
    times.append((time.perf_counter() - t) * 1e6)
total = time.perf_counter() - start
board.close()
times.sort()
print("PyVISA, REG? round trip: median %.1f us, 99th percentile %.1f us" % (statistics.median(times), times[len(times) * 99 // 100]))
print("PyVISA, 1 client:  %.0f queries/s" % (queries / total))

each = queries // 8


def client():
    b = open_board()
    for _ in range(each):
        b.query("REG? 29")
    b.close()


threads = [threading.Thread(target=client) for _ in range(8)]
start = time.perf_counter()
for t in threads:
    t.start()
for t in threads:
    t.join()
print("PyVISA, 8 clients: %.0f queries/s together (8 threads of one Python process)" % (8 * each / (time.perf_counter() - start)))
