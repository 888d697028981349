#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
# The tests mostly wait on sockets and timers: twice as many as there are cores keep them busy.
ctest --test-dir build --output-on-failure -j"$((2 * $(nproc)))"
