#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks what it
# installs: the validators, the declared dependencies, and the programs run
# from the unpacked files (--help, --version, a --demo screenshot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/package.sh
deb=$(ls build/package/corvane_*.deb)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/default/CMakeCache.txt)
case "$deb" in
    */corvane_"${version}"_*.deb) ;;
    *) echo "package $deb does not carry version $version" >&2; exit 1 ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
r=$scratch/root
fail() { echo "package check: $*" >&2; exit 1; }

dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends does not name Qt"
! dpkg-deb -f "$deb" Description | grep -q '^ ;' || fail "Description lines start with ;"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
for f in usr/bin/corvane usr/bin/corvanectl usr/bin/corvane-routersim \
    usr/share/icons/hicolor/scalable/apps/io.github.corvane.Corvane.svg \
    usr/share/icons/hicolor/48x48/apps/io.github.corvane.Corvane.png \
    usr/share/icons/hicolor/256x256/apps/io.github.corvane.Corvane.png \
    usr/share/man/man1/corvanectl.1 usr/share/man/man1/corvane-routersim.1; do
    [ -e "$r/$f" ] || fail "missing /$f"
done

desktop-file-validate "$r/usr/share/applications/io.github.corvane.Corvane.desktop"
appstreamcli validate --no-net "$r/usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml"
grep -q "version=\"$version\"" "$r/usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml" ||
    fail "metainfo does not carry version $version"

export QT_QPA_PLATFORM=offscreen
help=$("$r/usr/bin/corvane" --help)
for option in --help --version --connect --demo --screenshot; do
    grep -q -- "$option" <<<"$help" || fail "--help does not list $option"
done
"$r/usr/bin/corvane" --version | grep -qx "Corvane $version" || fail "--version is not $version"
"$r/usr/bin/corvanectl" --help >/dev/null
"$r/usr/bin/corvane-routersim" --help >/dev/null

# The demo in a folder of its own; it runs the simulator on 127.0.0.1 only.
mkdir "$scratch/run"
(cd "$scratch/run" && HOME="$scratch/run" timeout 90 "$r/usr/bin/corvane" --demo --screenshot shot.png)
[ -s "$scratch/run/shot.png" ] || fail "--demo --screenshot saved nothing"
[ ! -e "$scratch/run/config.ini" ] || fail "--demo wrote into the folder it was started from"
echo "package check: $deb passed"
