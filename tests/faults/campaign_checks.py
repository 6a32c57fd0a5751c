"""What must hold after a faulted run and the clean run that follows it. Each check returns
a list of problems, one line each, naming the paths involved."""

import errno
import os
import re
import signal
from pathlib import Path

from campaign_site import (MESSAGES, OUTBOX_FILES, PASSWORD, attachment_folder)

CRASH_MARKS = ("terminate called", "Aborted", "Segmentation fault", "runtime error:",
               "AddressSanitizer", "core dumped")
SENDABLE = (".TXT", ".DAT")


def copies(folder, name):
    """The files in folder named name or NAME_n.EXT (the free names of name)."""
    stem, dot, ext = name.rpartition(".")
    if not dot:
        stem, ext = name, ""
    pattern = re.compile(re.escape(stem) + r"(_\d+)?" + (re.escape("." + ext) if dot else "") + "$")
    if not folder.is_dir():
        return []
    return [p for p in sorted(folder.iterdir()) if p.is_file() and pattern.match(p.name)]


def whole_and_partial(paths, data):
    whole = [p for p in paths if p.read_bytes() == data]
    return whole, [p for p in paths if p not in whole]


def sendable_waiting(site):
    outbox = site / "OUTBOX"
    return any(p.is_file() and p.suffix.upper() in SENDABLE for p in outbox.iterdir())


# ---- the state of the folders ----

def send_complete(site, standin):
    """Empty when every Outbox file went and is filed in the Sentbox; else what is not so."""
    missing = []
    bodies = standin.upload_bodies()
    for name, data in OUTBOX_FILES.items():
        whole, _ = whole_and_partial(copies(site / "SENTBOX", name), data)
        if len(whole) != 1 or (site / "OUTBOX" / name).exists():
            missing.append(name)
        elif not any(data in body for body in bodies):
            missing.append(name + " (never uploaded)")
    return missing


def receive_complete(site, standin):
    missing = ["%s still in the mailbox" % i for i in standin.mailbox()]
    for message in MESSAGES:
        for name, data in message["attachments"]:
            whole, _ = whole_and_partial(copies(attachment_folder(site, name), name), data)
            if len(whole) != 1:
                missing.append(name)
    return missing


def check_sent_files(site, standin):
    problems = []
    bodies = standin.upload_bodies()
    for name, data in OUTBOX_FILES.items():
        places = {folder: copies(site / folder, name) for folder in ("OUTBOX", "SENTBOX", "ERROR")}
        kept = site / "OUTBOX" / (name + ".sent")
        if kept.exists():
            places["OUTBOX"].append(kept)
        whole = []
        for folder, paths in places.items():
            w, partial = whole_and_partial(paths, data)
            whole += w
            problems += ["%s: not whole: %s" % (name, p) for p in partial]
        if len(whole) != 1:
            problems.append("%s: %d whole copies (%s)" % (
                name, len(whole), ", ".join(str(p) for p in whole) or "lost"))
        elif whole[0].parent.name == "SENTBOX" and not any(data in b for b in bodies):
            problems.append("%s: in the Sentbox but never uploaded: %s" % (name, whole[0]))
        elif whole[0].parent.name == "OUTBOX" and whole[0].suffix != ".sent":
            problems.append("%s: still in the Outbox after the clean run" % name)
    return problems


def check_received_messages(site, standin, raws):
    problems = ["%s: still in the mailbox after the clean run" % i for i in standin.mailbox()]
    kept = [p for p in (site / "ERROR").glob("RECV_*.eml")]
    for message, raw in zip(MESSAGES, raws):
        in_error = [p for p in kept if p.read_bytes() == raw]
        if len(in_error) > 1:
            problems.append("%s: kept %d times in the Error folder: %s" % (
                message["subject"], len(in_error), ", ".join(map(str, in_error))))
        for name, data in message["attachments"]:
            whole, partial = whole_and_partial(copies(attachment_folder(site, name), name), data)
            problems += ["%s: not whole: %s" % (name, p) for p in partial]
            if len(whole) > 1:
                problems.append("%s: stored %d times: %s" % (name, len(whole),
                                                            ", ".join(map(str, whole))))
            if not whole and not in_error:
                problems.append("%s of %s: lost (neither stored nor kept in the Error folder)"
                                % (name, message["subject"]))
    raws_known = set(raws)
    problems += ["unknown file in the Error folder: %s" % p for p in kept
                 if p.read_bytes() not in raws_known]
    return problems


