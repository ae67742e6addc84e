#!/usr/bin/python3
"""An RFC 2217 server built on pyserial's PortManager, with a scripted line instead of a device.

Serves one client on 127.0.0.1 and prints, one line each (flushed):
  port N                   once listening
  connected / disconnected
  baudrate 19200, bytesize 7, parity E, stopbits 2, rtscts True, xonxoff False, dtr False,
  rts False                whenever the client changes a setting
  purge in / purge out     purge requests
  data <hex>               data bytes received
Reads commands on stdin, one a line:
  cts 1 | cts 0            change CTS and notify at once (real servers sample about once a second)
  send <hex>               send data bytes (0xFF doubled)
  close                    close the connection
  quit                     stop
Options: --no-ack (never acknowledge SET-BAUDRATE .. SET-CONTROL), --cts-on (CTS on from start).
Stops by itself after --lifetime seconds (default 60).
"""

import argparse
import select
import socket
import sys
import threading
import time

import serial.rfc2217 as rfc2217


def say(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


class ScriptedLine:
    """The attributes PortManager reads and writes on a serial port object."""

    _logged = ("baudrate", "bytesize", "parity", "stopbits", "xonxoff", "rtscts", "dtr", "rts")

    def __init__(self, cts):
        object.__setattr__(self, "values", {
            "baudrate": 9600, "bytesize": 8, "parity": "N", "stopbits": 1, "xonxoff": False,
            "rtscts": False, "dtr": True, "rts": True, "break_condition": False,
            "cts": cts, "dsr": False, "ri": False, "cd": False})

    def __getattr__(self, name):
        try:
            return self.values[name]
        except KeyError:
            raise AttributeError(name)

    def __setattr__(self, name, value):
        self.values[name] = value
        if name in self._logged:
            say("{} {}".format(name, value))

    def reset_input_buffer(self):
        say("purge in")

    def reset_output_buffer(self):
        say("purge out")


class Connection:
    def __init__(self, sock):
        self.sock = sock
        self.lock = threading.Lock()

    def write(self, data):
        with self.lock:
            self.sock.sendall(data)


class SilentManager(rfc2217.PortManager):
    """Applies the line settings but never acknowledges them."""

    _silent = {rfc2217.SERVER_SET_BAUDRATE, rfc2217.SERVER_SET_DATASIZE,
               rfc2217.SERVER_SET_PARITY, rfc2217.SERVER_SET_STOPSIZE,
               rfc2217.SERVER_SET_CONTROL}

    def rfc2217_send_subnegotiation(self, option, value=b""):
        if option not in self._silent:
            super().rfc2217_send_subnegotiation(option, value)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--no-ack", action="store_true")
    parser.add_argument("--cts-on", action="store_true")
    parser.add_argument("--lifetime", type=float, default=60.0)
    args = parser.parse_args()
    deadline = time.monotonic() + args.lifetime

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    say("port {}".format(listener.getsockname()[1]))

    line = ScriptedLine(cts=args.cts_on)
    client = None
    manager = None
    stdin_open = True
    while time.monotonic() < deadline:
        waiting = [listener if client is None else client]
        if stdin_open:
            waiting.append(sys.stdin)
        ready, _, _ = select.select(waiting, [], [], 0.2)
        if listener in ready:
            client, _ = listener.accept()
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            say("connected")
            kind = SilentManager if args.no_ack else rfc2217.PortManager
            manager = kind(line, Connection(client))
        if client is not None and client in ready:
            try:
                data = client.recv(4096)
            except OSError:
                data = b""
            if not data:
                say("disconnected")
                client.close()
                client = None
                continue
            payload = b"".join(manager.filter(data))
            if payload:
                say("data " + payload.hex())
        if sys.stdin in ready:
            command = sys.stdin.readline()
            if not command:
                stdin_open = False
                continue
            words = command.split()
            if not words:
                continue
            if words[0] == "quit":
                break
            if words[0] == "cts":
                line.values["cts"] = words[1] == "1"
                if manager is not None:
                    manager.check_modem_lines()
                say("cts " + words[1])
            elif words[0] == "send" and client is not None:
                client.sendall(b"".join(manager.escape(bytes.fromhex(words[1]))))
                say("sent")
            elif words[0] == "close" and client is not None:
                client.close()
                client = None
                say("closed")
    if client is not None:
        client.close()
    listener.close()


if __name__ == "__main__":
    main()
