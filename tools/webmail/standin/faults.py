"""Faults a test arms for the next requests.

A fault is a JSON object:
  kind     "code"   answer the return code `code` (HTTP 200)
           "body"   answer the text `body` as it is (HTTP 200)
           "status" answer HTTP `status` (default 500) with `reason` and `body`
           "delay"  wait `seconds`, then serve the request normally
           "stall"  send the head and `after_bytes` bytes of the normal answer (default
                    half of it; with "head": false nothing at all), then hang until the
                    client leaves or `seconds` (default 60) pass, then close
           "drop"   close without answering
           "reset"  close with a TCP reset
  target   "send", "count", "retrieve", "delete" or "any" (default)
  count    how many matching requests it serves (default 1; 0 = until cleared)
  skip     matching requests to let pass first (default 0)
  msgid    only requests for this message id
  delay    seconds to wait before any kind's action
  when     for drop and reset: "request" (default, after the request is read) or
           "accept" (before the TLS handshake or the request; any target)
  apply    also do the request's work (deliver, delete) before answering as the fault
           says; default true for "delay", false for the others
"""

import itertools
import threading

KINDS = ("code", "body", "status", "delay", "stall", "drop", "reset")
TARGETS = ("any", "send", "count", "retrieve", "delete")
MAX_SECONDS = 600.0


class Fault:
    _ids = itertools.count(1)

    def __init__(self, desc):
        if not isinstance(desc, dict):
            raise ValueError("a fault is a JSON object")
        self.kind = desc.get("kind")
        if self.kind not in KINDS:
            raise ValueError("fault kind must be one of " + ", ".join(KINDS))
        self.target = desc.get("target", "any")
        if self.target not in TARGETS:
            raise ValueError("fault target must be one of " + ", ".join(TARGETS))
        self.when = desc.get("when", "request")
        if self.when not in ("request", "accept") or (
                self.when == "accept" and self.kind not in ("drop", "reset")):
            raise ValueError('"when": "accept" is for drop and reset only')
        self.remaining = _int(desc, "count", 1, 0)
        self.unlimited = self.remaining == 0
        self.skip = _int(desc, "skip", 0, 0)
        self.msgid = desc.get("msgid")
        self.code = _int(desc, "code", -999, None)
        self.status = _int(desc, "status", 500, 100)
        if self.status > 999:
            raise ValueError("status must have three digits")
        default_reason = "Internal Server Error" if self.status == 500 else "Fault"
        self.reason = str(desc.get("reason", default_reason))
        self.body = desc.get("body")
        self.seconds = _seconds(desc, "seconds", 60.0 if self.kind == "stall" else 1.0)
        self.delay = _seconds(desc, "delay", 0.0)
        self.after_bytes = desc.get("after_bytes")
        if self.after_bytes is not None:
            self.after_bytes = _int(desc, "after_bytes", 0, 0)
        self.send_head = bool(desc.get("head", True))
        self.apply = bool(desc.get("apply", self.kind == "delay"))
        self.id = next(Fault._ids)
        self.used = 0

    def describe(self):
        out = {k: v for k, v in vars(self).items() if v is not None}
        out["count"] = 0 if self.unlimited else out.pop("remaining")
        out.pop("unlimited", None)
        out.pop("remaining", None)
        return out

    def _matches(self, when, kind, msgid):
        if self.when != when:
            return False
        if when == "request" and self.target not in ("any", kind):
            return False
        return self.msgid is None or self.msgid == msgid


def _int(desc, key, default, minimum):
    value = desc.get(key, default)
    if isinstance(value, bool) or not isinstance(value, int):
        raise ValueError(key + " must be a whole number")
    if minimum is not None and value < minimum:
        raise ValueError("%s must be at least %d" % (key, minimum))
    return value


def _seconds(desc, key, default):
    value = desc.get(key, default)
    if isinstance(value, bool) or not isinstance(value, (int, float)) or value < 0:
        raise ValueError(key + " must be a number of seconds")
    return min(float(value), MAX_SECONDS)


class FaultBoard:
    def __init__(self):
        self._lock = threading.Lock()
        self._faults = []

    def add(self, desc):
        descs = desc if isinstance(desc, list) else [desc]
        made = [Fault(s) for s in descs]  # all or none
        with self._lock:
            self._faults.extend(made)
        return [f.id for f in made]

    def clear(self):
        with self._lock:
            self._faults.clear()

    def list(self):
        with self._lock:
            return [f.describe() for f in self._faults]

    def take(self, when, kind=None, msgid=None):
        """The fault that serves this request, counted as used; None when none applies."""
        with self._lock:
            for fault in self._faults:
                if not fault._matches(when, kind, msgid):
                    continue
                if fault.skip > 0:
                    fault.skip -= 1
                    continue
                fault.used += 1
                if not fault.unlimited:
                    fault.remaining -= 1
                    if fault.remaining == 0:
                        self._faults.remove(fault)
                return fault
        return None
