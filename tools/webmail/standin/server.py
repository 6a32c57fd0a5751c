"""Listeners and the life of one connection: HTTP/1.0, one request, then close.

Each accepted connection runs on its own thread (at most `max_connections` at a time).
On the HTTPS listener the handshake happens on that thread, with the one shared
SSLContext, so its session cache serves resumed handshakes. Every read and write has the
I/O time limit; every wait a fault asks for also ends when the service stops.
"""

import collections
import email.utils
import select
import socket
import socketserver
import ssl
import struct
import threading
import time
import urllib.parse

from . import service as svc

MAX_HEAD = 64 * 1024
DRAIN_SECONDS = 1.0


class HttpError(Exception):
    def __init__(self, status, reason):
        super().__init__(reason)
        self.status = status
        self.reason = reason


class Request:
    def __init__(self, method, target, version, headers, body):
        self.method = method
        self.target = target
        self.version = version
        self.headers = headers
        self.body = body
        self.path, _, self.query = target.partition("?")


def read_request(sock, max_body):
    """Reads the head and the Content-Length body. The request line may hold blanks
    inside its target (the gateway sends its arguments unescaped)."""
    buf = bytearray()
    while True:
        end = buf.find(b"\r\n\r\n")
        if end >= 0:
            head, rest = bytes(buf[:end]), bytes(buf[end + 4:])
            break
        end = buf.find(b"\n\n")
        if end >= 0:
            head, rest = bytes(buf[:end]), bytes(buf[end + 2:])
            break
        if len(buf) > MAX_HEAD:
            raise HttpError(431, "Request Header Fields Too Large")
        piece = sock.recv(65536)
        if not piece:
            raise ConnectionError("client closed before the end of the request head")
        buf += piece
    lines = head.replace(b"\r\n", b"\n").split(b"\n")
    request_line = lines[0].decode("utf-8", "surrogateescape")
    method, _, rest_line = request_line.partition(" ")
    target, _, version = rest_line.rstrip().rpartition(" ")
    if not version.startswith("HTTP/"):
        target, version = rest_line.strip(), "HTTP/0.9"
    if not method or not target:
        raise HttpError(400, "Bad Request")
    headers = {}
    for line in lines[1:]:
        name, colon, value = line.decode("latin-1").partition(":")
        if colon:
            headers.setdefault(name.strip().lower(), value.strip())
    length = headers.get("content-length", "0") or "0"
    if not length.isdigit():
        raise HttpError(400, "Bad Request")
    length = int(length)
    if length > max_body:
        raise HttpError(413, "Payload Too Large")
    body = bytearray(rest[:length])
    while len(body) < length:
        piece = sock.recv(min(65536, length - len(body)))
        if not piece:
            raise ConnectionError("client closed in the middle of the request body")
        body += piece
    return Request(method.upper(), target.strip(), version, headers, bytes(body))


def response_bytes(answer):
    head = ("HTTP/1.0 %d %s\r\nServer: WebMail-StandIn/1.0\r\nDate: %s\r\n"
            "Content-Type: %s\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
            % (answer.status, answer.reason, email.utils.formatdate(usegmt=True),
               answer.content_type, len(answer.body)))
    return head.encode("latin-1"), answer.body


def error_answer(status, reason):
    text = "<html><body><h1>%d %s</h1></body></html>" % (status, reason)
    return svc.Answer(text, status, reason, "text/html")


