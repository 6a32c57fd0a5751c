#!/usr/bin/env python3
"""Self-test of the stand-in web-mail service: the upload, count, retrieve and delete
round trip as the gateway speaks it, the logins, the fault kinds, the control interface,
the request log and the ways the service stops."""

import base64
import email
import email.policy
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from standin import service  # noqa: E402

SCRIPT = os.path.join(HERE, "webmail_standin.py")
DEMO = ("demo@quillbern.example", "DEMO", "DEMO2024")
ORDERS = ("orders@partner.example", "ORDERS", "ORDERS2024")
BOUNDARY = "=_DVR+_1.0.0_abcdefghijklmno_46000.5123456789"
# A message file as the gateway writes it, with 8-bit bytes that must survive untouched.
MSG_FILE = (b"From: demo@quillbern.example\r\nSubject: ORDERS message\r\n"
            b"Reply-To: demo@quillbern.example\r\nTo: orders@partner.example\r\n"
            b"MIME-Version: 1.0\r\nContent-Type: text/plain; charset=big5\r\n"
            b"Content-Transfer-Encoding: 8bit\r\n\r\n"
            b"ORD-0001;\xa4\xa4\xa4\xe5;42\r\n"
            + bytes(b for b in range(128, 256)) + b"\r\n--not a delimiter\r\n")


