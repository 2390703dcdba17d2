#!/usr/bin/python3
"""Relay between a COM port of wine and one kline-sim, for tools/windows.sh.

usage: com_relay.py KLINE_SIM [ARGUMENTS...]

Starts the simulator with those arguments, opens a pseudo-terminal for wine to link a COM
port to ($WINEPREFIX/dosdevices/comN), prints its slave path as the first line, and then
copies bytes both ways and the tool's rate onto the simulator's pseudo-terminal, as the QEMU
relay beside it does. Wine differs in two ways:

- The rate: wine sets the standard rates on a pseudo-terminal as they are, but a rate it
  does not know (the working rate, 7812) arrives as 38400, which is mapped back to 7812.
- Opening: wine's open of its COM port does not show on our side, and 38400 is also the rate
  a fresh pseudo-terminal starts at. The simulator's port is opened (its ignition planned) at
  the first other rate, which the tool sets as it opens the port. One relay serves one run.
"""

import os
import subprocess
import sys
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "real_drivers"))
import relay  # noqa: E402

relay.ROUNDED_WORKING = 38400


class WineRelay(relay.Relay):
    def __init__(self, guest, sim_path):
        super().__init__(guest, sim_path)
        self.armed = True

    def follow_guest(self):
        if self.sim is None and relay.get_rate(self.guest) == relay.ROUNDED_WORKING:
            return
        super().follow_guest()


def main():
    sim = subprocess.Popen(sys.argv[1:], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    sim_path = sim.stdout.readline().decode().strip()
    wine_side, wine_slave = os.openpty()
    tty.setraw(wine_slave)
    os.set_blocking(wine_side, False)
    print(os.ttyname(wine_slave), flush=True)
    bridge = WineRelay(wine_side, sim_path)
    while sim.poll() is None:
        bridge.step()


if __name__ == "__main__":
    main()
