#!/usr/bin/env bash
# Builds the sample glossary DIR/datalar from Debian's Turkish-English FreeDict dictionary
# (dict-freedict-tur-eng, installed here when missing; its data is converted at set-up and never
# kept in the repository). A DIR that already holds datalar is left as it is.
# Usage: tools/make-sample-glossary.sh DIR   (ZOLVEK=path/to/zolvek, default build/release's)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
dir="$1"
zolvek="${ZOLVEK:-$root/build/release/tools/zolvek}"
package=dict-freedict-tur-eng
index=/usr/share/dictd/freedict-tur-eng.index
dict=/usr/share/dictd/freedict-tur-eng.dict.dz

if [ -e "$dir/datalar.dat" ]; then
    echo "$dir/datalar is there already"
    exit 0
fi
if [ ! -x "$zolvek" ]; then
    echo "$0: no zolvek tool at $zolvek (build first, or set ZOLVEK)" >&2
    exit 1
fi

if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    echo "Installing: $package"
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
        "$package"
fi

"$zolvek" create "$dir" datalar --glossary
"$zolvek" import-dictd "$dir" datalar "$index" "$dict"
