#!/usr/bin/env bash
# Holds the folders of src/ and tools/ to a one-way graph: a file may include
# headers of its own folder and of the folders its folder is allowed below,
# never of one above it. Fails, naming each include that runs the wrong way,
# and also when two folders include each other. ctest runs it ("layers").
#
#   scripts/check-layers.sh [ROOT]     (ROOT holds src/ and tools/; default: this repo)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}

# Each folder and the folders it may include, bottom up. Keep in step with
# the USES lists in src/*/CMakeLists.txt and with docs/architecture.md.
declare -A allowed=(
    [base]=""
    [protocol]="base"
    [settings]="base protocol"
    [edid]="base protocol"
    [transport]="base protocol settings"
    [bridge]="base protocol settings"
    [bridgehost]="base protocol settings bridge"
    [layout]="base protocol"
    [control]="base protocol settings edid"
    [ui]="base protocol settings edid transport bridge bridgehost layout control"
    [app]="base protocol settings edid transport bridge bridgehost layout control ui"
    [tools]="base protocol settings edid transport bridge bridgehost control"
)

failures=0
folders=("$root/src")
[ -d "$root/tools" ] && folders+=("$root/tools")
declare -A seen=()  # "from to" pairs that occur
while IFS= read -r file; do
    rel=${file#"$root"/}
    case $rel in
        src/*) from=${rel#src/}; from=${from%%/*} ;;
        tools/*) from=tools ;;
        *) continue ;;
    esac
    if [ -z "${allowed[$from]+set}" ]; then
        echo "layers: $rel: folder $from is not in the table of scripts/check-layers.sh"
        failures=$((failures + 1))
        continue
    fi
    # Only project headers name a folder: "folder/Name.h".
    while IFS= read -r to; do
        [ "$to" = "$from" ] && continue
        [ -n "${allowed[$to]+set}" ] || continue  # not a folder of ours
        seen["$from $to"]=1
        if [[ " ${allowed[$from]} " != *" $to "* ]]; then
            echo "layers: $rel includes $to/, which $from may not use"
            failures=$((failures + 1))
        fi
    done < <(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([A-Za-z0-9_]*\)/.*|\1|p' "$file" | sort -u)
done < <(find "${folders[@]}" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) | sort)

for pair in "${!seen[@]}"; do
    read -r a b <<<"$pair"
    if [ -n "${seen["$b $a"]+set}" ] && [[ $a < $b ]]; then
        echo "layers: $a and $b include each other"
        failures=$((failures + 1))
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "layers: $failures problem(s) with the folder graph"
    exit 1
fi
echo "layers: every include runs downwards"
