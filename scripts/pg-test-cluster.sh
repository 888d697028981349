#!/usr/bin/env bash
# A private PostgreSQL cluster for the server tests: `start STATE` makes one in a new
# temporary folder (unix socket only, in that folder) and writes the folder and the
# connection URI of its maintenance database into STATE; `stop STATE` stops it and removes
# the folder. `down STATE` and `up STATE` stop and start it again, keeping its data, as a
# database restart does. PostgreSQL refuses to run as root, so under root the cluster belongs to nobody.
set -euo pipefail
action=$1
state=$2

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
[[ -x "$bindir/initdb" ]] || bindir=$(dirname "$(command -v initdb 2>/dev/null || echo /nonexistent/initdb)")

as_owner() {
    if [[ $(id -u) -eq 0 ]]; then
        runuser -u nobody -- "$@"
    else
        "$@"
    fi
}

run_cluster() {
    as_owner "$bindir/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$1' -c port=5432 -c max_connections=200 -c fsync=on" \
        start >/dev/null || { cat "$1/server.log"; exit 1; }
}

case $action in
start)
    if [[ ! -x "$bindir/initdb" ]]; then
        echo "PostgreSQL is not installed: its server tests are skipped (scripts/setup.sh installs it)"
        echo "none" >"$state"
        exit 0
    fi
    dir=$(mktemp -d /tmp/quorvexd-pgtest-XXXXXX)
    chmod 755 "$dir"
    [[ $(id -u) -eq 0 ]] && chown nobody "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -E UTF8 --locale=C.UTF-8 -A trust -U postgres >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log"; exit 1; }
    run_cluster "$dir"
    printf '%s\npostgresql:///postgres?host=%s&port=5432&user=postgres\n' "$dir" "$dir" >"$state"
    echo "PostgreSQL test cluster in $dir"
    ;;
stop)
    [[ -f "$state" ]] || exit 0
    dir=$(head -1 "$state")
    if [[ "$dir" == /tmp/quorvexd-pgtest-* && -d "$dir" ]]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
        rm -rf "$dir"
    fi
    rm -f "$state"
    ;;
down)
    as_owner "$bindir/pg_ctl" -D "$(head -1 "$state")/data" -m fast -w stop >/dev/null
    ;;
up)
    run_cluster "$(head -1 "$state")"
    ;;
*)
    echo "usage: $0 start|stop|down|up STATE" >&2
    exit 2
    ;;
esac
