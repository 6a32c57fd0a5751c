#!/usr/bin/env python3
"""Stand-in web-mail service for the gateway's tests, benchmarks and demo.

Serves the sender (multipart upload), count, retrieve and delete calls over HTTPS and
plain HTTP on 127.0.0.1, with a JSON control interface on a third port. Prints one JSON
line with the ports and the certificate files once it listens, then runs until SIGTERM,
SIGINT, a control shutdown, the end of its parent (--parent-pid) or of its standard input
(--exit-on-stdin-eof), or --max-lifetime. See README.md.
"""

import argparse
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from standin import control, faults, mailstore, reqlog, server, service  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def make_certificates(folder):
    """A throw-away CA and a server certificate for localhost and 127.0.0.1 (EC P-256,
    cheap handshakes). Returns (ca file, certificate file, key file)."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    for key in ("ca.key", "server.key"):
        run("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-out", key)
        os.chmod(os.path.join(folder, key), 0o600)
    run("req", "-x509", "-new", "-key", "ca.key", "-out", "ca.pem", "-days", "3650",
        "-subj", "/O=Web-mail stand-in/CN=Web-mail stand-in CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", "-new", "-key", "server.key", "-out", "server.csr",
        "-subj", "/O=Web-mail stand-in/CN=localhost")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "extendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-set_serial", str(int.from_bytes(os.urandom(8), "big")), "-days", "825",
        "-extfile", "server.ext", "-out", "server.pem")
    return tuple(os.path.join(folder, n) for n in ("ca.pem", "server.pem", "server.key"))


def url_formats(scheme, port, base):
    root = "%s://127.0.0.1:%d%s" % (scheme, port, base)
    return {"sender": root + "send?from=%s",
            "counter": root + "count?user=%s&login=%s&pwd=%s",
            "retriever": root + "retrieve?user=%s&login=%s&pwd=%s&id=%s",
            "deleter": root + "delete?user=%s&login=%s&pwd=%s&id=%s"}


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--https-port", type=int, default=0, help="0 = any free port, -1 = off")
    p.add_argument("--http-port", type=int, default=0, help="0 = any free port, -1 = off")
    p.add_argument("--control-port", type=int, default=0)
    p.add_argument("--cert", help="server certificate (PEM); made at start when absent")
    p.add_argument("--key", help="key of --cert (PEM)")
    p.add_argument("--ca-file", help="file a client trusts for --cert (default: --cert)")
    p.add_argument("--state-dir", help="folder for the made certificates and standin.json "
                   "(default: a temporary folder removed at exit)")
    p.add_argument("--accounts", help="JSON file of accounts (default: demo_accounts.json)")
    p.add_argument("--account", action="append", default=[], metavar="EMAIL:LOGIN:PASSWORD")
    p.add_argument("--seed", action="append", default=[], metavar="DIR|FILE.json",
                   help="mailbox contents at start and after a reset")
    p.add_argument("--strict-recipients", action="store_true",
                   help="an upload to an address without mailbox or account fails with -201")
    p.add_argument("--log-file", help="append the request log here as JSON lines")
    p.add_argument("--save-bodies", metavar="DIR", help="keep every upload body in DIR")
    p.add_argument("--io-timeout", type=float, default=30.0)
    p.add_argument("--max-body", type=int, default=64 * 1024 * 1024)
    p.add_argument("--max-connections", type=int, default=256)
    p.add_argument("--parent-pid", type=int, help="stop when this process has ended")
    p.add_argument("--exit-on-stdin-eof", action="store_true")
    p.add_argument("--max-lifetime", type=float, default=4 * 3600.0,
                   help="seconds until the service stops by itself (0 = no limit)")
    return p.parse_args(argv)


def load_accounts(args):
    accounts = [mailstore.account_from_option(a) for a in args.account]
    if args.accounts or not accounts:
        path = args.accounts or os.path.join(HERE, "demo_accounts.json")
        accounts = mailstore.load_accounts(path) + accounts
    return accounts


def watch(stop, args, started):
    """Returns the reason the service should stop, checking twice a second."""
    while not stop.wait(0.5):
        if args.parent_pid:
            try:
                os.kill(args.parent_pid, 0)
            except ProcessLookupError:
                return "parent ended"
            except PermissionError:
                pass
        if args.max_lifetime and time.monotonic() - started > args.max_lifetime:
            return "lifetime over"
    return "stop requested"


def main(argv=None):
    args = parse_args(argv)
    started = time.monotonic()
    stop = threading.Event()
    reason = {}

    def request_stop(why):
        reason.setdefault("why", why)
        stop.set()

    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda n, _f: request_stop(signal.Signals(n).name))

    temp_dir = None
    if args.state_dir:
        state_dir = os.path.abspath(args.state_dir)
        os.makedirs(state_dir, exist_ok=True)
    else:
        state_dir = temp_dir = tempfile.mkdtemp(prefix="webmail-standin-")
    try:
        tls = None
        if args.https_port >= 0:
            if args.cert:
                cert, key = args.cert, args.key or args.cert
                ca_file = args.ca_file or args.cert
            else:
                ca_file, cert, key = make_certificates(state_dir)
            tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            tls.load_cert_chain(cert, key)
        else:
            ca_file = cert = key = None

        accounts = load_accounts(args)
        store = mailstore.MailStore(accounts)
        board = faults.FaultBoard()
        log = reqlog.RequestLog(args.log_file, bodies_dir=args.save_bodies)
        ctl = control.Control(store, board, log, accounts, args.seed,
                              lambda: request_stop("control shutdown"))
        ctl.load_seeds()
        app = server.StandIn(store, service.WebMailService(store, args.strict_recipients),
                             board, log, ctl, tls, args.io_timeout, args.max_body,
                             args.max_connections)
        ctl.app = app
        info = {"pid": os.getpid(), "https_port": None, "http_port": None,
                "ca_file": ca_file, "cert_file": cert, "key_file": key, "state_dir": state_dir,
                "urls": {}}
        if tls is not None:
            info["https_port"] = app.listen("https", args.https_port)
            info["urls"]["https"] = url_formats("https", info["https_port"], "/webmail/")
        if args.http_port >= 0:
            info["http_port"] = app.listen("http", args.http_port)
            info["urls"]["http"] = url_formats("http", info["http_port"], "/webmail/")
        info["control_port"] = app.listen("control", args.control_port)
        if args.state_dir:
            with open(os.path.join(state_dir, "standin.json"), "w") as f:
                json.dump(info, f, indent=1)
        sys.stdout.write(json.dumps(info) + "\n")
        sys.stdout.flush()

        if args.exit_on_stdin_eof:
            def read_stdin():
                while sys.stdin.buffer.read1(4096):
                    pass
                request_stop("stdin closed")
            threading.Thread(target=read_stdin, daemon=True).start()

        why = watch(stop, args, started)
        app.stop()
        log.close()
        print("webmail stand-in stopped: " + reason.get("why", why), file=sys.stderr)
        return 0
    finally:
        if temp_dir:
            shutil.rmtree(temp_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
