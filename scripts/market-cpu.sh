#!/usr/bin/env bash
# The client's processor time with the quote board and with the chart open, against a demo
# server, under a virtual display: bash scripts/market-cpu.sh [SECONDS] [SHOT_PREFIX]
# Logs in as demo, opens 行情报价, samples /proc/PID/stat over SECONDS (60), then opens the
# chart of 600000 (lookup: 6, Enter) and samples again. Prints "% of one core" for each.
# Run it under a display: xvfb-run -a -s '-screen 0 1600x1000x24' bash scripts/market-cpu.sh
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_SAMPLE=${1:-60}
SHOT=${2:-}
BIN=${BIN:-build/bin}
work=$(mktemp -d)
cleanup() {
    [[ -n ${client:-} ]] && kill "$client" 2>/dev/null || true
    [[ -n ${server:-} ]] && kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$BIN/quorvexd" serve --data "$work/data" --listen 127.0.0.1:0 --port-file "$work/port" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(cat "$work/port")

# A client folder of its own, so that client.ini starts empty.
mkdir -p "$work/client"
cp "$BIN/Tavix" "$work/client/"
XDG_CONFIG_HOME="$work/config" "$work/client/Tavix" --server "127.0.0.1:$port" >"$work/client.log" 2>&1 &
client=$!

focus() { # the newest window of the client
    local id
    id=$(xdotool search --sync --onlyvisible --pid "$client" 2>/dev/null | tail -1)
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
}
shot() { [[ -n $SHOT ]] && import -window root "${SHOT}-$1.png" || true; }
sleep 2
focus
xdotool type --delay 50 demo
xdotool key Tab
xdotool type --delay 50 demo123
xdotool key Return
sleep 4
focus
# The tree has the focus after the login: End goes to 自选股, Up to 行情报价.
xdotool key End Up
sleep 3
shot board

ticks() { awk '{print $14 + $15}' "/proc/$client/stat"; }
hz=$(getconf CLK_TCK)
measure() {
    local before after
    before=$(ticks)
    sleep "$SECONDS_TO_SAMPLE"
    after=$(ticks)
    awk -v t=$((after - before)) -v hz="$hz" -v s="$SECONDS_TO_SAMPLE" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}
echo "board: $(measure) % of one core over ${SECONDS_TO_SAMPLE} s"
xdotool key 6
sleep 1
xdotool key Return
sleep 3
shot chart
echo "chart: $(measure) % of one core over ${SECONDS_TO_SAMPLE} s"