class StandIn:
    """The running service: shared state and the handling of every connection."""

    def __init__(self, store, service, faults, log, control, tls_context=None,
                 io_timeout=30.0, max_body=64 * 1024 * 1024, max_connections=256):
        self.store = store
        self.service = service
        self.faults = faults
        self.log = log
        self.control = control
        self.tls_context = tls_context
        self.io_timeout = io_timeout
        self.max_body = max_body
        self.max_connections = max_connections
        self.stopping = threading.Event()
        self.uploads = collections.deque(maxlen=1000)
        self.listeners = {}

    # Listeners
    def listen(self, name, port):
        listener = Listener(port, self, name)
        threading.Thread(target=listener.serve_forever, kwargs={"poll_interval": 0.1},
                         name="listener-" + name, daemon=True).start()
        self.listeners[name] = listener
        return listener.server_address[1]

    def ports(self):
        return {name: l.server_address[1] for name, l in self.listeners.items()}

    def stop(self):
        self.stopping.set()
        for listener in self.listeners.values():
            listener.shutdown()
            listener.server_close()

    def wait(self, seconds):
        """Sleeps for a fault; returns early (True) when the service is stopping."""
        return self.stopping.wait(max(0.0, seconds))

    # One connection
    def serve(self, sock, listener):
        sock.settimeout(self.io_timeout)
        try:
            if listener != "control":
                fault = self.faults.take("accept")
                if fault is not None:
                    self.wait(fault.delay)
                    self.log.add({"seq": self.log.next_seq(), "listener": listener,
                                  "fault": fault.kind, "when": "accept", "status": None})
                    abort(sock, fault.kind == "reset")
                    return
            if listener == "https":
                sock = self.tls_context.wrap_socket(sock, server_side=True)
            try:
                req = read_request(sock, self.max_body)
            except HttpError as err:
                if listener != "control":
                    self.log.add({"seq": self.log.next_seq(), "listener": listener,
                                  "status": err.status, "error": err.reason})
                self.send(sock, error_answer(err.status, err.reason))
                finish(sock)
                return
            if listener == "control":
                self.send(sock, self.control.handle(req))
            elif self.serve_call(sock, req, listener) is False:
                return  # the fault has closed the connection itself
            finish(sock)
        except (OSError, ssl.SSLError, ConnectionError):
            abort(sock, False)

    def send(self, sock, answer):
        head, body = response_bytes(answer)
        sock.sendall(head + body)

    def serve_call(self, sock, req, listener):
        seq = self.log.next_seq()
        kind = svc.request_kind(req.path)
        params = svc.parse_query(req.query)
        secrets = self.store.passwords()
        entry = {"seq": seq, "listener": listener, "method": req.method,
                 "path": svc.mask_secrets(req.path, secrets),
                 "query": svc.mask_query(req.query, secrets), "kind": kind,
                 "body_size": len(req.body), "status": None}
        if kind == svc.SEND and req.method == "POST":
            saved = self.log.save_body(seq, kind, req.body)
            if saved:
                entry["saved_body"] = saved
        msgid = params.get("id")
        if msgid is not None:
            msgid = urllib.parse.unquote(msgid, errors="surrogateescape")
        fault = self.faults.take("request", kind, msgid) if kind else None
        try:
            if kind is None:
                answer = error_answer(404, "Not Found")
            elif fault is None or fault.apply:
                answer = self.service.handle(kind, req.method, req.query, req.headers, req.body)
            else:
                answer = None
            if kind == svc.SEND and req.method == "POST":
                self.note_upload(seq, req, answer, fault)
            if fault is not None:
                entry["fault"] = fault.kind
                if self.wait(fault.delay):
                    abort(sock, False)
                    return False
                answer = self.faulted_answer(sock, fault, kind, req, answer, entry)
                if answer is None:
                    return False
            entry.pop("sent_bytes", None)
            entry["status"] = answer.status
            entry["response_size"] = len(answer.body)
            if answer.rc is not None:
                entry["rc"] = answer.rc
            elif kind in (svc.COUNT, svc.DELETE) or fault is not None:
                entry["answer"] = answer.body[:80].decode("latin-1")
            self.send(sock, answer)
            return True
        except OSError as err:
            entry["error"] = str(err)
            raise
        finally:
            self.log.add(entry)

    def faulted_answer(self, sock, fault, kind, req, answer, entry):
        """The answer a fault gives, or None when it has closed the connection (the log
        entry then tells how many bytes went out before)."""
        entry["sent_bytes"] = 0
        if fault.kind == "delay":
            if self.wait(fault.seconds):
                abort(sock, False)
                return None
            if answer is None:
                answer = self.service.handle(kind, req.method, req.query, req.headers, req.body)
            return answer
        if fault.kind == "code":
            return svc.code_answer(fault.code)
        if fault.kind == "body":
            return svc.Answer((fault.body or "").encode("utf-8", "surrogateescape"))
        if fault.kind == "status":
            if fault.body is None:
                return error_answer(fault.status, fault.reason)
            return svc.Answer(fault.body.encode("utf-8", "surrogateescape"), fault.status,
                              fault.reason)
        if fault.kind == "stall":
            if answer is None:  # the normal answer, computed without its side effects
                answer = self.service.handle(kind, req.method, req.query, req.headers, req.body) \
                    if kind in (svc.COUNT, svc.RETRIEVE) else svc.code_answer(0)
            head, body = response_bytes(answer)
            cut = 0
            if fault.send_head:
                part = len(body) // 2 if fault.after_bytes is None else fault.after_bytes
                cut = len(head) + min(part, len(body))
            sock.sendall((head + body)[:cut])
            entry["sent_bytes"] = cut
            if fault.send_head:
                entry["status"] = answer.status
            self.wait_for_client(sock, fault.seconds)
            abort(sock, False)
            return None
        abort(sock, fault.kind == "reset")  # drop, reset
        return None

    def wait_for_client(self, sock, seconds):
        """Holds the connection open until the client closes it, the time limit passes or
        the service stops."""
        deadline = time.monotonic() + seconds
        while not self.stopping.is_set():
            left = deadline - time.monotonic()
            if left <= 0:
                return
            readable, _, _ = select.select([sock], [], [], min(left, 0.2))
            if readable:
                try:
                    if not sock.recv(4096):
                        return
                except ssl.SSLWantReadError:
                    continue
                except (OSError, ssl.SSLError):
                    return

    def note_upload(self, seq, req, answer, fault):
        fields = svc.parse_multipart(req.headers.get("content-type"), req.body) or {}
        upload = {"seq": seq, "time": round(time.time(), 3), "body": req.body,
                  "content_type": req.headers.get("content-type"),
                  "fields": {k: v[0] for k, v in fields.items() if k != "attfile"},
                  "filename": fields.get("attfile", (None, None))[1],
                  "attfile": fields.get("attfile", (None, None))[0],
                  "rc": answer.rc if answer is not None else None,
                  "fault": fault.kind if fault is not None else None,
                  "delivered_ids": (answer.upload or {}).get("ids", []) if answer else []}
        self.uploads.append(upload)


