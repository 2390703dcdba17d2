#!/usr/bin/python3
"""Judges the guest's report of tools/real_drivers.sh against the simulator's profiles.

usage: judge.py CONSOLE_LOG PROFILES_DIR

Each run must exit 0 and print the ECU's identification and live values from its profile;
of a run the guest tried twice, the second attempt's output counts and the first one's
failure is listed.
What port_watch read back counts while the tool's low latency was in force (the flag is set
right after the rate, DTR and RTS as the port opens, and cleared first as it closes): in
that window DTR and RTS must be on and the rate exactly 1200 or 7812, and a USB adapter's
latency timer must have been 1 ms. Prints what each driver took and every problem; exits 1
on any problem.
"""

import json
import os
import re
import sys

EXPECTED_PORTS = {"ttyS": "8250", "ttyUSB": "ftdi_sio"}
COMMANDS = {"info", "live", "check-cable"}
LIVE_ROWS = 5
STATE = re.compile(r"rate=(\d+) dtr=(\d) rts=(\d) low_latency=(\d) latency_timer=(\S+)$")


def identification(profile):
    iso = "".join(profile["iso_code"].split()[1:])
    return iso, profile["texts"]["17"], profile["texts"]["21"]


def check_values(rows, profile):
    """Every live value within its channel's idle-to-rev range, with room for ripple and
    the conversion's steps."""
    problems = []
    for row in rows:
        fields = row.split(",")[1:]
        for value, channel in zip(fields, profile["live"]):
            low, high = sorted((channel["idle"], channel["rev"]))
            slack = 2 * channel.get("ripple", 0) + 0.02 * (high - low) + 0.1
            if not low - slack <= float(value) <= high + slack:
                problems.append(f"{channel['kind']} {value} outside {low}..{high}")
    return problems


def judge_output(run, profile, command):
    problems = []
    if run["status"] != ["0"]:
        problems.append(f"exit status {run['status']}: {' / '.join(run['err'])}")
    iso, ecu_data, calibration = identification(profile)
    out = run["out"]
    if command == "info":
        expected = [f"Iso Code    : {iso}", f"ecu data    : {ecu_data}",
                    f"calibration : {calibration}"]
        if out != expected:
            problems.append(f"identification {out}, expected {expected}")
    elif command == "live":
        for line in (f"# ISO code: {iso}", f"# ECU data: {ecu_data}",
                     f"# Calibration: {calibration}"):
            if line not in out:
                problems.append(f"no '{line}'")
        rows = [line for line in out if re.fullmatch(r"[0-9.]+(,-?[0-9.]+){9}", line)]
        if len(rows) != LIVE_ROWS:
            problems.append(f"{len(rows)} samples, expected {LIVE_ROWS}")
        problems += check_values(rows, profile)
    elif out != ["The interface echoes correctly at 1200 and 7812 baud."]:
        problems.append(f"cable check said {out}")
    return problems


def judge_driver(run, profile, command, usb):
    """What the driver held while the tool had the port: problems, and those states."""
    states = [STATE.match(line) for line in run["watch"]]
    if None in states:
        return [f"port_watch said {run['watch']}"], []
    problems = []
    held = [s for s in states if s.group(4) == "1"]
    if not held:
        problems.append(f"the driver never took low latency: {run['watch']}")
    rates = {int(s.group(1)) for s in held}
    expected_rates = {1200} if command != "check-cable" and profile["working_baud"] == 1200 \
        else {1200, 7812}
    if rates != expected_rates:
        problems.append(f"rates {sorted(rates)} read back, expected {sorted(expected_rates)}")
    if any(s.group(2) != "1" or s.group(3) != "1" for s in held):
        problems.append(f"DTR or RTS off while the tool held the port: {run['watch']}")
    if usb and not any(s.group(5) == "1" for s in held):
        problems.append(f"latency timer never 1 ms: {run['watch']}")
    return problems, [s.group(0) for s in held]


def main():
    console, profiles = sys.argv[1:3]
    runs = {}
    with open(console, errors="replace") as log:
        for line in log:
            parts = line.rstrip("\r\n").split(" ", 6)
            if len(parts) >= 6 and parts[0] == "@" and parts[1] != "-":
                attempts = runs.setdefault(tuple(parts[1:4]), {})
                run = attempts.setdefault(parts[4], {"out": [], "err": [], "watch": [],
                                                     "status": []})
                run[parts[5]].append(parts[6] if len(parts) > 6 else "")
    problems = []
    retried = []
    seen = {}
    commands = {}
    for port, ecu_type, command in runs:
        commands.setdefault((port, ecu_type), set()).add(command)
    for (port, ecu_type), ran in commands.items():
        if ran != COMMANDS:
            problems.append(f"{port} {ecu_type}: ran {sorted(ran)}, expected {sorted(COMMANDS)}")
    for (port, ecu_type, command), attempts in runs.items():
        with open(os.path.join(profiles, f"{ecu_type}.json")) as f:
            profile = json.load(f)
        name = f"{port} {ecu_type} {command}"
        # Every attempt must show the driver's settings; only the last one's output counts.
        for attempt, run in sorted(attempts.items()):
            found, held = judge_driver(run, profile, command, port.startswith("ttyUSB"))
            problems += [f"{name} (attempt {attempt}): {p}" for p in found]
            seen.setdefault((port, ecu_type), set()).update(held)
            found = judge_output(run, profile, command)
            if attempt != max(attempts):
                retried += [f"{name} (attempt {attempt}): {p}" for p in found]
            else:
                problems += [f"{name}: {p}" for p in found]
    for prefix, driver in EXPECTED_PORTS.items():
        ran = [key for key in seen if key[0].startswith(prefix)]
        if len(ran) != 2:
            problems.append(f"{driver}: {len(ran)} ports ran, expected 2")
        for port, ecu_type in sorted(ran):
            held = "; ".join(sorted(seen[port, ecu_type]))
            print(f"{port} ({driver}, {ecu_type}) while the tool held it: {held}")
    for failure in retried:
        print(f"RETRIED {failure}")
    for problem in problems:
        print(f"PROBLEM {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
