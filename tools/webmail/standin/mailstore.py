"""Accounts, mailboxes and the mails the service composes.

A mailbox is keyed by its e-mail address, compared without regard to case. Messages are
kept as the exact bytes a retrieve call answers with; ids are "MSG" + a six-digit number,
unique for the life of the process, so they never hold ";" or "/" (the count answer's
separators) nor anything a URL would have to escape.
"""

import base64
import collections
import email.utils
import json
import os
import re
import threading
import time

CRLF = b"\r\n"


class Account:
    """One web-mail customer: the mailbox address, the login id and the password."""

    def __init__(self, email_addr, login, password, enabled=True):
        self.email = email_addr
        self.login = login
        self.password = password
        self.enabled = bool(enabled)

    def public(self):
        return {"email": self.email, "login": self.login, "enabled": self.enabled}


def account_from_json(item):
    try:
        return Account(str(item["email"]), str(item["login"]), str(item["password"]),
                       item.get("enabled", True))
    except (KeyError, TypeError) as err:
        raise ValueError("an account needs email, login and password") from err


def load_accounts(path):
    with open(path, "r", encoding="utf-8") as f:
        data = json.load(f)
    if isinstance(data, dict):
        data = data.get("accounts", [])
    return [account_from_json(item) for item in data]


def account_from_option(text):
    """EMAIL:LOGIN:PASSWORD; the password may itself hold colons."""
    parts = text.split(":", 2)
    if len(parts) != 3 or not parts[0] or not parts[1]:
        raise ValueError("--account wants EMAIL:LOGIN:PASSWORD")
    return Account(parts[0], parts[1], parts[2])


_ADDR_FORBIDDEN = re.compile(r'[\s<>()\[\],;:"\\]')
_DOMAIN = re.compile(r"^[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?$")


def valid_address(addr):
    """A bare address local@domain, as a web form would check it."""
    local, at, domain = addr.rpartition("@")
    if not at or not local or not domain or _ADDR_FORBIDDEN.search(local):
        return False
    return bool(_DOMAIN.match(domain)) and ".." not in domain


def header_value(raw, name):
    """The raw bytes of the first header field `name` of a mail, continuations joined;
    None when the header block has no such field."""
    want = name.lower().encode("ascii") + b":"
    found = None
    for line in raw.replace(CRLF, b"\n").split(b"\n"):
        if not line.strip():
            break
        if found is not None:
            if line[:1] in (b" ", b"\t"):
                found += b" " + line.strip()
                continue
            break
        if line.lower().startswith(want):
            found = line[len(want):].strip()
    return found


def _encoded_word(value):
    """Header text as it goes into a composed mail: 8-bit bytes travel as one B-encoded
    word labelled big5 (the label the gateway puts on its own mail), so no byte changes."""
    if all(32 <= b < 127 for b in value):
        return value
    return b"=?big5?B?" + base64.b64encode(value) + b"?="


def _param_name(name):
    """A file name as a header parameter: folders dropped, quotes and line breaks removed."""
    name = name.replace("\\", "/").rsplit("/", 1)[-1]
    data = name.encode("utf-8", "surrogateescape")
    data = bytes(b for b in data if b not in b'"\r\n\0')
    return _encoded_word(data) or b"attachment"


def _as_bytes(value):
    if isinstance(value, bytes):
        return value
    return str(value).encode("utf-8", "surrogateescape")


def compose_mail(sender, to, subject, text=None, attachments=(), domain="webmail.invalid"):
    """A multipart/mixed mail with an optional plain-text part and base64 attachments.

    text is bytes, a string, or a list of lines (each written with CR LF). attachments are
    (name, bytes, content type) triples; their bytes are kept exactly.
    """
    boundary = b"----=_Part_" + base64.b32encode(os.urandom(10)).rstrip(b"=")
    head = [
        b"Return-Path: <" + _as_bytes(sender) + b">",
        b"Message-ID: " + email.utils.make_msgid(domain=domain).encode("ascii"),
        b"Date: " + email.utils.formatdate(localtime=True).encode("ascii"),
        b"From: " + _as_bytes(sender),
        b"To: " + _as_bytes(to),
        b"Subject: " + _encoded_word(_as_bytes(subject)),
        b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="' + boundary + b'"',
    ]
    out = [CRLF.join(head), CRLF, CRLF, b"This is a multi-part message in MIME format.", CRLF]
    if text is not None:
        if isinstance(text, (list, tuple)):
            body = b"".join(_as_bytes(line) + CRLF for line in text)
        else:
            body = _as_bytes(text)
        eight_bit = any(b >= 128 for b in body)
        out += [CRLF, b"--", boundary, CRLF,
                b"Content-Type: text/plain; charset=", b"big5" if eight_bit else b"us-ascii", CRLF,
                b"Content-Transfer-Encoding: ", b"8bit" if eight_bit else b"7bit", CRLF, CRLF,
                body]
    for name, data, ctype in attachments:
        param = _param_name(name)
        encoded = base64.encodebytes(data).replace(b"\n", CRLF)
        out += [CRLF, b"--", boundary, CRLF,
                b"Content-Type: ", (ctype or "application/octet-stream").encode("ascii"),
                b'; name="', param, b'"', CRLF,
                b"Content-Transfer-Encoding: base64", CRLF,
                b'Content-Disposition: attachment; filename="', param, b'"', CRLF, CRLF,
                encoded.rstrip(CRLF)]
    out += [CRLF, b"--", boundary, b"--", CRLF]
    return b"".join(out)


