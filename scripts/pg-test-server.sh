#!/usr/bin/env bash
# Private PostgreSQL server for the test suite.
#
#   pg-test-server.sh start DIR   initialises a throw-away cluster, starts it on
#                                 127.0.0.1 (free port) and a socket of its own,
#                                 creates the test role and database, and prints
#                                 `export` lines for the tests on stdout
#   pg-test-server.sh stop DIR    stops that server and removes the cluster
#
# The server refuses to run as root, so under root the cluster lives in a
# temporary folder owned by the `postgres` account (DIR itself may sit in a
# folder that account cannot enter); DIR/cluster records where it is.
# TCP connections need the password, so tests can check a wrong one; the
# socket in the cluster folder trusts local users (for administration here).
set -euo pipefail

PG_BIN=${PG_BIN:-}
if [ -z "$PG_BIN" ]; then
  for v in 17 16 15 14 13; do
    if [ -x "/usr/lib/postgresql/$v/bin/initdb" ]; then
      PG_BIN=/usr/lib/postgresql/$v/bin
      break
    fi
  done
fi
if [ -z "$PG_BIN" ] && command -v initdb >/dev/null 2>&1; then
  PG_BIN=$(dirname "$(command -v initdb)")
fi

TEST_USER=corvid
TEST_PASSWORD=corvid-test
TEST_DB=corvid_test

log() { echo "pg-test-server: $*" >&2; }

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}

# Runs a server program as the account that owns the cluster.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

port_in_use() {
  ss -Htln 2>/dev/null | awk '{print $4}' | grep -Eq "[:.]$1\$"
}

start() {
  local dir=$1
  if [ -z "$PG_BIN" ]; then
    log "PostgreSQL server programs not found (install the postgresql package)"
    exit 1
  fi
  mkdir -p "$dir"
  if [ -f "$dir/cluster" ]; then
    stop "$dir" || true
  fi
  local cluster
  if [ "$(id -u)" -eq 0 ]; then
    cluster=$(mktemp -d /tmp/corvid-pg.XXXXXX)
    chown postgres: "$cluster"
  else
    cluster=$(mktemp -d "${TMPDIR:-/tmp}/corvid-pg.XXXXXX")
  fi
  chmod 700 "$cluster"
  echo "$cluster" >"$dir/cluster"

  local pwfile="$cluster/pw"
  printf '%s\n' "$TEST_PASSWORD" >"$pwfile"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$pwfile"
  if ! as_owner "$PG_BIN/initdb" -D "$cluster/data" -U postgres --pwfile="$pwfile" \
      --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 \
      >"$cluster/initdb.log" 2>&1; then
    cat "$cluster/initdb.log" >&2
    log "initdb failed"
    exit 1
  fi
  rm -f "$pwfile"

  # Throw-away data: durability settings off, so tests do not wait on disks.
  local port tries=0 started=0
  while [ $tries -lt 20 ]; do
    tries=$((tries + 1))
    port=$((20000 + RANDOM % 40000))
    port_in_use "$port" && continue
    if as_owner "$PG_BIN/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$cluster \
            -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
            -c max_connections=200" start >/dev/null 2>&1; then
      started=1
      break
    fi
    log "start on port $port failed, retrying"
  done
  if [ $started -ne 1 ]; then
    cat "$cluster/server.log" >&2 || true
    log "could not start the server"
    exit 1
  fi
  echo "$port" >"$dir/port"

  local psql=("$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$cluster" -p "$port" -U postgres -d postgres)
  if ! as_owner "${psql[@]}" >/dev/null <<SQL; then
create role $TEST_USER login createdb password '$TEST_PASSWORD';
create database $TEST_DB owner $TEST_USER;
SQL
    log "could not create the test role and database"
    exit 1
  fi

  log "server running on 127.0.0.1:$port (cluster $cluster)"
  cat <<EOF
export CORVID_PG_HOST=127.0.0.1
export CORVID_PG_PORT=$port
export CORVID_PG_USER=$TEST_USER
export CORVID_PG_PASSWORD=$TEST_PASSWORD
export CORVID_PG_DATABASE=$TEST_DB
export CORVID_PG_CONNINFO='host=127.0.0.1 port=$port user=$TEST_USER password=$TEST_PASSWORD dbname=$TEST_DB'
EOF
}

stop() {
  local dir=$1
  [ -f "$dir/cluster" ] || return 0
  local cluster
  cluster=$(cat "$dir/cluster")
  if [ -d "$cluster/data" ] && [ -n "$PG_BIN" ]; then
    as_owner "$PG_BIN/pg_ctl" -D "$cluster/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  case "$cluster" in
    */corvid-pg.*) rm -rf "$cluster" ;;
  esac
  rm -f "$dir/cluster" "$dir/port"
}

[ $# -eq 2 ] || usage
case "$1" in
  start) start "$2" ;;
  stop) stop "$2" ;;
  *) usage ;;
esac
