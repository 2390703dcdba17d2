#!/usr/bin/python3
"""Relay between one serial port of the QEMU guest and one kline-sim on the host.

usage: relay.py KLINE_SIM [ARGUMENTS...]

Starts the simulator with those arguments, opens a pseudo-terminal for QEMU
(`-chardev serial,path=...`), prints its slave path as the first line, and then copies
bytes both ways and the guest's rate onto the simulator's pseudo-terminal, which is how
the simulator learns the rate the tool set.

Two things the QEMU side cannot carry are made up for here:

- The rate. QEMU's host serial backend sets only the standard termios rates, rounding up:
  1200 arrives as 1200, but the tool's working rate of 7812 (and the 7680 a 16550 really
  runs at for it) both arrive as 9600. The simulator takes a byte at a rate other than the
  ECU's as garbled, so 9600, which the tool never uses, is mapped back to 7812. Whether the
  guest's driver took exactly 7812 is read back inside the guest (port_watch), not here.
- Opening and closing. The guest's open and close of its port do not reach the host, yet
  the simulator switches the ignition on at each opening. The guest sets its port to 300
  baud, a rate the tool never uses, whenever the tool is done with it: the relay then closes
  the simulator's port, and opens it again (a fresh key-on) at the next other rate, which
  the tool sets as it opens the port. Rates seen before the first 300 (the guest's boot
  setting up its UARTs) open nothing.
"""

import fcntl
import os
import select
import struct
import subprocess
import sys
import tty

TCGETS2 = 0x802C542A
TCSETS2 = 0x402C542B
CBAUD = 0o010017
BOTHER = 0o010000
TERMIOS2 = struct.Struct("4IB19s2I")

RELEASED = 300
ROUNDED_WORKING = 9600
WORKING = 7812


def get_rate(fd):
    return TERMIOS2.unpack(fcntl.ioctl(fd, TCGETS2, bytes(TERMIOS2.size)))[-1]


def set_rate(fd, rate):
    fields = list(TERMIOS2.unpack(fcntl.ioctl(fd, TCGETS2, bytes(TERMIOS2.size))))
    fields[2] = (fields[2] & ~CBAUD) | BOTHER
    fields[-2] = fields[-1] = rate
    fcntl.ioctl(fd, TCSETS2, TERMIOS2.pack(*fields))


class Relay:
    def __init__(self, guest, sim_path):
        self.guest = guest
        self.sim_path = sim_path
        self.armed = False
        self.sim = None
        self.sim_rate = None

    def follow_guest(self):
        """Opens, closes and sets the simulator's port after what the guest's port shows."""
        rate = get_rate(self.guest)
        if rate == ROUNDED_WORKING:
            rate = WORKING
        if rate == RELEASED:
            self.armed = True
            if self.sim is not None:
                os.close(self.sim)
                self.sim = None
            return
        if self.armed and self.sim is None:
            self.sim = os.open(self.sim_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            tty.setraw(self.sim)
            self.sim_rate = None
        if self.sim is not None and rate != self.sim_rate:
            set_rate(self.sim, rate)
            self.sim_rate = rate

    def step(self):
        self.follow_guest()
        watched = [self.guest] + ([self.sim] if self.sim is not None else [])
        # Bytes wake it at once; the wait only bounds how late an opening is noticed.
        readable = select.select(watched, [], [], 0.01)[0]
        if self.sim is not None and self.sim in readable:
            os.write(self.guest, os.read(self.sim, 4096))
        if self.guest in readable:
            # The rate these bytes went out at is in place before they are passed on.
            self.follow_guest()
            data = os.read(self.guest, 4096)
            if self.sim is not None:
                os.write(self.sim, data)


def main():
    sim = subprocess.Popen(sys.argv[1:], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    sim_path = sim.stdout.readline().decode().strip()
    guest, guest_slave = os.openpty()
    # Held open so that the master does not report a hang-up until QEMU opens the slave.
    tty.setraw(guest_slave)
    os.set_blocking(guest, False)
    print(os.ttyname(guest_slave), flush=True)
    relay = Relay(guest, sim_path)
    while sim.poll() is None:
        relay.step()


if __name__ == "__main__":
    main()