def abort(sock, reset):
    """Closes without a polite end: no TLS close_notify; with reset, a TCP RST."""
    try:
        if reset:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    sock.close()


def finish(sock):
    """Ends the one exchange of a connection: TLS close_notify without waiting for the
    peer's, end of our direction, then a short wait for the client to close its side so no
    unread byte turns our close into a reset."""
    try:
        if isinstance(sock, ssl.SSLSocket):
            sock.setblocking(False)
            try:
                sock.unwrap()
            except (ssl.SSLError, OSError):
                pass
            sock.settimeout(DRAIN_SECONDS)
        sock.shutdown(socket.SHUT_WR)
        sock.settimeout(DRAIN_SECONDS)
        deadline = time.monotonic() + DRAIN_SECONDS
        while time.monotonic() < deadline and sock.recv(4096):
            pass
    except (OSError, ssl.SSLError):
        pass
    finally:
        sock.close()


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.server.app.serve(self.request, self.server.name)


class Listener(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, port, app, name):
        self.app = app
        self.name = name
        self.slots = threading.BoundedSemaphore(app.max_connections)
        super().__init__(("127.0.0.1", port), Handler)

    def process_request(self, request, client_address):
        if not self.slots.acquire(timeout=self.app.io_timeout):
            request.close()
            return
        try:
            super().process_request(request, client_address)
        except BaseException:
            self.slots.release()
            raise

    def process_request_thread(self, request, client_address):
        try:
            super().process_request_thread(request, client_address)
        finally:
            self.slots.release()

    def shutdown_request(self, request):
        request.close()  # the handler has ended the exchange already
