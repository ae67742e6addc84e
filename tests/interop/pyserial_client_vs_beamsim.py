#!/usr/bin/python3
"""pyserial's rfc2217:// client against the beamsim command-line simulator.

usage: pyserial_client_vs_beamsim.py PATH_TO_BEAMSIM

Checks that the settings pyserial negotiates reach the simulator, that records sent by the client
are parsed, that the reports sent before each CTS rise arrive, and that the client sees CTS both
on and off. Loopback only; every wait is bounded, and the simulator is stopped with SIGTERM.
"""

import queue
import re
import signal
import subprocess
import sys
import threading
import time

import serial


def fail(message, lines):
    sys.stderr.write("FAIL: {}\nsimulator said:\n  {}\n".format(message, "\n  ".join(lines)))
    sys.exit(1)


def main():
    sim = subprocess.Popen([sys.argv[1], "--port", "0", "--period", "200", "--slew", "1000"],
                           stdout=subprocess.PIPE, text=True)
    lines = []
    incoming = queue.Queue()

    def pump():
        for text in sim.stdout:
            incoming.put(text.rstrip("\n"))

    threading.Thread(target=pump, daemon=True).start()

    def expect(pattern, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = incoming.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                break
            lines.append(line)
            match = re.fullmatch(pattern, line)
            if match:
                return match
        fail("no line matching {!r}".format(pattern), lines)

    try:
        url = expect(r"listening on (rfc2217://127\.0\.0\.1:\d+)").group(1)
        port = serial.serial_for_url(url, baudrate=19200, bytesize=7, parity=serial.PARITY_EVEN,
                                     stopbits=serial.STOPBITS_TWO, timeout=2)
        for setting in ("baud 19200", "data size 7", "parity 3", "stop size 2"):
            expect("set " + setting)

        levels = set()
        deadline = time.monotonic() + 10
        while len(levels) < 2 and time.monotonic() < deadline:
            levels.add(port.cts)
            time.sleep(0.01)
        if levels != {True, False}:
            fail("CTS seen only as {}".format(levels), lines)

        port.write(b"68 4320 101 68 \r67 4320 101 12 \r222 1288 3587 26 \r")
        expect(r"record: 68 4320 101 68 \(start-control\)")
        expect(r"record: 67 4320 101 12 \(position\)")
        expect(r"record: 222 1288 3587 26 \(time\)")

        # Reports come before each rise; wait for one that carries the new position and ack.
        port.reset_input_buffer()
        received = b""
        deadline = time.monotonic() + 10
        while b"A 43.2 1.0 26\r" not in received and time.monotonic() < deadline:
            received += port.read(64)
        if b"A 43.2 1.0 26\r" not in received:
            fail("no report with the commanded position, got {!r}".format(received), lines)
        port.close()
        expect("client left")
    finally:
        sim.send_signal(signal.SIGTERM)
        try:
            code = sim.wait(timeout=5)
        except subprocess.TimeoutExpired:
            sim.kill()
            fail("the simulator did not stop on SIGTERM", lines)
    if code != 0:
        fail("the simulator exited with {}".format(code), lines)
    print("ok")


if __name__ == "__main__":
    main()
