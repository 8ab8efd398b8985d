#!/usr/bin/env bash
# The desktop entry and the AppStream description pass their validators, and every screenshot
# the description names is committed under docs/screenshots/.
set -euo pipefail
root=$1
desktop_dir="$root/app/desktop"
id=example.korvan.Zendo

desktop-file-validate "$desktop_dir/$id.desktop"
appstreamcli validate --no-net "$desktop_dir/$id.metainfo.xml"

status=0
for image in $(sed -n 's|.*<image>.*/screenshots/\([^<]*\)</image>.*|\1|p' "$desktop_dir/$id.metainfo.xml"); do
    if [ ! -s "$root/docs/screenshots/$image" ]; then
        echo "missing screenshot: docs/screenshots/$image"
        status=1
    fi
done
# The icon the entries name is the one the build puts beside the program.
grep -q "^Icon=$id$" "$desktop_dir/$id.desktop" || { echo "Icon is not $id"; status=1; }
exit $status
