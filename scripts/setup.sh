#!/usr/bin/env bash
# Installs every package the project needs on a fresh Debian 12 machine (as root),
# then configures and builds everything (Release, with tests) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    g++ cmake make ninja-build lld pkg-config git
    qt6-base-dev qt6-base-dev-tools libqt6network6 libqt6widgets6 libqt6test6 qt6-l10n-tools
    qt6-translations-l10n qt6-charts-dev libqt6opengl6-dev
    libgl1-mesa-dev libxkbcommon-dev
    libasio-dev libsqlite3-dev libsodium-dev libcpp-httplib-dev libcli11-dev libicu-dev
    libpq-dev postgresql
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-microhei xvfb xauth x11-utils
    python3 procps
    dpkg-dev lintian desktop-file-utils appstream xdotool iproute2 util-linux
    clang libclang-rt-14-dev
    chromium
    libreoffice-calc-nogui
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Ninja for a new folder (it keeps both cores busy across targets, and a rebuild starts at once);
# an existing folder keeps the generator it was made with.
export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTAVIX_BUILD_TESTS=ON
cmake --build build -j"$(nproc)"
