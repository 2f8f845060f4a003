#!/usr/bin/env bash
# Builds the Debian package build/package/corvane_<version>_<arch>.deb from the
# default build: the program, corvanectl, the router simulator (installed as
# corvane-routersim), the desktop entry, icons, AppStream metainfo and man pages.
# Installs the packages it needs with apt-get; safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
# dpkg-dev and file: CPack reads the programs' library needs with dpkg-shlibdeps.
need=()
for p in dpkg-dev file; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-$(nproc)}" --target corvane corvanectl routersim
rm -f build/package/corvane_*.deb
cpack --config build/default/CPackConfig.cmake -B build/package >/dev/null
deb=$(ls build/package/corvane_*.deb)
echo "built $deb"
