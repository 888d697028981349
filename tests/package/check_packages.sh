#!/usr/bin/env bash
# Builds the tavix and quorvexd Debian packages from a finished build, checks what they hold
# and what lintian says, unpacks them into a temporary root and runs the programs from there:
# the server by its unit's own command line and environment file, the client from a
# read-only program folder, logging in and saving its user name under XDG_CONFIG_HOME.
#   check_packages.sh BUILD_DIR VERSION
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
chmod 755 "$work" # the client runs as an unprivileged user when this runs as root
pids=()

cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
section() { echo "== $*"; }

# Waits up to `seconds` for a command to succeed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts `quorvexd` with the given arguments in the background, logging to $work/$1.log,
# and waits for its "listening" line.
start_server() {
    local log=$work/$1.log
    shift
    "$@" >"$log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    listening_or_gone() { grep -qs "quorvexd listening on" "$log" || ! kill -0 "$pid" 2>/dev/null; }
    wait_for 60 listening_or_gone || true
    if ! grep -qs "quorvexd listening on" "$log"; then
        cat "$log" >&2
        return 1
    fi
}

section "cpack"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    exit 1
}
tavix_deb=$work/out/tavix_${version}_${arch}.deb
server_deb=$work/out/quorvexd_${version}_${arch}.deb
for deb in "$tavix_deb" "$server_deb"; do
    [[ -f $deb ]] || {
        ls "$work/out" >&2
        echo "FAIL: no $(basename "$deb")" >&2
        exit 1
    }
done

section "contents"
listing() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|; s|/$||'; }
listing "$tavix_deb" >"$work/tavix.list"
listing "$server_deb" >"$work/quorvexd.list"
expect_in() {
    local list=$1
    shift
    for path in "$@"; do
        grep -qxF "$path" "$work/$list.list" || fail "$list package lacks $path"
    done
}
expect_in tavix /usr/bin/Tavix /usr/bin/update \
    /usr/share/applications/org.quorvex.Tavix.desktop \
    /usr/share/metainfo/org.quorvex.Tavix.metainfo.xml \
    /usr/share/man/man1/Tavix.1.gz /usr/share/man/man1/update.1.gz \
    /usr/share/doc/tavix/copyright /usr/share/doc/tavix/changelog.gz
for size in 16 22 24 32 48 64 128 256; do
    expect_in tavix "/usr/share/icons/hicolor/${size}x${size}/apps/org.quorvex.Tavix.png"
done
expect_in quorvexd /usr/bin/quorvexd /lib/systemd/system/quorvexd.service /etc/default/quorvexd \
    /usr/share/man/man8/quorvexd.8.gz /usr/share/doc/quorvexd/copyright /usr/share/doc/quorvexd/changelog.gz
# Each program in exactly one package; nothing from the build tree or a local prefix.
grep -qx /usr/bin/quorvexd "$work/tavix.list" && fail "tavix holds quorvexd"
grep -qE '^/usr/bin/(Tavix|update)$' "$work/quorvexd.list" && fail "quorvexd holds the client"
for name in tavix quorvexd; do
    bad=$(grep -E '^/usr/local|/tests?/|^/usr/bin/(tst_|.*_test$|quorvex_load)' "$work/$name.list" || true)
    [[ -z $bad ]] || fail "$name package holds $bad"
done

