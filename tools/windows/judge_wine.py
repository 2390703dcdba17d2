#!/usr/bin/python3
"""Judges the runs of the tool under wine (tools/windows.sh) against the 15m profile and
the simulator's traces.

usage: judge_wine.py RUNS_DIR PROFILES_DIR
       judge_wine.py --interrupted TRACE_CSV

The first form checks info, live, faults and test outputs; the second that a test cut short
by Ctrl-C ended properly on the wire: FF sent after the test started (and before the port
closed, where the trace shows the closing), and the ECU out of diagnostic mode. Exits 1 on any problem, after listing them.
"""

import csv
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "real_drivers"))
import judge  # noqa: E402


def lines(path):
    with open(path, encoding="utf-8", errors="replace") as file:
        return [line.rstrip("\r\n") for line in file]


def judge_runs(runs, profiles):
    with open(os.path.join(profiles, "15m.json"), encoding="utf-8") as file:
        profile = json.load(file)
    problems = []
    for command in ("info", "live"):
        run = {"status": ["0"], "err": [], "out": lines(os.path.join(runs, command + ".out"))}
        problems += [f"{command}: {p}" for p in judge.judge_output(run, profile, command)]
    try:
        with open(os.path.join(runs, "faults.out"), encoding="utf-8") as file:
            faults = json.load(file)
        if faults.get("ecu_type") != "15m" or len(faults.get("faults", [])) != 10:
            problems.append(f"faults: {faults}")
    except ValueError as error:
        problems.append(f"faults: not JSON ({error})")
    test = lines(os.path.join(runs, "test.out"))
    if "Test finish" not in test:
        problems.append(f"test: no verdict in {test[-3:]}")
    return problems


def judge_interrupted(trace_path):
    with open(trace_path, encoding="utf-8") as file:
        rows = list(csv.DictReader(file))
    started = next((i for i, r in enumerate(rows) if r["note"].startswith("actuator test")), None)
    if started is None:
        return ["no actuator test started"]
    # Wine's closing of its COM port does not reach the simulator, whose port the relay holds;
    # the relay's own closing, when the run is over, is noted only if the simulator saw it.
    closed = next((i for i, r in enumerate(rows) if r["note"] == "PC side closed the port"),
                  len(rows))
    problems = []
    ending = [r for r in rows[started:closed] if r["dir"] == "pc" and r["byte"] == "FF"]
    if not ending:
        problems.append("no FF between the test's start and the port's close")
    if not any(r["note"] == "diagnostic mode left" for r in rows[started:closed]):
        problems.append("the ECU never left diagnostic mode")
    return problems


def main():
    if sys.argv[1] == "--interrupted":
        problems = judge_interrupted(sys.argv[2])
    else:
        problems = judge_runs(sys.argv[1], sys.argv[2])
    for problem in problems:
        print(problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