def compose_from_json(item, address):
    """A mail from a control or seed description (see README)."""
    if "raw_b64" in item:
        return base64.b64decode(item["raw_b64"])
    if "raw" in item:
        return _as_bytes(item["raw"])
    attachments = []
    for att in item.get("attachments", []):
        if "data_b64" in att:
            data = base64.b64decode(att["data_b64"])
        else:
            data = _as_bytes(att.get("data", ""))
        attachments.append((att["name"], data, att.get("content_type")))
    return compose_mail(item.get("from", "postmaster@webmail.invalid"), address,
                        item.get("subject", ""), item.get("text"), attachments)


class StoredMessage:
    def __init__(self, msg_id, raw):
        self.id = msg_id
        self.raw = raw
        self.added = time.time()

    def summary(self):
        def text(name):
            value = header_value(self.raw, name)
            return None if value is None else value.decode("utf-8", "replace")
        return {"id": self.id, "size": len(self.raw), "from": text("From"),
                "subject": text("Subject")}


class MailStore:
    """Accounts and mailboxes behind one lock; every method is safe from any thread."""

    def __init__(self, accounts=()):
        self._lock = threading.Lock()
        self._accounts = {}
        self._boxes = {}
        self._next = 1
        for acc in accounts:
            self.put_account(acc)

    # Accounts
    def put_account(self, acc):
        with self._lock:
            self._accounts[acc.email.lower()] = acc

    def set_accounts(self, accounts):
        with self._lock:
            self._accounts = {acc.email.lower(): acc for acc in accounts}

    def account(self, addr):
        with self._lock:
            return self._accounts.get(addr.lower())

    def accounts(self):
        with self._lock:
            return list(self._accounts.values())

    def passwords(self):
        with self._lock:
            return [acc.password for acc in self._accounts.values() if acc.password]

    # Mailboxes
    def add(self, addr, raw, msg_id=None):
        with self._lock:
            if msg_id is None:
                msg_id = "MSG%06d" % self._next
                self._next += 1
            box = self._boxes.setdefault(addr.lower(), collections.OrderedDict())
            box[msg_id] = StoredMessage(msg_id, raw)
            return msg_id

    def ids(self, addr):
        with self._lock:
            return list(self._boxes.get(addr.lower(), ()))

    def get(self, addr, msg_id):
        with self._lock:
            return self._boxes.get(addr.lower(), {}).get(msg_id)

    def delete(self, addr, msg_id):
        with self._lock:
            return self._boxes.get(addr.lower(), {}).pop(msg_id, None) is not None

    def has_mailbox(self, addr):
        with self._lock:
            return addr.lower() in self._boxes or addr.lower() in self._accounts

    def clear(self, addr=None):
        with self._lock:
            if addr is None:
                self._boxes.clear()
            else:
                self._boxes.pop(addr.lower(), None)

    def listing(self, addr=None):
        with self._lock:
            boxes = {k: list(v.values()) for k, v in self._boxes.items()
                     if addr is None or k == addr.lower()}
        return {k: [m.summary() for m in msgs] for k, msgs in boxes.items()}


def load_seed(store, path):
    """Fill mailboxes from a folder (one sub-folder per address, its files in name order)
    or from a JSON file mapping each address to a list of .eml paths or mail descriptions."""
    count = 0
    if os.path.isdir(path):
        for addr in sorted(os.listdir(path)):
            folder = os.path.join(path, addr)
            if not os.path.isdir(folder):
                continue
            for name in sorted(os.listdir(folder)):
                file = os.path.join(folder, name)
                if os.path.isfile(file):
                    with open(file, "rb") as f:
                        store.add(addr, f.read())
                    count += 1
        return count
    with open(path, "r", encoding="utf-8") as f:
        data = json.load(f)
    base = os.path.dirname(os.path.abspath(path))
    for addr, items in data.items():
        for item in items:
            if isinstance(item, str):
                with open(os.path.join(base, item), "rb") as f:
                    store.add(addr, f.read())
            else:
                store.add(addr, compose_from_json(item, addr), item.get("id"))
            count += 1
    return count
