"""The control interface tests use: JSON over plain HTTP under /_control/ on its own port.
README.md lists the calls."""

import base64
import json
import os
import urllib.parse

from . import mailstore
from .service import Answer


def json_answer(obj, status=200, reason="OK"):
    return Answer(json.dumps(obj, sort_keys=True).encode("utf-8"), status, reason,
                  "application/json")


def _b64(data):
    return None if data is None else base64.b64encode(data).decode("ascii")


class Control:
    def __init__(self, store, faults, log, accounts, seeds, on_shutdown):
        self.store = store
        self.faults = faults
        self.log = log
        self.accounts = list(accounts)  # as configured, for reset
        self.seeds = list(seeds)
        self.on_shutdown = on_shutdown
        self.app = None  # set once the service exists

    def load_seeds(self):
        return sum(mailstore.load_seed(self.store, path) for path in self.seeds)

    def handle(self, req):
        if not req.path.startswith("/_control/"):
            return json_answer({"error": "not found"}, 404, "Not Found")
        name = req.path[len("/_control/"):].strip("/")
        query = dict(urllib.parse.parse_qsl(req.query))
        route = self.ROUTES.get((req.method, name))
        if route is None:
            return json_answer({"error": "no such call: %s %s" % (req.method, name)}, 404,
                               "Not Found")
        try:
            data = json.loads(req.body.decode("utf-8")) if req.body.strip() else {}
            return route(self, query, data)
        except (ValueError, KeyError, TypeError, OSError) as err:
            return json_answer({"error": "%s: %s" % (type(err).__name__, err)}, 400,
                               "Bad Request")

    # Service and mailboxes
    def status(self, query, data):
        return json_answer({"ports": self.app.ports(), "pid": os.getpid(),
                            "mailboxes": {k: len(v) for k, v in self.store.listing().items()},
                            "faults": len(self.faults.list()), "uploads": len(self.app.uploads)})

    def mailboxes(self, query, data):
        return json_answer({"mailboxes": self.store.listing(query.get("address"))})

    def message(self, query, data):
        msg = self.store.get(query["address"], query["id"])
        if msg is None:
            return json_answer({"error": "no such message"}, 404, "Not Found")
        return Answer(msg.raw, content_type="message/rfc822")

    def mailbox_add(self, query, data):
        address = data["address"]
        raw = mailstore.compose_from_json(data, address)
        return json_answer({"id": self.store.add(address, raw, data.get("id"))})

    def mailbox_delete(self, query, data):
        return json_answer({"deleted": self.store.delete(data["address"], data["id"])})

    def mailbox_clear(self, query, data):
        self.store.clear(data.get("address"))
        return json_answer({"ok": True})

    def accounts_list(self, query, data):
        return json_answer({"accounts": [a.public() for a in self.store.accounts()]})

    def accounts_put(self, query, data):
        items = data if isinstance(data, list) else [data]
        for item in items:
            self.store.put_account(mailstore.account_from_json(item))
        return json_answer({"ok": True})

    # Faults
    def faults_list(self, query, data):
        return json_answer({"faults": self.faults.list()})

    def faults_add(self, query, data):
        return json_answer({"ids": self.faults.add(data)})

    def faults_clear(self, query, data):
        self.faults.clear()
        return json_answer({"ok": True})

    # Request log and uploads
    def log_read(self, query, data):
        entries = self.log.since(int(query.get("since", "0")))
        last = entries[-1]["seq"] if entries else int(query.get("since", "0"))
        return json_answer({"entries": entries, "last": last})

    def log_clear(self, query, data):
        self.log.clear()
        return json_answer({"ok": True})

    def uploads(self, query, data):
        return json_answer({"uploads": [self._upload(u, False) for u in list(self.app.uploads)]})

    def last_upload(self, query, data):
        if not self.app.uploads:
            return json_answer({"error": "no upload yet"}, 404, "Not Found")
        upload = self.app.uploads[-1]
        part = query.get("part")
        if part in ("body", "attfile"):
            return Answer(upload[part] or b"", content_type="application/octet-stream")
        return json_answer(self._upload(upload, True))

    @staticmethod
    def _upload(upload, with_bytes):
        out = {k: upload[k] for k in ("seq", "time", "content_type", "filename", "rc", "fault",
                                      "delivered_ids")}
        out["fields"] = {k: v.decode("utf-8", "replace") for k, v in upload["fields"].items()}
        out["body_size"] = len(upload["body"])
        if with_bytes:
            out["body_b64"] = _b64(upload["body"])
            out["attfile_b64"] = _b64(upload["attfile"])
        return out

    # Whole service
    def reset(self, query, data):
        self.faults.clear()
        self.log.clear()
        self.app.uploads.clear()
        self.store.set_accounts(self.accounts)
        self.store.clear()
        return json_answer({"ok": True, "seeded": self.load_seeds()})

    def shutdown(self, query, data):
        self.on_shutdown()
        return json_answer({"ok": True})

    ROUTES = {
        ("GET", "status"): status,
        ("GET", "mailboxes"): mailboxes,
        ("GET", "message"): message,
        ("POST", "mailbox/add"): mailbox_add,
        ("POST", "mailbox/delete"): mailbox_delete,
        ("POST", "mailbox/clear"): mailbox_clear,
        ("GET", "accounts"): accounts_list,
        ("POST", "accounts"): accounts_put,
        ("GET", "faults"): faults_list,
        ("POST", "faults"): faults_add,
        ("POST", "faults/clear"): faults_clear,
        ("GET", "log"): log_read,
        ("POST", "log/clear"): log_clear,
        ("GET", "uploads"): uploads,
        ("GET", "last-upload"): last_upload,
        ("POST", "reset"): reset,
        ("POST", "shutdown"): shutdown,
    }
