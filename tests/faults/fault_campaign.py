#!/usr/bin/env python3
"""The fault campaign: runs the headless gateway against the web-mail stand-in for one send
cycle and one receive cycle, once for every failure point: each family of file operations
(tests/faults/faultinject.c), every k up to the number of such calls a clean cycle makes,
for each errno and for a kill at that call. After each faulted run a clean run finishes the
work, and the invariants of campaign_checks.py are checked. A broken invariant is printed
with its case (cycle:family:k:action), which --only runs again alone.

    fault_campaign.py --program BIN --injector LIB [--sample] [--jobs N] [--only CASE ...]
"""

import argparse
import concurrent.futures
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import campaign_checks as checks  # noqa: E402
from campaign_site import Run, Standin, copy_site, layout_site  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
FAMILIES = ("open", "write", "fsync", "rename", "link", "unlink", "mkdir", "read")
ERRNOS = ("ENOSPC", "EIO", "EDQUOT", "EACCES")
ACTIONS = ERRNOS + ("kill",)
CYCLES = ("send", "receive")
# A run waits this long for its cycles (a failed fetch pauses 15 s before the next try).
RUN_LIMIT = 240


class Case:
    def __init__(self, cycle, family, k, action):
        self.cycle, self.family, self.k, self.action = cycle, family, k, action

    def __str__(self):
        return "%s:%s:%d:%s" % (self.cycle, self.family, self.k, self.action)

    @staticmethod
    def parse(text):
        cycle, family, k, action = text.split(":")
        if cycle not in CYCLES or family not in FAMILIES or action not in ACTIONS:
            raise argparse.ArgumentTypeError("not a case: " + text)
        return Case(cycle, family, int(k), action)


class Fired:
    """What the injector reported: the call it failed or killed, and the stack."""

    def __init__(self, path):
        lines = path.read_text(errors="replace").splitlines()
        family, k, self.errno_name, self.path = lines[0].split(" ", 3)
        self.stack = lines[1:]
        self.on_log = "/LOG/" in self.path


class Slot:
    """One stand-in and one installation template; runs one case at a time."""

    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.standin = Standin(ROOT, work)
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(work),
                    "XDG_RUNTIME_DIR": str(work / "run"), "LANG": "C",
                    "QT_QPA_PLATFORM": "no-such-platform", "SSL_CERT_FILE": self.standin.ca_file}
        (work / "run").mkdir(mode=0o700)
        self.template = work / "template"
        self.site = work / "site"
        layout_site(args.program, self.template, self.standin, self.env, self.site)

    def close(self):
        self.standin.close()

    def injector_env(self, case, counts, report):
        env = dict(self.env, LD_PRELOAD=str(self.args.injector),
                   DOVRANT_FAULT_UNDER=str(self.site), DOVRANT_FAULT_COUNTS=str(counts),
                   DOVRANT_FAULT_REPORT=str(report))
        if case:
            env.update(DOVRANT_FAULT_FAMILY=case.family, DOVRANT_FAULT_AT=str(case.k),
                       DOVRANT_FAULT_ACTION=case.action)
        return env

    def prepare(self, cycle):
        copy_site(self.template, self.site, cycle == "send")
        self.standin.reset(cycle == "receive")
        runs = self.work / "runs"
        shutil.rmtree(runs, ignore_errors=True)
        runs.mkdir()
        return runs

    def run(self, env, name, runs):
        # A receive always runs; a send when the Outbox holds a file to send.
        cycles = ["receive"] + (["send"] if checks.sendable_waiting(self.site) else [])
        return Run(self.args.program, self.site, env, runs, name, cycles, RUN_LIMIT)

    def count(self, cycle):
        """A dry run: how many calls of each family the cycle makes."""
        runs = self.prepare(cycle)
        counts = runs / "counts"
        run = self.run(self.injector_env(None, counts, runs / "report"), "dry", runs)
        problems = checks.check_run(run, "dry", False)
        if problems:
            raise SystemExit("the dry run of the %s cycle failed: %s" % (cycle, problems))
        return {line.split()[0]: int(line.split()[1])
                for line in counts.read_text().splitlines()}

    def case(self, case):
        runs = self.prepare(case.cycle)
        raws = [self.standin.raw(i) for i in self.standin.mailbox()]
        report = runs / "report"
        faulted = self.run(self.injector_env(case, runs / "counts", report), "faulted", runs)
        fired = Fired(report) if report.exists() else None
        killed = bool(fired) and case.action == "kill"
        refused = checks.start_refused(faulted, fired)
        problems = checks.check_run(faulted, "faulted", killed, refused)
        complete = (checks.send_complete if case.cycle == "send" else checks.receive_complete)
        incomplete = complete(self.site, self.standin)
        if fired and not killed and not refused:
            problems += checks.check_reported(faulted, case.cycle, incomplete, fired)
        clean = self.run(self.env, "clean", runs)
        problems += checks.check_run(clean, "clean", False)
        if case.cycle == "send":
            problems += checks.check_sent_files(self.site, self.standin)
        else:
            problems += checks.check_received_messages(self.site, self.standin, raws)
        problems += checks.check_leftovers(self.site)
        problems += checks.check_passwords(self.site, (faulted, clean), self.standin)
        result = {"case": str(case), "fired": bool(fired), "problems": problems,
                  "seconds": round(faulted.seconds + clean.seconds, 2),
                  "path": fired.path if fired else None,
                  "stack": fired.stack if fired and problems else []}
        if problems and self.args.keep:
            kept = self.args.work / "failed" / str(case).replace(":", "-")
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(self.work / "site", kept / "site", symlinks=True)
            shutil.copytree(runs, kept / "runs")
        return result


