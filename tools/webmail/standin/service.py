"""The web-mail calls: send (multipart upload), count, retrieve and delete.

The gateway fills its URL formats with plain text arguments and escapes nothing, so a
password may arrive holding "&", "%", "#" or blanks. The query is therefore split only
before "&name=" pieces whose name looks like a parameter name; anything else after an "&"
belongs to the value before it. Values are compared as sent and percent-decoded, so
clients that do escape their arguments are served too.
"""

import re
import time
import urllib.parse

from . import mailstore

SEND, COUNT, RETRIEVE, DELETE = "send", "count", "retrieve", "delete"
KINDS = (SEND, COUNT, RETRIEVE, DELETE)

# Return codes shared by both directions.
OK = 0
NOT_AUTHORIZED = -101
FIELD_MISSED = -102
BAD_ADDRESS_OR_ID = -103  # send: invalid e-mail address; retrieve/delete: invalid message id
DELIVERY_ERROR = -201
LOGIN_FAILED = -202
UNKNOWN_ERROR = -999

# Parameter names understood in a query, each with the spellings accepted for it.
_ALIASES = {
    "user": ("user", "userid", "uid", "mailbox", "email"),
    "login": ("login", "loginid", "lid"),
    "pwd": ("pwd", "password", "passwd", "pass"),
    "id": ("id", "msgid", "mid", "messageid"),
    "from": ("from", "sender"),
}
_CANONICAL = {alias: name for name, aliases in _ALIASES.items() for alias in aliases}
_PARAM_NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_.-]*$")


def request_kind(path):
    """The call a path names: its last segment without an extension, any folder before it
    (so /webmail/send, /cgi-bin/send.cgi and /send all reach the sender)."""
    last = path.rstrip("/").rsplit("/", 1)[-1]
    name = last.split(".", 1)[0].lower()
    return name if name in KINDS else None


def split_query(query):
    """[name, value] pairs of a query, in order, with values exactly as sent."""
    pairs = []
    for token in query.split("&") if query else ():
        name, eq, value = token.partition("=")
        starts_param = eq and (name.lower() in _CANONICAL or _PARAM_NAME.match(name))
        if starts_param or not pairs:
            pairs.append([name, value] if eq else [token, None])
        else:
            last = pairs[-1]
            last[1] = (last[1] if last[1] is not None else "") + "&" + token
    return pairs


def parse_query(query):
    """Canonical name -> raw value; the first occurrence of a name wins."""
    params = {}
    for name, value in split_query(query):
        key = _CANONICAL.get(name.lower())
        if key and key not in params and value is not None:
            params[key] = value
    return params


def mask_query(query, secrets=()):
    """The query for the request log: every password value becomes ***, and any known
    password that still shows anywhere (also percent-encoded) is replaced too."""
    parts = []
    for name, value in split_query(query):
        if _CANONICAL.get(name.lower()) == "pwd":
            value = "***"
        parts.append(name if value is None else name + "=" + value)
    return mask_secrets("&".join(parts), secrets)


def mask_secrets(text, secrets):
    """text with every known password, as sent or percent-encoded, replaced by ***."""
    for secret in sorted(secrets, key=len, reverse=True):
        for form in {secret, urllib.parse.quote(secret, safe=""), urllib.parse.quote_plus(secret)}:
            text = text.replace(form, "***")
    return text


def sent_forms(sent):
    """The texts a value sent in a URL may stand for: as sent, and percent-decoded."""
    return {sent, urllib.parse.unquote(sent, errors="surrogateescape"),
            urllib.parse.unquote_plus(sent, errors="surrogateescape")}


def same_text(sent, expected, fold_case=False):
    """True when a value sent in a URL means `expected`, escaped or not."""
    if sent is None:
        return False
    forms = sent_forms(sent)
    if fold_case:
        return expected.lower() in {f.lower() for f in forms}
    return expected in forms


def parse_multipart(content_type, body):
    """Form fields of a multipart/form-data body: name -> (bytes, file name or None).

    The CR LF before each delimiter belongs to the delimiter, so a field's bytes are
    exactly what the client put between the blank line after its headers and the next
    delimiter. Returns None when the body is not multipart or has no boundary.
    """
    ctype = content_type or ""
    if not ctype.lower().startswith("multipart/form-data"):
        return None
    match = re.search(r'boundary=(?:"([^"]+)"|([^;\s]+))', ctype, re.I)
    if not match:
        return None
    delimiter = b"\r\n--" + (match.group(1) or match.group(2)).encode("latin-1")
    fields = {}
    chunks = (b"\r\n" + body).split(delimiter)
    for chunk in chunks[1:]:
        if chunk.startswith(b"--"):
            break  # closing delimiter
        head, sep, value = chunk.partition(b"\r\n\r\n")
        if not sep:
            continue
        disposition = b""
        for line in head.split(b"\r\n"):
            if line.lower().startswith(b"content-disposition:"):
                disposition = line
        name = re.search(rb'[;\s]name="([^"]*)"', disposition, re.I)
        filename = re.search(rb'filename="([^"]*)"', disposition, re.I)
        if name:
            key = name.group(1).decode("utf-8", "surrogateescape").lower()
            fields.setdefault(key, (value, filename.group(1).decode("utf-8", "surrogateescape")
                                    if filename else None))
    return fields


