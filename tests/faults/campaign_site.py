"""The world of one campaign slot: a web-mail stand-in, an installation laid out by the
program itself, the files of a send cycle and the messages of a receive cycle, and runs of
the headless gateway on it."""

import base64
import json
import os
import shutil
import signal
import subprocess
import time
import urllib.request
from pathlib import Path

# A throw-away password: no file, log, output or upload may hold it.
PASSWORD = "Qz9Tw7Xp4Rs"
SELF = "self@faults.example"
PARTNER = "partner@faults.example"
LOGIN = "F1"
# The inbox sub-folder of attachments whose names start "ORD-".
SUB_FOLDER = "ORDERS"


def _text_file(lines, width):
    return b"".join(b"%06d " % n + b"x" * width + b"\r\n" for n in range(lines))


# The send cycle: a few Outbox files, one of them large enough for several reads and writes.
OUTBOX_FILES = {
    "A1.TXT": b"ORDER 1\r\nqty 12\r\n",
    "A2.TXT": _text_file(1500, 90),
    "A3.TXT": b"ORDER 3\r\n",
}

# The receive cycle: one message with several attachments, one whose attachment goes to an
# inbox sub-folder, one plain. Attachments are (name, bytes); the sub-folder is by name.
MESSAGES = [
    {"subject": "R1", "attachments": [("R100.TXT", b"receipt 100\r\n")]},
    {"subject": "R2", "attachments": [("R201.TXT", b"part one\r\n"),
                                      ("R202.DAT", bytes(range(256)) * 400),
                                      ("R203.TXT", b"part three\r\n")]},
    {"subject": "R3", "attachments": [("ORD-300.TXT", b"order for the sub-folder\r\n")]},
]


def attachment_folder(site, name):
    """Where an attachment of MESSAGES is stored."""
    return site / "INBOX" / SUB_FOLDER if name.startswith("ORD-") else site / "INBOX"


def encode_stored_password(password):
    """The USER.INI form of a password (each byte XOR 0x6B, awkward results escaped)."""
    escaped = {0: "\0", 1: "\n", 2: "\r", 3: " ", 4: "\t", 5: "k", 6: '"', 7: "'"}
    scrambled = "".join(chr(ord(c) ^ 0x6B) for c in password)
    if any(c in escaped.values() for c in scrambled):
        raise ValueError("pick a password whose stored form needs no escapes")
    return scrambled