def spread(count, n):
    """n values of k spread over 1..count (fewer when count is small)."""
    if count <= n:
        return list(range(1, count + 1))
    return sorted({1 + round(i * (count - 1) / (n - 1)) for i in range(n)})


def plan(counts, sample):
    """Every case of the whole campaign, or the sample: every family with spread values of k,
    the errno kinds and the kill in turn, the families' first values first (so a spent time
    budget leaves out the last values of k, never a family)."""
    if not sample:
        return [Case(cycle, family, k, action) for cycle in CYCLES for family in FAMILIES
                for k in range(1, counts[cycle].get(family, 0) + 1) for action in ACTIONS]
    turns = ("ENOSPC", "kill", "EIO", "kill", "EACCES", "kill", "EDQUOT")
    rows = []
    turn = 0
    for cycle in CYCLES:
        for family in FAMILIES:
            row = []
            for k in spread(counts[cycle].get(family, 0), sample):
                row.append(Case(cycle, family, k, turns[turn % len(turns)]))
                turn += 1
            rows.append(row)
    return [row[i] for i in range(sample) for row in rows if i < len(row)]


def symbolize(program, stack):
    """The program's frames of the injector's report, inlined ones too, as "function file:line"."""
    out = []
    for line in stack:
        if str(program) not in line or "(+0x" not in line:
            continue
        address = line.split("(+", 1)[1].split(")", 1)[0]
        try:
            lines = subprocess.run(["addr2line", "-f", "-C", "-i", "-e", str(program), address],
                                   capture_output=True, text=True, timeout=10).stdout.split("\n")
        except (OSError, subprocess.SubprocessError):
            out.append("    " + line)
            continue
        for function, place in zip(lines[0::2], lines[1::2]):
            if "/usr/include/" not in place:
                out.append("    %s %s" % (function.split("(")[0], place.rsplit("/", 1)[-1]))
    return out


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("--injector", type=Path, required=True)
    parser.add_argument("--sample", type=int, default=0, metavar="N",
                        help="N spread values of k per family (the CI sample); 0: every k")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--only", type=Case.parse, nargs="+", help="run these cases alone")
    parser.add_argument("--work", type=Path, help="keep the work here (default: a temporary folder)")
    parser.add_argument("--keep", action="store_true", help="keep the site and runs of failed cases")
    parser.add_argument("--results", type=Path, help="write one JSON line per case here")
    parser.add_argument("--budget", type=float, metavar="SECONDS",
                        help="start no case after this time; the cases left are reported")
    args = parser.parse_args()
    args.program = args.program.resolve()
    args.injector = args.injector.resolve()
    return args


def print_result(args, result, done, total):
    if result["problems"]:
        print("FAIL %s (%s)" % (result["case"], result["path"]))
        for problem in result["problems"]:
            print("    " + problem)
        for line in symbolize(args.program, result["stack"])[:16]:
            print(line)
    elif done % 50 == 0:
        print("... %d of %d cases" % (done, total))
    sys.stdout.flush()


def run_cases(args, slots, cases, started):
    """Runs the cases on the slots; the results, and the cases the time budget left out."""
    results, skipped = [], []
    lock = threading.Lock()
    out = open(args.results, "w") if args.results else None

    def work(case):
        if args.budget and time.monotonic() - started > args.budget:
            with lock:
                skipped.append(case)
            return
        slot = slots.get()
        try:
            result = slot.case(case)
        except Exception as error:  # a broken harness is reported as the case's problem
            result = {"case": str(case), "fired": False, "seconds": 0, "path": None,
                      "stack": [], "problems": ["campaign error: %r" % error]}
        finally:
            slots.put(slot)
        with lock:
            results.append(result)
            if out:
                out.write(json.dumps(result) + "\n")
                out.flush()
            print_result(args, result, len(results), len(cases))

    with concurrent.futures.ThreadPoolExecutor(slots.qsize()) as pool:
        list(pool.map(work, cases))
    if out:
        out.close()
    return results, skipped


def main():
    args = parse_args()
    started = time.monotonic()
    temporary = None
    if not args.work:
        temporary = tempfile.TemporaryDirectory(prefix="dovrant-faults-")
        args.work = Path(temporary.name)
    args.work.mkdir(parents=True, exist_ok=True)
    jobs = max(1, min(args.jobs, len(args.only)) if args.only else args.jobs)
    slots = queue.Queue()
    made = []
    try:
        for n in range(jobs):
            work = args.work / ("slot%d" % n)
            shutil.rmtree(work, ignore_errors=True)
            work.mkdir()
            made.append(Slot(args, work))
            slots.put(made[-1])
        cases = args.only
        if not cases:
            counts = {cycle: made[0].count(cycle) for cycle in CYCLES}
            for cycle in CYCLES:
                print("dry run, %s cycle: %s" % (cycle, ", ".join(
                    "%s %d" % (f, counts[cycle].get(f, 0)) for f in FAMILIES)), flush=True)
            cases = plan(counts, args.sample)
        print("%d runs of %d cases on %d slots" % (2 * len(cases), len(cases), jobs), flush=True)
        results, skipped = run_cases(args, slots, cases, started)
    finally:
        for slot in made:
            slot.close()
        if temporary:
            temporary.cleanup()
    if skipped:
        print("BUDGET of %.0f s spent: %d cases not run (first: %s)" % (
            args.budget, len(skipped), skipped[0]))
    failed = [r for r in results if r["problems"]]
    fired = {r["case"].rsplit(":", 1)[0] for r in results if r["fired"]}
    print("%d runs, %d cases, %d failure points fired (%d faults), %d cases failed, %.0f s" % (
        2 * len(results), len(results), len(fired), sum(r["fired"] for r in results),
        len(failed), time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