class Answer:
    """What one call answers: HTTP status, body, content type, and notes for the log."""

    def __init__(self, body, status=200, reason="OK", content_type="text/plain", rc=None,
                 upload=None):
        self.body = body if isinstance(body, bytes) else str(body).encode("ascii")
        self.status = status
        self.reason = reason
        self.content_type = content_type
        self.rc = rc
        self.upload = upload


def code_answer(rc):
    return Answer(str(rc), rc=rc)


class WebMailService:
    def __init__(self, store, strict_recipients=False, domain="webmail.invalid"):
        self.store = store
        self.strict_recipients = strict_recipients
        self.domain = domain

    def handle(self, kind, method, query, headers, body):
        params = parse_query(query)
        if kind == SEND:
            return self._send(method, params, headers, body)
        account, rc = self._login(params)
        if account is None:
            return code_answer(rc)
        if kind == COUNT:
            ids = self.store.ids(account.email)
            if not ids:
                return code_answer(OK)
            return Answer("%d/%s" % (len(ids), "".join(i + ";" for i in ids)))
        msg_id = self._message_id(account, params.get("id"))
        if msg_id is None:
            return code_answer(FIELD_MISSED if not params.get("id") else BAD_ADDRESS_OR_ID)
        if kind == RETRIEVE:
            msg = self.store.get(account.email, msg_id)
            if msg is None:
                return code_answer(BAD_ADDRESS_OR_ID)
            return Answer(msg.raw)
        if not self.store.delete(account.email, msg_id):
            return code_answer(BAD_ADDRESS_OR_ID)
        return code_answer(OK)

    def _login(self, params):
        user, login, pwd = params.get("user"), params.get("login"), params.get("pwd")
        if not user or not login or pwd is None:
            return None, FIELD_MISSED
        for acc in self.store.accounts():
            if (same_text(user, acc.email, fold_case=True)
                    and same_text(login, acc.login, fold_case=True)
                    and same_text(pwd, acc.password)):
                return (acc, OK) if acc.enabled else (None, NOT_AUTHORIZED)
        return None, LOGIN_FAILED

    def _message_id(self, account, sent):
        """The stored id a sent id names; "" when there is none, None when none was sent."""
        if not sent:
            return None
        for form in sent_forms(sent):
            if self.store.get(account.email, form) is not None:
                return form
        return ""

    def _send(self, method, params, headers, body):
        fields = parse_multipart(headers.get("content-type"), body) if method == "POST" else None
        if not fields:
            return code_answer(FIELD_MISSED)
        sender = fields.get("from", (b"", None))[0].strip().decode("utf-8", "surrogateescape")
        to_text = fields.get("to", (b"", None))[0].strip().decode("utf-8", "surrogateescape")
        attfile, filename = fields.get("attfile", (b"", None))
        upload = {"from": sender, "to": to_text, "filename": filename, "attfile": attfile}
        if not sender or not to_text or not attfile:
            return Answer(str(FIELD_MISSED), rc=FIELD_MISSED, upload=upload)
        receivers = [r.strip() for r in re.split(r"[,;]", to_text) if r.strip()]
        if not valid_all([sender] + receivers):
            return Answer(str(BAD_ADDRESS_OR_ID), rc=BAD_ADDRESS_OR_ID, upload=upload)
        account = self.store.account(sender)
        query_sender = params.get("from")
        if (account is None or not account.enabled
                or (query_sender is not None and not same_text(query_sender, sender, True))):
            return Answer(str(NOT_AUTHORIZED), rc=NOT_AUTHORIZED, upload=upload)
        if self.strict_recipients and not all(self.store.has_mailbox(r) for r in receivers):
            return Answer(str(DELIVERY_ERROR), rc=DELIVERY_ERROR, upload=upload)
        raw = self.deliverable(sender, to_text, attfile, filename)
        upload["ids"] = [self.store.add(r, raw) for r in receivers]
        return Answer(str(OK), rc=OK, upload=upload)

    def deliverable(self, sender, to_text, attfile, filename):
        """The mail a receiver finds: the uploaded file as a base64 attachment under its
        own name (folders dropped), with the subject of the uploaded message."""
        subject = mailstore.header_value(attfile, "Subject")
        if subject is None:
            subject = ("Message from " + sender).encode("utf-8", "surrogateescape")
        name = filename or "attachment.msg"
        text = ["Message from " + sender + " sent through the web-mail service on "
                + time.strftime("%Y-%m-%d %H:%M:%S") + "."]
        return mailstore.compose_mail(sender, to_text, subject, text,
                                      [(name, attfile, "application/octet-stream")], self.domain)


def valid_all(addresses):
    return all(mailstore.valid_address(a) for a in addresses)
