"""The request log: one JSON object per served request, kept in memory (the newest
`limit` entries) and optionally appended to a file, one line each."""

import collections
import json
import os
import threading
import time


class RequestLog:
    def __init__(self, path=None, limit=100000, bodies_dir=None):
        self._lock = threading.Lock()
        self._entries = collections.deque(maxlen=limit)
        self._seq = 0
        self._file = open(path, "a", encoding="utf-8") if path else None
        self.bodies_dir = bodies_dir
        if bodies_dir:
            os.makedirs(bodies_dir, exist_ok=True)

    def next_seq(self):
        with self._lock:
            self._seq += 1
            return self._seq

    def save_body(self, seq, kind, body):
        """Keeps a request body for byte-for-byte checks; the name holds only the
        sequence number and the call, never anything taken from the request."""
        if not self.bodies_dir:
            return None
        path = os.path.join(self.bodies_dir, "%06d-%s.body" % (seq, kind or "other"))
        with open(path, "wb") as f:
            f.write(body)
        return path

    def add(self, entry):
        entry.setdefault("time", round(time.time(), 3))
        line = json.dumps(entry, sort_keys=True)
        with self._lock:
            self._entries.append(entry)
            if self._file:
                self._file.write(line + "\n")
                self._file.flush()

    def since(self, seq=0):
        with self._lock:
            return [e for e in self._entries if e.get("seq", 0) > seq]

    def clear(self):
        with self._lock:
            self._entries.clear()

    def close(self):
        with self._lock:
            if self._file:
                self._file.close()
                self._file = None
