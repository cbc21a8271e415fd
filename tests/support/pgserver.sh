#!/usr/bin/env bash
# Starts or stops a throw-away PostgreSQL for the server variants of the tests.
#   pgserver.sh start DIR   initdb into DIR, listen only on a Unix socket in DIR
#   pgserver.sh stop DIR    stop it and remove DIR
# initdb refuses root, so as root the server runs as nobody in a folder made nobody's.
# Without the server binaries start starts nothing: the server variants then report skipped.
set -euo pipefail
action=$1 dir=$2
bin=${QUENVALE_PG_BIN:-/usr/lib/postgresql/15/bin}
as_owner=()
[[ $(id -u) == 0 ]] && as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)

case $action in
start)
  if [[ ! -x $bin/initdb || ! -x $bin/pg_ctl ]]; then
    echo "no PostgreSQL server in $bin: the server variants will be skipped"
    rm -rf "$dir"
    exit 0
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  [[ $(id -u) == 0 ]] && chown nobody:nogroup "$dir"
  chmod 700 "$dir"
  cd "$dir"
  "${as_owner[@]}" "$bin/initdb" -D "$dir/db" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log"; exit 1; }
  "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/db" -l "$dir/server.log" -w -t 60 start \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off -c max_connections=60" \
    >/dev/null || { cat "$dir/server.log"; exit 1; }
  # The socket folder must let the tests (root or not) through.
  chmod 755 "$dir"
  echo "PostgreSQL running on socket folder $dir"
  ;;
stop)
  if [[ -f $dir/db/postmaster.pid ]]; then
    cd "$dir"
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/db" -m immediate -w stop >/dev/null || true
  fi
  rm -rf "$dir"
  ;;
esac
