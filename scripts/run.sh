#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo contest server (unless one already
# listens on 127.0.0.1:9690), with its live ranking page on http://127.0.0.1:9691/, and the
# client connected to it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

BIN=build/bin
mkdir -p data
if ! (exec 3<>/dev/tcp/127.0.0.1/9690) 2>/dev/null; then
    "$BIN/quorvexd" serve --data data --http 127.0.0.1:9691 &
    SERVER=$!
    trap 'kill $SERVER 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        (exec 3<>/dev/tcp/127.0.0.1/9690) 2>/dev/null && break
        sleep 0.1
    done
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "No display found. On a machine without one, run the client under a virtual display:" >&2
    echo "    xvfb-run -a -s '-screen 0 1600x1000x24' bash scripts/run.sh" >&2
    exit 1
fi
"$BIN/Tavix" --server 127.0.0.1:9690
