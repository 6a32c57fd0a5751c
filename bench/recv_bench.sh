#!/usr/bin/env bash
# The receive worker beside a curl loop, both against the stand-in web-mail service over TLS
# on 127.0.0.1, in the same run: a mailbox of 1,000 messages of about 2 KB (by default), each
# carrying one attachment. The worker counts, then fetches, deletes and stores each message;
# the curl loop makes the same calls (count, then retrieve and delete per message), one curl
# process per call as a script would, and keeps each message in a file. The service is reset
# between the two, so both find the same mailbox.
# usage: bench/recv_bench.sh [BIN_DIR] [MESSAGES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
messages=${2:-1000}
. "$root/bench/standin.sh"

address=bench@recv.example
# Digits only: stored scrambled in USER.INI as plain characters (each XOR 0x6B).
password=2468
printf '{"accounts": [{"email": "%s", "login": "B1", "password": "%s"}]}' \
  "$address" "$password" > "$work/accounts.json"
python3 - "$work/seed.json" "$address" "$messages" <<'PY'
import base64, json, os, sys
path, address, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
items = [{"from": "partner@bench.example", "subject": "Orders %04d" % i,
          "text": "see attached",
          "attachments": [{"name": "R%04d.TXT" % i,
                           "data": base64.b64encode(os.urandom(736)).decode()}]}
         for i in range(count)]
json.dump({address: items}, open(path, "w"))
PY
standin_start "$work/accounts.json" --seed "$work/seed.json"
base="https://127.0.0.1:$port/webmail"
login="user=$address&login=B1&pwd=$password"
waiting() {
  curl -s "http://127.0.0.1:$control/_control/status" |
    python3 -c "import json,sys; print(json.load(sys.stdin)['mailboxes'].get('$address', 0))"
}
size=$(curl -s "http://127.0.0.1:$control/_control/mailboxes?address=$address" |
  python3 -c "import json,sys; m = json.load(sys.stdin)['mailboxes']['$address']
print(sum(x['size'] for x in m) // len(m))")

mkdir -p "$work/curl"
recv_installation "$work/DVR" "$address" B1 "$base" 2

start=$(date +%s.%N)
"$bin/recv_mailbox" "$work/DVR/" > "$work/recv.out"
gateway=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {print e - s}')
grep -q "RECEIVED $messages " "$work/recv.out" ||
  { echo "the receive worker stored $(cat "$work/recv.out")" >&2; exit 1; }
[ "$(waiting)" = 0 ] || { echo "the receive worker left messages behind" >&2; exit 1; }

curl -s -X POST -d '{}' "http://127.0.0.1:$control/_control/reset" > /dev/null
[ "$(waiting)" = "$messages" ] || { echo "the reset did not refill the mailbox" >&2; exit 1; }
start=$(date +%s.%N)
ids=$(curl -sfk "$base/count?$login" | cut -d/ -f2- | tr ';' ' ')
for id in $ids; do
  curl -sfk "$base/retrieve?$login&id=$id" -o "$work/curl/$id.eml" ||
    { echo "curl retrieve failed" >&2; exit 1; }
  [ "$(curl -sfk "$base/delete?$login&id=$id")" = 0 ] || { echo "curl delete failed" >&2; exit 1; }
done
peer=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {print e - s}')
[ "$(waiting)" = 0 ] || { echo "the curl loop left messages behind" >&2; exit 1; }

echo "$messages messages of $size bytes received over TLS: count, then retrieve and delete each"
awk -v n="$messages" -v g="$gateway" -v c="$peer" 'BEGIN {
  printf "  receive worker %7.2f s  %7.1f messages/s\n", g, n / g
  printf "  curl loop      %7.2f s  %7.1f messages/s\n", c, n / c
  printf "  messages per second, receive worker / curl loop: %.2f\n", c / g }'
