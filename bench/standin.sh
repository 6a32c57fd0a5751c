# Sourced by the benchmarks that run the stand-in web-mail service (root set by the caller):
# a work folder that goes at exit together with the service, and standin_start ACCOUNTS,
# which starts the service on 127.0.0.1 and sets port to its HTTPS port.
work=$(mktemp -d)
standin_pid=
standin_cleanup() {
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap standin_cleanup EXIT

standin_start() {
  python3 "$root/tools/webmail/webmail_standin.py" --accounts "$1" \
    --state-dir "$work/standin" > "$work/standin.out" 2>&1 &
  standin_pid=$!
  for _ in $(seq 300); do [ -s "$work/standin.out" ] && break; sleep 0.1; done
  port=$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["https_port"])' \
    "$work/standin.out")
}
