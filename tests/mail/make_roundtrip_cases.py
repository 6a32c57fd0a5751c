#!/usr/bin/env python3
"""Writes round-trip cases for the mail parser into a folder: for each case N a random binary
file bin_N with its base64 attachment in b64_N.eml (CR LF line ends), the same with blanks and
TABs after the encoded lines in b64ws_N.eml, a uuencoded block (Debian's uuencode) inside a text
body in uu_N.eml, and a random text file txt_N (lines of any bytes but CR and LF, each ended by
CR LF) with its quoted-printable attachment in qp_N.eml."""
import os
import random
import subprocess
import sys
from email import policy
from email.message import EmailMessage

out = sys.argv[1]
rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 5)
# CR and LF become other bytes, so a text line holds any byte but those two.
NO_LINE_BREAKS = bytes.maketrans(b"\r\n", b"\x0b\x85")
sizes = [0, 1, 2, 3, 4, 44, 45, 46, 57, 1000, 65537, 200000] + [rng.randrange(0, 200001) for _ in range(3)]


def message(subject):
    m = EmailMessage()
    m["From"] = "peer@example.com"
    m["To"] = "us@example.com"
    m["Subject"] = subject
    m.set_content("see attachment\n")
    return m


for n, size in enumerate(sizes):
    data = rng.randbytes(size)
    with open(os.path.join(out, f"bin_{n}"), "wb") as f:
        f.write(data)

    m = message(f"b64 {n}")
    m.add_attachment(data, maintype="application", subtype="octet-stream", filename=f"bin_{n}.dat")
    raw = m.as_bytes(policy=policy.SMTP)
    with open(os.path.join(out, f"b64_{n}.eml"), "wb") as f:
        f.write(raw)

    # Encoded lines are the ones made only of the alphabet, at least 4 long.
    alphabet = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=")
    lines = []
    for line in raw.split(b"\r\n"):
        if len(line) >= 4 and set(line) <= alphabet:
            line += bytes(rng.choice(b" \t") for _ in range(rng.randrange(1, 4)))
        lines.append(line)
    with open(os.path.join(out, f"b64ws_{n}.eml"), "wb") as f:
        f.write(b"\r\n".join(lines))

    block = subprocess.run(["uuencode", os.path.join(out, f"bin_{n}"), f"uu_{n}.bin"],
                           check=True, capture_output=True).stdout
    with open(os.path.join(out, f"uu_{n}.eml"), "wb") as f:
        f.write(b"From: peer@example.com\nSubject: uu\n\nbefore\n" + block + b"after\n")

    text_lines = [rng.randbytes(rng.randrange(0, 120)).translate(NO_LINE_BREAKS) for _ in range(size // 60 + 1)]
    text = b"".join(line + b"\r\n" for line in text_lines)
    with open(os.path.join(out, f"txt_{n}"), "wb") as f:
        f.write(text)
    m = message(f"qp {n}")
    # As text, so line breaks stay line breaks in the encoded form.
    m.add_attachment(text.decode("latin-1"), subtype="plain", charset="latin-1", cte="quoted-printable",
                     filename=f"txt_{n}.txt")
    with open(os.path.join(out, f"qp_{n}.eml"), "wb") as f:
        f.write(m.as_bytes())

print(len(sizes))