def check_leftovers(site):
    """No work folder, temporary file or ".sent" file stays."""
    problems = []
    for folder in ("OUTBOX", "INBOX", "SENTBOX", "ERROR", "TEMP"):
        for dirpath, dirnames, filenames in os.walk(site / folder):
            for name in dirnames + filenames:
                path = Path(dirpath) / name
                if name.startswith("~qb") or name.startswith(".dvr-") or name.endswith(".sent"):
                    problems.append("leftover: %s" % path)
                elif folder in ("OUTBOX", "TEMP"):
                    problems.append("left in %s: %s" % (folder, path))
    return problems


def check_passwords(site, runs, standin):
    problems = []
    needle = PASSWORD.encode()
    for dirpath, _, filenames in os.walk(site):
        for name in filenames:
            path = Path(dirpath) / name
            if path.is_file() and needle in path.read_bytes():
                problems.append("password in %s" % path)
    for run in runs:
        for path in (run.out, run.err):
            if needle in path.read_bytes():
                problems.append("password in the output %s" % path)
    problems += ["password in an upload" for body in standin.upload_bodies() if needle in body]
    return problems


# ---- the runs ----

def start_refused(run, fault):
    """The gateway could not take its lock file or keep its log at the start: it ended at once
    with exit status 1 and one line on standard error naming the error and the file, so that
    a service manager restarts it. Nothing was transferred, so there is nothing to report."""
    if run.hung or run.code != 1 or not fault or fault.errno_name == "kill":
        return False
    text = os.strerror(getattr(errno, fault.errno_name))
    return any(text in line and Path(fault.path).name in line
               for line in run.stderr_text().splitlines())


def check_run(run, what, killed, refused=False):
    """The run ended as it should: exit status 0 (or the injected kill, or a start refused
    with exit status 1), no crash, no hang."""
    problems = []
    if run.hung:
        problems.append("%s run: did not finish its cycles or close in time" % what)
    if killed:
        if run.code != -signal.SIGKILL:
            problems.append("%s run: the injected kill fired but the exit was %s" % (what, run.code))
    elif run.code != 0 and not refused:
        name = signal.Signals(-run.code).name if run.code < 0 else "exit status %d" % run.code
        problems.append("%s run: ended with %s" % (what, name))
    err = run.stderr_text()
    problems += ["%s run: %r on standard error" % (what, mark) for mark in CRASH_MARKS
                 if mark in err]
    return problems


def check_reported(run, cycle, incomplete, fault):
    """A cycle that left something undone is reported failed in the status file, and the
    log names the failure's errno with the file or folder it hit."""
    problems = []
    key = {"send": "last_send", "receive": "last_receive"}[cycle]
    status_unwritten = any(l.startswith("Unable to write the status file") for l in run.lines)
    if run.status is None:
        if not status_unwritten:
            problems.append("no status file of the faulted run")
    elif incomplete and (run.status.get(key) or {}).get("result") == "ok":
        problems.append("%s reported ok in the status file but: %s" % (
            cycle, "; ".join(incomplete)))
    if incomplete and fault and fault.errno_name != "kill" and not fault.on_log:
        text = os.strerror(getattr(errno, fault.errno_name))
        folder = str(Path(fault.path).parent)
        named = [l for l in run.lines if text in l and (folder in l or
                                                          Path(fault.path).name in l)]
        if not named:
            problems.append("the log does not name the failure (%s on %s)" % (text, fault.path))
    return problems
