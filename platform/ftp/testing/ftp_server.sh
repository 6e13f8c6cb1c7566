#!/usr/bin/env bash
# The FTP servers of the transfer tests (ftp_server.py beside this script).
#
#   ftp_server.sh start STATE_DIR    start them; a server left in STATE_DIR is stopped first
#   ftp_server.sh stop STATE_DIR     stop them and remove their folder
#
# start writes to STATE_DIR: root (the servers' folder, a new folder under
# $TMPDIR), ports ("NORMAL NO_PASSIVE"), pid, and server (the interpreter and
# the script, one a line, for tests that start servers of their own on the
# same folder: testing/test_servers.h OwnServer). The servers need pyftpdlib: they
# run under $BQ_FTP_PYTHON, default /usr/bin/python3 (Debian's python3-pyftpdlib
# is installed for it). Every wait is bounded; the servers end by themselves
# after 30 minutes should stop never come.
set -euo pipefail

die() { echo "ftp_server.sh: $*" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
python=${BQ_FTP_PYTHON:-/usr/bin/python3}

stop_servers() {
  local state=$1 pid root
  if [ -f "$state/pid" ]; then
    pid=$(cat "$state/pid")
    # Only the process we started: its command line names our script.
    if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'ftp_server.py'; then
      kill "$pid" 2>/dev/null || true
      # A process that ended has an empty command line (a zombie waits for init).
      for _ in $(seq 50); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'ftp_server.py' || break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  if [ -f "$state/root" ]; then
    root=$(cat "$state/root")
    case "$root" in
      */bq-ftp.*) rm -rf -- "$root" "$root.log" ;;
    esac
  fi
  rm -f "$state/pid" "$state/root" "$state/ports" "$state/server"
}

cmd=${1:-}
state=${2:-}
[ -n "$state" ] || die "usage: ftp_server.sh start|stop STATE_DIR"

case "$cmd" in
  start)
    mkdir -p "$state"
    stop_servers "$state"
    "$python" -c 'import pyftpdlib' 2>/dev/null ||
      die "$python has no pyftpdlib (install python3-pyftpdlib or set BQ_FTP_PYTHON)"
    root=$(mktemp -d "${TMPDIR:-/tmp}/bq-ftp.XXXXXX")
    echo "$root" >"$state/root"
    setsid "$python" "$here/ftp_server.py" --root "$root" --port-file "$state/ports" \
      --lifetime 1800 </dev/null >"$root.log" 2>&1 &
    echo $! >"$state/pid"
    printf '%s\n%s\n' "$python" "$here/ftp_server.py" >"$state/server"
    for _ in $(seq 100); do
      [ -s "$state/ports" ] && exit 0
      kill -0 "$(cat "$state/pid")" 2>/dev/null || break
      sleep 0.1
    done
    cat "$root.log" >&2 || true
    stop_servers "$state"
    die "the FTP servers did not start"
    ;;
  stop)
    stop_servers "$state"
    ;;
  *)
    die "usage: ftp_server.sh start|stop STATE_DIR"
    ;;
esac
