# Sourced by the benchmarks that run the stand-in web-mail service (root set by the caller):
# a work folder that goes at exit together with the service;
# standin_start ACCOUNTS [OPTION...], which starts the service on 127.0.0.1 with the given
# options and sets port and control to its HTTPS and control ports; and
# send_installation DVR_DIR RECEIVER BASE_URL [LOG_LEVEL], which writes the two setting files
# of an installation at bench@send.example that sends its .TXT files to RECEIVER; and
# recv_installation DVR_DIR ADDRESS LOGIN BASE_URL [LOG_LEVEL], which writes those of an
# installation that receives from the service (the password is 2468, stored scrambled:
# digits only, each XOR 0x6B).
work=$(mktemp -d "${TMPDIR:-/tmp}/bench.XXXXXX")
standin_pid=
standin_cleanup() {
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap standin_cleanup EXIT

standin_start() {
  local accounts=$1
  shift
  python3 "$root/tools/webmail/webmail_standin.py" --accounts "$accounts" \
    --state-dir "$work/standin" "$@" > "$work/standin.out" 2>&1 &
  standin_pid=$!
  for _ in $(seq 300); do [ -s "$work/standin.out" ] && break; sleep 0.1; done
  read -r port control < <(python3 -c 'import json,sys
d = json.loads(open(sys.argv[1]).readline()); print(d["https_port"], d["control_port"])' \
    "$work/standin.out")
}

send_installation() {
  local dir=$1 receiver=$2 base=$3 level=${4:-1}
  mkdir -p "$dir"
  cat > "$dir/USER.INI" <<INI
[SYSTEM]
LOG_LEVEL=$level
AUTOIMPORT=1
[IDENTIFICATION]
EMAIL_ADDR=bench@send.example
[CONNECTION]
LEASE_LINE=1
TIMEOUT=600
[iFile]
TXT=1
INI
  cat > "$dir/DVR.INI" <<INI
[SYSTEM]
VERSION=1.0.0
[IDX]
A=ORDERS
[ORDERS]
EMAIL=$receiver
WebMailSender=$base/send?from=%s
INI
}

recv_installation() {
  local dir=$1 address=$2 login=$3 base=$4 level=${5:-1}
  mkdir -p "$dir"
  cat > "$dir/USER.INI" <<INI
[SYSTEM]
LOG_LEVEL=$level
[IDENTIFICATION]
EMAIL_ADDR=$address
LOGIN_ID=$login
PASSWORD=Y_]S
[CONNECTION]
LEASE_LINE=1
TIMEOUT=600
INI
  cat > "$dir/DVR.INI" <<INI
[SYSTEM]
VERSION=1.0.0
[CONNECTION]
WEBMAILCOUNTER=$base/count?user=%s&login=%s&pwd=%s
WEBMAILRETRIEVER=$base/retrieve?user=%s&login=%s&pwd=%s&id=%s
WEBMAILDELETE=$base/delete?user=%s&login=%s&pwd=%s&id=%s
INI
}