section "control fields"
for deb in "$tavix_deb" "$server_deb"; do
    [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$(basename "$deb"): version is not $version"
done
tavix_depends=$(dpkg-deb -f "$tavix_deb" Depends)
server_depends=$(dpkg-deb -f "$server_deb" Depends)
[[ $tavix_depends == *libqt6widgets6* && $tavix_depends == *libqt6network6* ]] ||
    fail "tavix Depends lacks the Qt libraries: $tavix_depends"
[[ $server_depends == *libsqlite3-0* && $server_depends == *libsodium* && $server_depends == *adduser* ]] ||
    fail "quorvexd Depends lacks SQLite, libsodium or adduser: $server_depends"
[[ $server_depends != *libqt6* ]] || fail "quorvexd depends on Qt: $server_depends"
# Listed first, then searched: grep -q ending a pipe early would fail it under pipefail.
control_files=$(dpkg-deb --ctrl-tarfile "$server_deb" | tar -t)
grep -qx './postinst' <<<"$control_files" || fail "quorvexd has no postinst"
[[ $(dpkg-deb -I "$server_deb" conffiles 2>/dev/null) == /etc/default/quorvexd ]] ||
    fail "/etc/default/quorvexd is not a conffile"

section "lintian"
lintian --tag-display-limit 0 "$tavix_deb" "$server_deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
    fail "lintian reports errors"
fi

section "unpacked files"
root=$work/root
mkdir -p "$root"
dpkg -x "$tavix_deb" "$root"
dpkg -x "$server_deb" "$root"
desktop=$root/usr/share/applications/org.quorvex.Tavix.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'Name=Tavix' "$desktop" || fail "desktop entry lacks its English name"
grep -qx 'Name\[zh_CN\]=操盘终端' "$desktop" || fail "desktop entry lacks its Chinese name"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $root/usr/bin/${exec_line%% *} ]] || fail "desktop entry starts ${exec_line%% *}, not in the package"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.quorvex.Tavix.metainfo.xml" ||
    fail "AppStream metadata does not validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.quorvex.Tavix.metainfo.xml" ||
    fail "AppStream release is not $version"
for size in 16 22 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/org.quorvex.Tavix.png
    dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not-png")' "$png")
    [[ $dims == "${size}x${size}" ]] || fail "icon for ${size}x${size} is $dims"
done
for page in man1/Tavix.1 man1/update.1 man8/quorvexd.8; do
    text=$(zcat "$root/usr/share/man/$page.gz")
    grep -q "^\.TH .*$version" <<<"$text" || fail "$page does not carry $version"
    # Every @NAME@ was filled in when the page was made.
    grep -q '@[A-Z_]*@' <<<"$text" && fail "$page has an unfilled placeholder"
done

section "quorvexd --help"
"$root/usr/bin/quorvexd" --help >"$work/help.txt" || fail "quorvexd --help exits with $?"
grep -q '^usage: quorvexd COMMAND' "$work/help.txt" || fail "quorvexd --help prints no usage"

