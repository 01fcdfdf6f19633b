#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: `start` creates a cluster in a
# new temporary directory, listens on 127.0.0.1 only, on a free port, with its
# socket directory inside that temporary directory and trust authentication
# for the user "postgres", and prints the shell assignment of TARNEL_PG_CONN;
# `env` prints it again for a running server; `stop` stops the server and
# removes the directory. Run as root, the server runs as the unprivileged
# "postgres" system user (through runuser); run as a normal user, as that
# user. TARNEL_PG_STATE names the state file, so that several servers can run
# side by side (default: one per user).
set -euo pipefail

state=${TARNEL_PG_STATE:-${TMPDIR:-/tmp}/tarnel-pg-test-server-$(id -u).state}

find_bin() {
  if [ -n "${PG_BIN:-}" ]; then echo "$PG_BIN"; return; fi
  local d
  for d in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -rV); do
    if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then echo "$d"; return; fi
  done
  command -v initdb >/dev/null 2>&1 && { dirname "$(command -v initdb)"; return; }
  echo "pg-test-server: initdb and pg_ctl not found (install the postgresql package)" >&2
  exit 1
}

# Runs a command as the server's user.
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

print_env() {
  local port=$1
  echo "export TARNEL_PG_CONN='Provider=PostgreSQL;Server=127.0.0.1;Port=$port;Database=postgres;User ID=postgres'"
}

running() {
  [ -f "$state" ] || return 1
  local dir port
  read -r dir port <"$state"
  [ -d "$dir/data" ] && as_server "$(find_bin)/pg_ctl" -D "$dir/data" status >/dev/null 2>&1
}

start() {
  if running; then
    local dir port
    read -r dir port <"$state"
    print_env "$port"
    return
  fi
  local bin dir port
  bin=$(find_bin)
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tarnel-pg.XXXXXX")
  mkdir -p "$dir/socket"
  if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || { echo "pg-test-server: no 'postgres' system user" >&2; exit 1; }
    chown -R postgres: "$dir"
  fi
  as_server "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    rm -rf "$dir"
    exit 1
  }
  local tries=0
  while true; do
    port=$(free_port)
    if as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir/socket -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=50" \
        start >/dev/null 2>&1; then
      break
    fi
    tries=$((tries + 1))
    if [ "$tries" -ge 3 ]; then
      echo "pg-test-server: the server did not start:" >&2
      cat "$dir/server.log" >&2 || true
      rm -rf "$dir"
      exit 1
    fi
  done
  echo "$dir $port" >"$state"
  print_env "$port"
}

stop() {
  [ -f "$state" ] || return 0
  local dir port
  read -r dir port <"$state"
  if [ -d "$dir/data" ]; then
    as_server "$(find_bin)/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null 2>&1 || true
  fi
  case "$dir" in
    */tarnel-pg.*) rm -rf "$dir" ;;
  esac
  rm -f "$state"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  env)
    if running; then
      read -r _ port <"$state"
      print_env "$port"
    else
      echo "pg-test-server: no server is running" >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 start|stop|env" >&2
    exit 2
    ;;
esac
