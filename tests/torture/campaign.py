#!/usr/bin/env python3
"""Reliability campaign: kills, signals and concurrent writers against the
real program, with the figures it measured. Run on demand (`make torture`),
not by `make test`: the whole campaign takes a quarter of an hour or more.

  campaign.py BUILD_DIR [--saves N] [--recordings N] [--writers N] [--signals N]

Each round works in a fresh scratch home. A round fails when a record file is
torn (does not parse), a record reported saved is missing, a recording is
recovered twice or loses more than five seconds, or the stored total differs
from the jumps of the saved records.
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LOST_SECONDS = 5.0
CADENCE = 2.0  # simulated jumps per second


def env_for(home, window=False):
    env = dict(os.environ)
    env.update(XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
               XDG_RUNTIME_DIR=home, HOME=home, TZ="UTC", LC_ALL="C.UTF-8")
    if not window:
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
    else:
        # No session bus: a Hopster the user has open would otherwise answer
        # for each window started here (one window per session).
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/session_bus_socket"
    return env


class Home:
    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="hopster-torture-")
        self.parsed = {}  # file name -> (size, mtime, id, jumps), so each file is parsed once
        self.documents = f"{self.path}/data/hopster/Documents"
        self.settings = f"{self.path}/config/hopster/settings.json"

    def records(self):
        """(records by id, torn file names)"""
        records, torn = {}, []
        if not os.path.isdir(self.documents):
            return records, torn
        for name in os.listdir(self.documents):
            if not name.endswith(".json"):
                continue
            info = os.stat(f"{self.documents}/{name}")
            known = self.parsed.get(name)
            if known and known[:2] == (info.st_size, info.st_mtime_ns):
                records[known[2]] = (name, known[3])
                continue
            try:
                with open(f"{self.documents}/{name}", encoding="utf-8") as f:
                    record = json.load(f)
                records[record["id"]] = (name, record["jumps"])
                self.parsed[name] = (info.st_size, info.st_mtime_ns, record["id"], record["jumps"])
            except (ValueError, KeyError):
                torn.append(name)
        return records, torn

    def journals(self):
        if not os.path.isdir(self.documents):
            return []
        # Journals in any stage; a journal's temporary file (".tmp") left by
        # a kill before it was named is the records folder's housekeeping.
        return [n for n in os.listdir(self.documents)
                if n.startswith(".hopster-recording-") and not n.endswith(".tmp")]

    def total(self):
        try:
            with open(self.settings, encoding="utf-8") as f:
                return json.load(f).get("totalJumps", 0)
        except FileNotFoundError:
            return 0

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def start_program(hopster, home, args):
    """One start of the program that only recovers what is left (its own
    recording is too short to hold a jump)."""
    done = subprocess.run([hopster, "--headless", "--fast", "--seconds", "0.5", *args],
                          env=env_for(home.path), capture_output=True, text=True, timeout=120)
    return done


def check_totals(home, problems, label):
    records, torn = home.records()
    if torn:
        problems.append(f"{label}: torn files {torn}")
    saved = sum(jumps for _, jumps in records.values())
    if home.total() != saved:
        problems.append(f"{label}: total {home.total()} != saved jumps {saved}")
    return records


def kill_during_saves(hopster, save_loop, rounds):
    problems, reported_total = [], 0
    home = Home()
    try:
        for r in range(rounds):
            proc = subprocess.Popen([save_loop, home.documents, home.settings, str(r + 1)],
                                    stdout=subprocess.PIPE, text=True, env=env_for(home.path))
            time.sleep(random.uniform(0.005, 0.15))
            proc.kill()
            out, _ = proc.communicate()
            reported = [line.split()[1] for line in out.splitlines() if line.startswith("saved ")]
            reported_total += len(reported)
            start_program(hopster, home, [])
            records = check_totals(home, problems, f"save round {r}")
            names = {name[:-5] for name, _ in records.values()}
            missing = [s for s in reported if s not in names]
            if missing:
                problems.append(f"save round {r}: reported saved but missing {missing}")
            if home.journals():
                problems.append(f"save round {r}: journals left {home.journals()}")
        records, _ = home.records()
        return dict(rounds=rounds, records=len(records), reported_saved=reported_total,
                    problems=problems)
    finally:
        home.remove()


def kill_during_recordings(hopster, rounds):
    problems, worst_lost = [], 0.0
    for r in range(rounds):
        home = Home()
        try:
            proc = subprocess.Popen(
                [hopster, "--headless", "--fast", "--seconds", "3600", "--seed", str(r + 1)],
                stdout=subprocess.PIPE, text=True, env=env_for(home.path))
            time.sleep(random.uniform(0.2, 1.5))
            proc.kill()
            out, _ = proc.communicate()
            counts = [int(m.group(1)) for m in re.finditer(r"^Jumps: (\d+)$", out, re.M)]
            counted = counts[-1] if counts else 0
            start_program(hopster, home, [])
            start_program(hopster, home, [])  # a second start must find nothing more
            records = check_totals(home, problems, f"recording round {r}")
            recovered = sum(j for _, j in records.values())
            if counted >= 1 and len(records) != 1:
                problems.append(f"recording round {r}: {len(records)} records for one recording")
            lost = (counted - recovered) / CADENCE
            worst_lost = max(worst_lost, lost)
            if recovered > counted or lost > LOST_SECONDS:
                problems.append(f"recording round {r}: counted {counted}, recovered {recovered}")
        finally:
            home.remove()
    return dict(rounds=rounds, worst_seconds_lost=worst_lost, problems=problems)


def concurrent_writers(hopster, rounds, writers=4):
    problems = []
    for r in range(rounds):
        home = Home()
        try:
            procs = [subprocess.Popen(
                [hopster, "--headless", "--fast", "--seconds", str(random.randint(5, 30)),
                 "--seed", str(r * writers + w + 1)],
                stdout=subprocess.DEVNULL, env=env_for(home.path)) for w in range(writers)]
            for proc in procs:
                if proc.wait(timeout=300) != 0:
                    problems.append(f"writers round {r}: a run failed")
            records = check_totals(home, problems, f"writers round {r}")
            if len(records) != writers:
                problems.append(f"writers round {r}: {len(records)} records of {writers}")
        finally:
            home.remove()
    return dict(rounds=rounds, writers=writers, problems=problems)


def close_window(window_id, display):
    """Asks the window to close as a window manager's close button would
    (WM_DELETE_WINDOW), through python3-xlib."""
    from Xlib import X, display as xdisplay, protocol
    d = xdisplay.Display(display)
    window = d.create_resource_object("window", window_id)
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    d.flush()


def quit_during_recordings(hopster, rounds):
    problems, results = [], {}
    display = os.environ.get("DISPLAY")
    for way in ("SIGTERM", "SIGHUP", "window SIGTERM", "window close"):
        saved = 0
        window = way.startswith("window")
        if window and not display:
            results[way] = "skipped: no DISPLAY (run under xvfb-run)"
            continue
        for r in range(rounds):
            home = Home()
            try:
                os.makedirs(os.path.dirname(home.settings), exist_ok=True)
                with open(home.settings, "w", encoding="utf-8") as f:
                    f.write('{"hasSeenOnboarding": true}')
                args = ["--start"] if window else ["--headless", "--seconds", "600"]
                proc = subprocess.Popen([hopster, *args], stdout=subprocess.PIPE, text=True,
                                        env=env_for(home.path, window))
                time.sleep(random.uniform(6.5, 9.0))
                if way == "window close":
                    ids = subprocess.run(["xdotool", "search", "--pid", str(proc.pid)],
                                         capture_output=True, text=True).stdout.split()
                    for window_id in ids:
                        close_window(int(window_id), display)
                else:
                    proc.send_signal(signal.SIGHUP if way == "SIGHUP" else signal.SIGTERM)
                try:
                    status = proc.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    status = -1
                proc.communicate()
                records = check_totals(home, problems, f"{way} round {r}")
                if status == 0 and len(records) == 1 and not home.journals():
                    saved += 1
                else:
                    problems.append(f"{way} round {r}: exit {status}, {len(records)} records")
            finally:
                home.remove()
        results[way] = f"saved {saved} of {rounds}"
    return dict(results=results, problems=problems)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--saves", type=int, default=1000)
    parser.add_argument("--recordings", type=int, default=200)
    parser.add_argument("--writers", type=int, default=100)
    parser.add_argument("--signals", type=int, default=10)
    args = parser.parse_args()
    hopster = os.path.abspath(f"{args.build_dir}/src/app/hopster")
    save_loop = os.path.abspath(f"{args.build_dir}/tests/torture/save_loop")
    random.seed(20261207)
    failed = False
    for name, run in (("kill -9 during saves", lambda: kill_during_saves(hopster, save_loop, args.saves)),
                      ("kill -9 during recordings", lambda: kill_during_recordings(hopster, args.recordings)),
                      ("concurrent writers", lambda: concurrent_writers(hopster, args.writers)),
                      ("quitting during recordings", lambda: quit_during_recordings(hopster, args.signals))):
        began = time.monotonic()
        result = run()
        problems = result.pop("problems")
        failed = failed or bool(problems)
        print(f"{name}: {result}, {len(problems)} problems, {time.monotonic() - began:.0f} s",
              flush=True)
        for problem in problems[:20]:
            print(f"  {problem}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