section "the service's command line"
unit=$root/lib/systemd/system/quorvexd.service
unit_value() { sed -n "s/^$1=//p" "$unit"; }
[[ $(unit_value User) == quorvexd ]] || fail "the unit does not run as quorvexd"
[[ $(unit_value StateDirectory) == quorvexd ]] || fail "the unit's state is not /var/lib/quorvexd"
[[ $(unit_value EnvironmentFile) == /etc/default/quorvexd ]] || fail "the unit reads no /etc/default/quorvexd"
[[ $(unit_value NoNewPrivileges) == yes ]] || fail "the unit allows new privileges"
[[ $(unit_value ProtectSystem) == strict ]] || fail "the unit's system is not read-only"
[[ $(unit_value PrivateTmp) == yes ]] || fail "the unit has no private /tmp"
nofile=$(unit_value LimitNOFILE)
[[ $nofile =~ ^[0-9]+$ ]] && ((nofile >= 10000)) || fail "the unit keeps a low descriptor limit: '$nofile'"
# The unit's ExecStart with the packaged environment file, as systemd expands it: ${NAME} is
# one word, $NAME is split at blanks. The database goes to a scratch folder and the port is
# a free one; everything else (--no-demo among it) is the package's.
env_file=$root$(unit_value EnvironmentFile)
exec_start=$(unit_value ExecStart)
[[ $exec_start == /usr/bin/quorvexd\ * ]] || fail "ExecStart does not run /usr/bin/quorvexd: $exec_start"
port=$(free_port)
service_args=$(
    set -a
    # shellcheck disable=SC1090
    . "$env_file"
    QUORVEXD_LISTEN=127.0.0.1:$port
    set +a
    words=${exec_start#/usr/bin/quorvexd }
    words=$(sed -E 's/\$\{([A-Z_]+)\}/"${\1}"/g' <<<"$words")
    eval "set -- $words"
    printf '%q ' "$@"
)
eval "service_argv=($service_args)"
[[ $service_args == *quorvex.db* || $service_args == *postgres* ]] && fail "the database is on the command line"
grep -q '^QUORVEXD_DB=' "$env_file" || fail "the environment file names no database"
postinst=$(dpkg-deb -I "$server_deb" postinst)
grep -q 'chown root:quorvexd /etc/default/quorvexd' <<<"$postinst" && grep -q 'chmod 0640 /etc/default/quorvexd' <<<"$postinst" ||
    fail "the environment file may stay readable by everyone"

section "the service's hardening"
[[ $(unit_value Restart) == always ]] || fail "the unit does not restart what exits"
[[ $(unit_value StartLimitIntervalSec) == 0 ]] || fail "the unit gives up restarting after a while"
if command -v systemd-analyze >/dev/null; then
    exposure=$(systemd-analyze security --offline=true "$unit" 2>/dev/null | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [[ -n $exposure ]] || fail "systemd-analyze rates no exposure for the unit"
    awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "the unit's exposure is $exposure, above 2.0"
    echo "the unit's exposure: $exposure"
fi
if QUORVEXD_DB=$work/state/quorvex.db start_server service "$root/usr/bin/quorvexd" "${service_argv[@]}"; then
    [[ -f $work/state/quorvex.db ]] || fail "the service keeps no database in its state folder"
    grep -q "demo account" "$work/service.log" && fail "the service created the demo account"
else
    fail "the service's command line does not start quorvexd: ${service_argv[*]}"
fi

section "the client from a read-only folder"
# The demo contest, as `quorvexd serve` run by hand sets it up.
port=$(free_port)
mkdir -p "$work/demo"
start_server demo "$root/usr/bin/quorvexd" serve --data "$work/demo" --listen "127.0.0.1:$port" ||
    fail "the unpacked quorvexd does not serve the demo contest"
xdg=$work/xdg
mkdir -p "$xdg" "$work/home"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    # Root writes anywhere: the client runs as nobody, for whom usr/bin is read-only.
    chown nobody "$xdg" "$work/home"
    chmod -R a+rX "$root"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
    chmod a-w "$root/usr/bin"
fi
client_env=(env HOME="$work/home" XDG_CONFIG_HOME="$xdg" XDG_RUNTIME_DIR= LC_ALL=C.UTF-8 LANG=C.UTF-8)

# Offscreen: the client starts, chooses its configuration folder, writes nothing beside itself.
"${client_env[@]}" QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$root/usr/bin/Tavix" \
    --server "127.0.0.1:$port" >"$work/offscreen.log" 2>&1 &
client=$!
pids+=("$client")
wait_for 60 test -d "$xdg/Tavix" || fail "the client made no $xdg/Tavix"
kill "$client" 2>/dev/null || true
wait "$client" 2>/dev/null || true
grep -q "cannot be kept" "$work/offscreen.log" && fail "the client found no place for client.ini"

# On a virtual display: the window has its icon; log in as the demo user with "保存账户名"
# ticked; the name lands in $XDG_CONFIG_HOME/Tavix/client.ini, nothing beside the program.
export root work port xdg
export CLIENT_CMD="${client_env[*]} ${as_user[*]} $root/usr/bin/Tavix --server 127.0.0.1:$port"
if ! timeout 180 xvfb-run -a -s '-screen 0 1280x800x24' bash "$(dirname "$0")/login_on_display.sh" \
    >"$work/display.log" 2>&1; then
    cat "$work/display.log" >&2
    fail "the unpacked client on a virtual display: no icon, no login or no saved name (above)"
fi
cat "$work/display.log"
[[ -e $root/usr/bin/client.ini ]] && fail "the client wrote client.ini into its read-only folder"
grep -qa '^lastuser=demo' "$xdg/Tavix/client.ini" 2>/dev/null || fail "client.ini under XDG_CONFIG_HOME lacks lastuser=demo"

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "packages ok: $(basename "$tavix_deb") $(basename "$server_deb")"
