#!/usr/bin/env bash
# Side-by-side store figures for two quorvexd builds on this machine, in one run: for each
# round, `quorvex_load stores` with the first build and then the second (orders/s, order
# answer latency at 1,000 and 5,000 orders/s, the disk's fsync rate beside each), and
# pgbench (-c 8 -j 2 -T 15, default and -N) on the same PostgreSQL cluster as the anchor.
# This machine's disk switches between fast and slow fsync modes: compare within a round.
#
#   scripts/compare-stores.sh LOAD_TOOL BEFORE_QUORVEXD AFTER_QUORVEXD PG_STATE [ROUNDS]
#
# PG_STATE is the state file of scripts/pg-test-cluster.sh (its second line is the URI).
set -euo pipefail
load=$1 before=$2 after=$3 state=$4 rounds=${5:-2}
uri=$(sed -n 2p "$state")
dir=$(head -1 "$state")
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
"$bindir/psql" -q -h "$dir" -U postgres -d postgres -c "DROP DATABASE IF EXISTS compare_pgbench" \
    -c "CREATE DATABASE compare_pgbench"
"$bindir/pgbench" -i -q -h "$dir" -U postgres compare_pgbench >/dev/null 2>&1
for round in $(seq "$rounds"); do
    for build in before after; do
        binary=$before
        [[ $build == after ]] && binary=$after
        echo "=== round $round: $build ($binary)"
        "$load" stores --pg "$uri" --orders 50000 --server "$binary" | grep -E "==|disk|orders/s|latency:|median"
    done
    for mode in "" "-N"; do
        echo "=== round $round: pgbench -c 8 -j 2 -T 15 $mode"
        "$bindir/pgbench" $mode -c 8 -j 2 -T 15 -h "$dir" -U postgres compare_pgbench 2>&1 | grep -E "^tps|latency average"
    done
done
