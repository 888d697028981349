#!/usr/bin/env bash
# Run by check_packages.sh under xvfb-run: starts the client ($CLIENT_CMD), waits until it
# is connected to the server on $port, logs in as the demo user with "保存账户名" ticked and
# waits for $xdg/Tavix/client.ini to name the user.
set -euo pipefail

# The client may run as another user: give it a readable copy of the display's cookie.
cp "$XAUTHORITY" "$work/xauth"
chmod 644 "$work/xauth"
# The suite runs offscreen; this client needs the virtual display.
XAUTHORITY=$work/xauth env -u QT_QPA_PLATFORM $CLIENT_CMD >"$work/client.log" 2>&1 &
client=$!
trap 'kill $client 2>/dev/null || true; wait $client 2>/dev/null || true' EXIT

wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}
# Output is read whole, then searched: grep -q ending a pipe early would fail it (pipefail).
connected() { [[ -n $(ss -Htn state established "( dport = :$port )") ]]; }
saved() { grep -qa '^lastuser=demo' "$xdg/Tavix/client.ini" 2>/dev/null; }

window=$(timeout 60 xdotool search --sync --onlyvisible --name 'Quorvex登陆' | head -1)
echo "login window $window"
# The window carries the packaged icon (from the program's resources), at least at 48 px.
has_icon() { [[ $(xprop -id "$window" _NET_WM_ICON 2>/dev/null) == *'Icon (48 x 48)'* ]]; }
wait_for 30 has_icon || {
    xprop -id "$window" >&2
    echo "the login window has no 48x48 icon" >&2
    exit 1
}
wait_for 60 connected || {
    echo "the client never connected" >&2
    exit 1
}
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
# Focus starts in the user name; the tab order is name, password, 登录, 取消, 保存账户名.
xdotool type --delay 30 demo
xdotool key Tab
xdotool type --delay 30 demo123
xdotool key Tab Tab Tab space Return
wait_for 60 saved || {
    echo "client.ini under $xdg was not written; client said:" >&2
    cat "$work/client.log" >&2
    exit 1
}
echo "saved: $(tr -d '\r' <"$xdg/Tavix/client.ini" | tr '\n' ' ')"
