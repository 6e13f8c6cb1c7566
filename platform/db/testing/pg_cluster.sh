#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the data-access tests.
#
#   pg_cluster.sh start STATE_DIR PORT    PORT 0 picks a free port
#   pg_cluster.sh stop STATE_DIR
#
# start: initdb into a new folder under $TMPDIR (as the postgres user when run
# as root), listening on 127.0.0.1 only, trust authentication, database
# "bqtest"; writes the cluster's folder to STATE_DIR/cluster and its URI
# (postgresql://postgres@127.0.0.1:PORT/bqtest) to STATE_DIR/uri. A cluster
# left behind in STATE_DIR by an earlier run is stopped first.
# stop: stops the cluster of STATE_DIR and removes its folder.
#
# The server programs are looked for in $PG_BINDIR, beside `pg_config
# --bindir`, under /usr/lib/postgresql/*/bin (the newest version) and on PATH.
# Every wait is bounded.
set -euo pipefail

die() { echo "pg_cluster.sh: $*" >&2; exit 1; }

find_bindir() {
  local d
  for d in "${PG_BINDIR:-}" "$(pg_config --bindir 2>/dev/null || true)" \
           $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5,5 -n -r); do
    [ -n "$d" ] && [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && { echo "$d"; return; }
  done
  d=$(dirname "$(command -v initdb 2>/dev/null || echo /nonexistent/initdb)")
  [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && { echo "$d"; return; }
  die "initdb and pg_ctl not found (install postgresql or set PG_BINDIR)"
}

# Runs "$@" as the cluster's owner: the postgres user when we are root.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_in_use() { [ -n "$(ss -ltnH "sport = :$1" 2>/dev/null)" ]; }

stop_cluster() {
  local state=$1 bindir=$2 data
  [ -f "$state/cluster" ] || return 0
  data=$(cat "$state/cluster")
  if [ -d "$data/data" ]; then
    as_owner "$bindir/pg_ctl" -D "$data/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  case "$data" in
    */bq-pg.*) rm -rf -- "$data" ;;
  esac
  rm -f "$state/cluster" "$state/uri"
}

cmd=${1:-}
state=${2:-}
[ -n "$state" ] || die "usage: pg_cluster.sh start STATE_DIR PORT | stop STATE_DIR"
bindir=$(find_bindir)

case "$cmd" in
  start)
    port=${3:-0}
    mkdir -p "$state"
    stop_cluster "$state" "$bindir"
    data=$(mktemp -d "${TMPDIR:-/tmp}/bq-pg.XXXXXX")
    echo "$data" >"$state/cluster"
    chmod 700 "$data"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$data"
    as_owner "$bindir/initdb" -D "$data/data" -U postgres -A trust -E UTF8 --locale=C --no-sync \
      >"$data/initdb.log" 2>&1 || { cat "$data/initdb.log" >&2; die "initdb failed"; }
    started=0
    for attempt in 1 2 3 4 5 6 7 8; do
      p=$port
      if [ "$port" = 0 ]; then
        p=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
        port_in_use "$p" && continue
      fi
      if as_owner "$bindir/pg_ctl" -D "$data/data" -l "$data/server.log" -w -t 60 \
           -o "-c listen_addresses=127.0.0.1 -p $p -c unix_socket_directories=$data -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
           start >/dev/null 2>&1; then
        started=1
        break
      fi
      [ "$port" = 0 ] || break
    done
    [ $started -eq 1 ] || { cat "$data/server.log" >&2 2>/dev/null || true; stop_cluster "$state" "$bindir"; die "the server did not start"; }
    PGCONNECT_TIMEOUT=10 "$bindir/createdb" -h 127.0.0.1 -p "$p" -U postgres bqtest ||
      { stop_cluster "$state" "$bindir"; die "createdb failed"; }
    echo "postgresql://postgres@127.0.0.1:$p/bqtest" >"$state/uri"
    ;;
  stop)
    stop_cluster "$state" "$bindir"
    ;;
  *)
    die "usage: pg_cluster.sh start STATE_DIR PORT | stop STATE_DIR"
    ;;
esac