def start(*extra, stdin=subprocess.DEVNULL):
    proc = subprocess.Popen([sys.executable, SCRIPT, *extra], stdin=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    line = proc.stdout.readline()
    if not line:
        raise RuntimeError("stand-in did not start: " + proc.stderr.read().decode())
    return proc, json.loads(line)


def upload_body(sender, receiver, msg=MSG_FILE, path="/home/qb/OUTBOX/A100.msg"):
    head = ["--" + BOUNDARY, 'Content-Disposition: form-data; name="from"', "", sender,
            "--" + BOUNDARY, 'Content-Disposition: form-data; name="to"', "", receiver,
            "--" + BOUNDARY,
            'Content-Disposition: form-data; name="attfile"; filename="%s"' % path,
            "Content-Type: text/plain", ""]
    return ("\r\n".join(head) + "\r\n").encode() + msg + ("\r\n--%s--\r\n" % BOUNDARY).encode()


class StandInTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        seed = os.path.join(cls.tmp.name, "seed", ORDERS[0])
        os.makedirs(seed)
        with open(os.path.join(seed, "01.eml"), "wb") as f:
            f.write(b"From: x@y.example\r\nSubject: seeded\r\n\r\nhello\r\n")
        cls.bodies = os.path.join(cls.tmp.name, "bodies")
        cls.log_file = os.path.join(cls.tmp.name, "requests.jsonl")
        cls.proc, cls.info = start(
            "--state-dir", os.path.join(cls.tmp.name, "state"), "--seed",
            os.path.join(cls.tmp.name, "seed"), "--save-bodies", cls.bodies,
            "--log-file", cls.log_file, "--parent-pid", str(os.getpid()))
        cls.tls = ssl.create_default_context(cafile=cls.info["ca_file"])

    @classmethod
    def tearDownClass(cls):
        cls.proc.send_signal(signal.SIGTERM)
        cls.proc.communicate(timeout=60)
        cls.tmp.cleanup()

    def setUp(self):
        self.assertTrue(self.control("POST", "reset")["ok"])

    # Clients
    def exchange(self, data, tls=True, port=None):
        """Sends one request and reads the answer until the server closes."""
        port = port or self.info["https_port" if tls else "http_port"]
        sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        if tls:
            sock = self.tls.wrap_socket(sock, server_hostname="127.0.0.1")
        with sock:
            sock.sendall(data)
            chunks = []
            while True:
                piece = sock.recv(65536)
                if not piece:
                    break
                chunks.append(piece)
        head, _, body = b"".join(chunks).partition(b"\r\n\r\n")
        return head.split(b"\r\n")[0].decode(), body

    def get(self, kind, user=DEMO, msg_id=None, tls=True):
        query = "user=%s&login=%s&pwd=%s" % user
        if msg_id is not None:
            query += "&id=" + msg_id
        return self.exchange(("GET /webmail/%s?%s HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                              "User-Agent: Quillbern Dovrant\r\n\r\n" % (kind, query)).encode(),
                             tls)

    def send(self, body, sender=DEMO[0], tls=True):
        head = ("POST /webmail/send?from=%s HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                "User-Agent: Quillbern Dovrant\r\nContent-Type: multipart/form-data; "
                "boundary=%s\r\nContent-Length: %d\r\n\r\n" % (sender, BOUNDARY, len(body)))
        return self.exchange(head.encode() + body, tls)

    def control(self, method, name, obj=None, raw=False):
        data = json.dumps(obj).encode() if obj is not None else b""
        status, body = self.exchange(
            ("%s /_control/%s HTTP/1.0\r\nContent-Length: %d\r\n\r\n"
             % (method, name, len(data))).encode() + data, False, self.info["control_port"])
        self.assertIn(" 200 ", status, body)
        return body if raw else json.loads(body)

    def add_raw(self, text):
        return self.control("POST", "mailbox/add", {"address": DEMO[0], "raw": text})["id"]

    def ids(self, user):
        status, body = self.get("count", user)
        self.assertEqual(status, "HTTP/1.0 200 OK")
        count, _, rest = body.decode().partition("/")
        return [] if body == b"0" else rest.split(";")[:int(count)]

    # Protocol round trip
    def test_upload_is_delivered_as_attachment_with_exact_bytes(self):
        body = upload_body(DEMO[0], ORDERS[0])
        self.assertEqual(self.send(body), ("HTTP/1.0 200 OK", b"0"))
        status, answer = self.get("count", ORDERS)
        self.assertRegex(answer.decode(), r"^2/MSG\d{6};MSG\d{6};$")
        new_id = self.ids(ORDERS)[1]
        status, raw = self.get("retrieve", ORDERS, new_id)
        mail = email.message_from_bytes(raw, policy=email.policy.compat32)
        self.assertEqual(mail["Subject"], "ORDERS message")
        self.assertEqual(mail["From"], DEMO[0])
        self.assertEqual(mail.get_content_type(), "multipart/mixed")
        parts = [p for p in mail.walk() if p.get_filename()]
        self.assertEqual(len(parts), 1)
        self.assertEqual(parts[0].get_filename(), "A100.msg")
        self.assertEqual(parts[0].get_payload(decode=True), MSG_FILE)
        self.assertEqual(self.get("delete", ORDERS, new_id)[1], b"0")
        self.assertEqual(self.get("retrieve", ORDERS, new_id)[1], b"-103")
        self.assertEqual(self.get("delete", ORDERS, new_id)[1], b"-103")
        # The upload was kept byte for byte, in the control interface and on disk.
        self.assertEqual(self.control("GET", "last-upload?part=body", raw=True), body)
        last = self.control("GET", "last-upload")
        self.assertEqual(base64.b64decode(last["attfile_b64"]), MSG_FILE)
        self.assertEqual(last["filename"], "/home/qb/OUTBOX/A100.msg")
        entry = [e for e in self.control("GET", "log")["entries"] if e["kind"] == "send"][-1]
        with open(entry["saved_body"], "rb") as f:
            self.assertEqual(f.read(), body)

    def test_sending_to_oneself_over_plain_http(self):
        self.assertEqual(self.send(upload_body(DEMO[0], DEMO[0]), tls=False)[1], b"0")
        ids = self.ids(DEMO)
        self.assertEqual(len(ids), 1)
        self.assertIn(b"A100.msg", self.get("retrieve", DEMO, ids[0], tls=False)[1])

    def test_count_lists_ids_in_order_and_empty_mailbox_answers_zero(self):
        self.assertEqual(self.get("count", DEMO)[1], b"0")
        first = self.add_raw("Subject: a\r\n\r\nx\r\n")
        second = self.add_raw("Subject: b\r\n\r\ny\r\n")
        self.assertEqual(self.get("count", DEMO)[1], ("2/%s;%s;" % (first, second)).encode())
        self.assertEqual(self.get("retrieve", DEMO, second)[1], b"Subject: b\r\n\r\ny\r\n")

    def test_seeded_mailbox_comes_back_after_reset(self):
        ids = self.ids(ORDERS)
        self.assertEqual(len(ids), 1)
        self.assertEqual(self.get("delete", ORDERS, ids[0])[1], b"0")
        self.assertEqual(self.get("count", ORDERS)[1], b"0")
        self.control("POST", "reset")
        self.assertIn(b"Subject: seeded", self.get("retrieve", ORDERS, self.ids(ORDERS)[0])[1])

    def test_upload_return_codes(self):
        cases = [(upload_body(DEMO[0], ""), b"-102"),
                 (upload_body(DEMO[0], ORDERS[0], msg=b""), b"-102"),
                 (upload_body(DEMO[0], "no-at-sign"), b"-103"),
                 (upload_body("stranger@else.example", ORDERS[0]), b"-101")]
        for body, code in cases:
            sender = body.split(b"\r\n")[3].decode()
            self.assertEqual(self.send(body, sender=sender), ("HTTP/1.0 200 OK", code))
        # The sender in the URL must be the sender in the form.
        self.assertEqual(self.send(upload_body(DEMO[0], ORDERS[0]), sender=ORDERS[0])[1], b"-101")
        self.assertEqual(len(self.ids(ORDERS)), 1)  # only the seeded message

    def test_logins(self):
        self.assertEqual(self.get("count", (DEMO[0], DEMO[1], "wrong"))[1], b"-202")
        self.assertEqual(self.get("count", ("nobody@x.example", "DEMO", DEMO[2]))[1], b"-202")
        self.assertEqual(self.exchange(b"GET /webmail/count?user=demo@quillbern.example&login=DEMO"
                                       b" HTTP/1.0\r\n\r\n")[1], b"-102")
        self.assertEqual(self.get("retrieve", DEMO, "")[1], b"-102")
        self.control("POST", "accounts", {"email": "off@x.example", "login": "OFF",
                                          "password": "p", "enabled": False})
        self.assertEqual(self.get("count", ("off@x.example", "OFF", "p"))[1], b"-101")

    def test_password_sent_unescaped_and_never_logged(self):
        secret = "p&w %41 x#1"
        self.control("POST", "accounts",
                     {"email": "odd@x.example", "login": "ODD", "password": secret})
        self.assertEqual(self.get("count", ("odd@x.example", "ODD", secret))[1], b"0")
        self.assertEqual(self.get("count", ("odd@x.example", "ODD", "p&w"))[1], b"-202")
        escaped = ("odd@x.example", "ODD", "p%26w%20%2541%20x%231")
        self.assertEqual(self.get("count", escaped)[1], b"0")
        log = json.dumps(self.control("GET", "log"))
        with open(self.log_file, encoding="utf-8") as f:
            log += f.read()
        self.assertIn("pwd=***", log)
        for text in ("p&w", "%41 x#1", "p%26w", "DEMO2024"):
            self.assertNotIn(text, log)

    def test_compose_autoupgrade_mail(self):
        setup = bytes(range(256)) * 3
        msg_id = self.control("POST", "mailbox/add", {
            "address": DEMO[0], "from": "upgrade@service.example", "subject": "AUTOUPGRADE",
            "text": ["Release 2.10", "2.10", "20991231", ""],
            "attachments": [{"name": "SETUP.EXE",
                             "data_b64": base64.b64encode(setup).decode()}]})["id"]
        raw = self.get("retrieve", DEMO, msg_id)[1]
        mail = email.message_from_bytes(raw, policy=email.policy.compat32)
        self.assertEqual(mail["Subject"], "AUTOUPGRADE")
        text, attachment = [p for p in mail.walk() if not p.is_multipart()]
        self.assertEqual(text.get_payload(decode=True), b"Release 2.10\r\n2.10\r\n20991231\r\n\r\n")
        self.assertEqual(attachment.get_filename(), "SETUP.EXE")
        self.assertEqual(attachment.get_payload(decode=True), setup)
        self.assertNotIn(b"\n", raw.replace(b"\r\n", b""))  # CR LF line ends throughout

    # Faults
    def test_return_code_fault_replaces_the_work_for_the_next_n_requests(self):
        self.control("POST", "faults", {"kind": "code", "code": -204, "target": "send", "count": 2})
        body = upload_body(DEMO[0], DEMO[0])
        self.assertEqual([self.send(body)[1] for _ in range(3)], [b"-204", b"-204", b"0"])
        self.assertEqual(len(self.ids(DEMO)), 1)
        self.assertEqual(self.control("GET", "faults")["faults"], [])

    def test_status_and_body_faults(self):
        self.control("POST", "faults", [{"kind": "status", "target": "count"},
                                        {"kind": "status", "status": 201, "reason": "Created",
                                         "body": "0", "target": "send"},
                                        {"kind": "body", "body": "3/A1;B2;", "target": "count"}])
        status, _ = self.get("count")
        self.assertEqual(status, "HTTP/1.0 500 Internal Server Error")
        self.assertEqual(self.send(upload_body(DEMO[0], DEMO[0])), ("HTTP/1.0 201 Created", b"0"))
        self.assertEqual(self.get("count")[1], b"3/A1;B2;")
        self.assertEqual(self.ids(DEMO), [])  # the faulted upload was not delivered

    def test_fault_for_one_message_id_after_skipping(self):
        first, second = self.add_raw("a"), self.add_raw("b")
        self.control("POST", "faults", {"kind": "code", "code": -201, "target": "retrieve",
                                        "msgid": second, "skip": 1, "count": 0})
        got = [self.get("retrieve", DEMO, i)[1] for i in (second, first, second, second)]
        self.assertEqual(got, [b"b", b"a", b"-201", b"-201"])

    def test_drop_and_reset_close_without_answer(self):
        self.control("POST", "faults", [{"kind": "drop", "target": "count"},
                                        {"kind": "reset", "target": "count"}])
        self.assertEqual(self.get("count", tls=False), ("", b""))
        with self.assertRaises(ConnectionResetError):
            self.get("count", tls=False)
        self.assertEqual(self.get("count", tls=False)[1], b"0")

    def test_drop_before_the_tls_handshake(self):
        self.control("POST", "faults", {"kind": "drop", "when": "accept"})
        with self.assertRaises((ssl.SSLError, ConnectionError, OSError)):
            self.get("count")
        self.assertEqual(self.get("count")[1], b"0")

    def test_stall_sends_part_of_the_body_then_holds_until_the_client_leaves(self):
        raw = b"X" * 1000
        msg_id = self.add_raw(raw.decode())
        self.control("POST", "faults", {"kind": "stall", "target": "retrieve", "after_bytes": 300})
        sock = socket.create_connection(("127.0.0.1", self.info["https_port"]), timeout=30)
        with self.tls.wrap_socket(sock, server_hostname="127.0.0.1") as sock:
            sock.sendall(("GET /webmail/retrieve?user=%s&login=%s&pwd=%s&id=%s HTTP/1.0\r\n\r\n"
                          % (DEMO + (msg_id,))).encode())
            got = b""
            while got.count(b"X") < 300:
                piece = sock.recv(65536)
                self.assertTrue(piece, "closed early")
                got += piece
            self.assertIn(b"Content-Length: 1000", got)
            self.assertEqual(got.partition(b"\r\n\r\n")[2], b"X" * 300)
        # The service goes on serving, and the stalled retrieve removed nothing.
        self.assertEqual(self.get("retrieve", DEMO, msg_id)[1], raw)

    def test_stall_with_no_time_truncates_and_delay_answers_normally(self):
        self.control("POST", "faults", [{"kind": "stall", "target": "count", "seconds": 0,
                                         "head": False},
                                        {"kind": "delay", "target": "count", "seconds": 0.1}])
        self.assertEqual(self.get("count"), ("", b""))
        self.assertEqual(self.get("count")[1], b"0")
        faults = [e.get("fault") for e in self.control("GET", "log")["entries"]]
        self.assertEqual(faults, ["stall", "delay"])

    def test_bad_fault_is_refused(self):
        status, _ = self.exchange(b"POST /_control/faults HTTP/1.0\r\nContent-Length: 17\r\n\r\n"
                                  b'{"kind": "melt"}\n', False, self.info["control_port"])
        self.assertIn(" 400 ", status)

    def test_unknown_path_is_not_found(self):
        self.assertIn(" 404 ", self.exchange(b"GET /index.html HTTP/1.0\r\n\r\n")[0])


class QueryTest(unittest.TestCase):
    def test_split_keeps_ampersands_inside_values(self):
        params = service.parse_query("user=a@b.c&login=L&pwd=x&y z&id=M1&lang=en")
        self.assertEqual(params, {"user": "a@b.c", "login": "L", "pwd": "x&y z", "id": "M1"})
        self.assertEqual(service.mask_query("user=a&pwd=x&y&id=1"), "user=a&pwd=***&id=1")

    def test_multipart_fields_end_before_the_delimiter_line_break(self):
        fields = service.parse_multipart("multipart/form-data; boundary=" + BOUNDARY,
                                         upload_body("a@b.c", "d@e.f"))
        self.assertEqual(fields["from"], (b"a@b.c", None))
        self.assertEqual(fields["attfile"], (MSG_FILE, "/home/qb/OUTBOX/A100.msg"))


class StopTest(unittest.TestCase):
    def test_stops_on_sigterm_on_stdin_end_and_when_the_parent_ends(self):
        proc, _ = start()
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(timeout=60), 0)
        proc.stderr.close(), proc.stdout.close()
        proc, _ = start("--exit-on-stdin-eof", stdin=subprocess.PIPE)
        proc.stdin.close()
        self.assertEqual(proc.wait(timeout=60), 0)
        proc.stderr.close(), proc.stdout.close()
        parent = subprocess.Popen(["sleep", "600"])
        proc, _ = start("--parent-pid", str(parent.pid), "--https-port", "-1")
        parent.kill()
        parent.wait()
        self.assertEqual(proc.wait(timeout=60), 0)
        self.assertIn(b"parent ended", proc.stderr.read())
        proc.stderr.close(), proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