class Standin:
    """The web-mail stand-in of one slot, with the campaign's account and messages."""

    def __init__(self, root, work):
        self.state = work / "standin"
        self.bodies = work / "uploads"
        self.state.mkdir(parents=True)
        self.bodies.mkdir()
        accounts = self.state / "accounts.json"
        accounts.write_text(json.dumps({"accounts": [
            {"email": SELF, "login": LOGIN, "password": PASSWORD}]}))
        seed = self.state / "seed.json"
        seed.write_text(json.dumps({SELF: [
            {"from": "orders@partner.example", "subject": m["subject"], "text": "see attached",
             "attachments": [{"name": name, "data_b64": base64.b64encode(data).decode()}
                             for name, data in m["attachments"]]}
            for m in MESSAGES]}))
        self.proc = subprocess.Popen(
            ["python3", str(root / "tools/webmail/webmail_standin.py"), "--exit-on-stdin-eof",
             "--max-lifetime", "0", "--state-dir", str(self.state), "--accounts", str(accounts),
             "--seed", str(seed), "--save-bodies", str(self.bodies),
             "--log-file", str(self.state / "requests.log")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        info = json.loads(self.proc.stdout.readline())
        self.control = info["control_port"]
        self.ca_file = info["ca_file"]
        self.urls = info["urls"]["https"]

    def close(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def call(self, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(
            "http://127.0.0.1:%d/_control/%s" % (self.control, path), data=data,
            method="GET" if body is None else "POST",
            headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=30) as answer:
            raw = answer.read()
        return raw if path.startswith("message?") else json.loads(raw)

    def reset(self, with_messages):
        """Faults, uploads and mailboxes as at the start; the saved upload bodies gone."""
        self.call("reset", {})
        if not with_messages:
            self.call("mailbox/clear", {"address": SELF})
        for body in self.bodies.iterdir():
            body.unlink()

    def mailbox(self):
        """The ids in the campaign's mailbox, in order."""
        answer = self.call("mailboxes?address=" + SELF)
        boxes = answer.get("mailboxes", answer)
        items = boxes.get(SELF, []) if isinstance(boxes, dict) else []
        return [item["id"] for item in items]

    def raw(self, msg_id):
        return self.call("message?address=%s&id=%s" % (SELF, msg_id))

    def upload_bodies(self):
        return [p.read_bytes() for p in sorted(self.bodies.iterdir())]


def layout_site(program, site, standin, env, runs_at):
    """A new installation made by the program's --init, set up for the campaign to run as a
    copy at runs_at."""
    subprocess.run([str(program), "--init", str(site)], env=env, check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    dvr = site / "DVR"
    (dvr / "USER.INI").write_text(
        "[SYSTEM]\nLOG_LEVEL=1\nAUTOIMPORT=1\n"
        "[IDENTIFICATION]\nEMAIL_ADDR=%s\nLOGIN_ID=%s\nPASSWORD=%s\n"
        "[CONNECTION]\nLEASE_LINE=1\nTIMEOUT=30\n[SCHEDULE]\nCONNECT_OPTION=1\n"
        "[HOUSEKEEP]\nAUTO_PURGE=0\n[iFile]\nTXT=1\nDAT=1\n[INBOX]\nORD=%s/\n"
        % (SELF, LOGIN, encode_stored_password(PASSWORD), runs_at / "INBOX" / SUB_FOLDER))
    urls = standin.urls
    (dvr / "DVR.INI").write_text(
        "[SYSTEM]\nVERSION=1.0.0\nEMAIL_CONTENT_TYPE=multipart/mixed\n[CONNECTION]\n"
        "WEBMAILCOUNTER=%s\nWEBMAILRETRIEVER=%s\nWEBMAILDELETE=%s\n[IDX]\nA=ORDERS\n"
        "[ORDERS]\nEMAIL=%s\nWebMailSender=%s\n"
        % (urls["counter"], urls["retriever"], urls["deleter"], PARTNER, urls["sender"]))


def copy_site(template, site, with_files):
    if site.exists():
        shutil.rmtree(site)
    shutil.copytree(template, site, symlinks=True)
    if with_files:
        for name, data in OUTBOX_FILES.items():
            (site / "OUTBOX" / name).write_bytes(data)


def _signals_blocked(pid, signals):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("SigBlk:"):
                    mask = int(line.split()[1], 16)
                    return all(mask & (1 << (s - 1)) for s in signals)
    except OSError:
        pass
    return False


def read_status(site):
    try:
        return json.loads((site / "LOG" / "status.json").read_text())
    except (OSError, ValueError):
        return None


def log_lines(path):
    if not path:
        return []
    return [line.split("] ", 1)[-1]
            for line in path.read_bytes().decode("latin-1").split("\r\n") if line]


class Run:
    """One run of the headless gateway: started, asked for a transfer (SIGUSR1), let finish
    the cycles it is expected to run, stopped (SIGTERM) and waited for."""

    CYCLE_LINES = {"send": "Send finish", "receive": "Receive finish"}
    STATUS_KEYS = {"send": "last_send", "receive": "last_receive"}

    def __init__(self, program, site, env, out_dir, name, cycles, limit):
        self.site = site
        logs_before = set((site / "LOG").glob("*.log"))
        self.out = out_dir / (name + ".out")
        self.err = out_dir / (name + ".err")
        started = time.monotonic()
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            proc = subprocess.Popen([str(program), "--headless", "--dir", str(site)], env=env,
                                    stdout=out, stderr=err)
        self.pid = proc.pid
        self.hung = False
        deadline = started + limit
        while proc.poll() is None and not _signals_blocked(proc.pid, (signal.SIGUSR1,
                                                                       signal.SIGTERM)):
            if time.monotonic() > deadline:
                break
            time.sleep(0.005)
        if proc.poll() is None:
            proc.send_signal(signal.SIGUSR1)
        while proc.poll() is None and not self._cycles_done(cycles, logs_before):
            if time.monotonic() > deadline:
                self.hung = True
                break
            time.sleep(0.02)
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(60)
        except subprocess.TimeoutExpired:
            self.hung = True
            proc.kill()
            proc.wait()
        self.seconds = time.monotonic() - started
        self.code = proc.returncode
        self.log = self._own_log(logs_before)
        self.lines = log_lines(self.log)
        self.status = read_status(site)
        if self.status and self.status.get("pid") != self.pid:
            self.status = None

    def _own_log(self, before):
        new = sorted(set((self.site / "LOG").glob("*.log")) - before)
        return new[-1] if new else None

    def _cycles_done(self, cycles, logs_before):
        status = read_status(self.site)
        if status and status.get("pid") == self.pid and all(
                (status.get(self.STATUS_KEYS[c]) or {}).get("time") for c in cycles):
            return True
        lines = log_lines(self._own_log(logs_before))
        return all(self.CYCLE_LINES[c] in lines for c in cycles)

    def stderr_text(self):
        return self.err.read_bytes().decode("latin-1")
