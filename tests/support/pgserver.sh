#!/usr/bin/env bash
# Starts or stops a throw-away PostgreSQL for the server variants of the tests.
#   pgserver.sh start DIR   initdb into a fresh folder in /tmp that DIR then links to; the
#                           server listens only on a Unix socket in that folder
#   pgserver.sh stop DIR    stop it and remove both
#   pgserver.sh halt|resume DIR  stop it keeping its data, and start it again
# initdb refuses root, so as root the server runs as nobody (a build folder below /root would
# be closed to it: hence the folder in /tmp). Without the server binaries start starts nothing
# and the server variants report skipped.
set -euo pipefail
action=$1 dir=$2
bin=${QUENVALE_PG_BIN:-/usr/lib/postgresql/15/bin}
as_owner=()
[[ $(id -u) == 0 ]] && as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)

stop() {
  local real
  real=$(readlink -f "$dir" 2>/dev/null || true)
  if [[ -n $real && -f $real/db/postmaster.pid ]]; then
    (cd "$real" && "${as_owner[@]}" "$bin/pg_ctl" -D "$real/db" -m immediate -w stop >/dev/null) || true
  fi
  [[ -n $real && $real == /tmp/quenvale-pg.* ]] && rm -rf "$real"
  rm -rf "$dir"
}

options() {
  echo "-c listen_addresses='' -c unix_socket_directories='$1' -c fsync=off -c max_connections=60"
}

case $action in
start)
  stop
  if [[ ! -x $bin/initdb || ! -x $bin/pg_ctl ]]; then
    echo "no PostgreSQL server in $bin: the server variants will be skipped"
    exit 0
  fi
  real=$(mktemp -d /tmp/quenvale-pg.XXXXXX)
  [[ $(id -u) == 0 ]] && chown nobody:nogroup "$real"
  cd "$real"
  "${as_owner[@]}" "$bin/initdb" -D "$real/db" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$real/initdb.log" 2>&1 || { cat "$real/initdb.log"; exit 1; }
  "${as_owner[@]}" "$bin/pg_ctl" -D "$real/db" -l "$real/server.log" -w -t 60 start \
    -o "$(options "$real")" \
    >/dev/null || { cat "$real/server.log"; exit 1; }
  # The tests (root or not) reach the socket through DIR.
  chmod 755 "$real"
  mkdir -p "$(dirname "$dir")"
  ln -sfn "$real" "$dir"
  echo "PostgreSQL running on socket folder $real (linked from $dir)"
  ;;
stop)
  stop
  ;;
halt) # a server that went away, its data kept
  "${as_owner[@]}" "$bin/pg_ctl" -D "$(readlink -f "$dir")/db" -m fast -w stop >/dev/null
  ;;
resume)
  real=$(readlink -f "$dir") && cd "$real"
  "${as_owner[@]}" "$bin/pg_ctl" -D "$real/db" -l "$real/server.log" -w start -o "$(options "$real")" >/dev/null
  ;;
esac
