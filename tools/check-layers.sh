#!/usr/bin/env bash
# Fails when a module includes a header of a layer above its own. The layers, from the top:
# app -> controls -> db/components -> db/dataset -> db/cursor -> db/storage -> db/expr -> db/base
# (the window controls sit beside the components: neither includes the other).
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
    case "$1" in
    app) echo 8 ;;
    controls) echo 7 ;;
    db/components) echo 6 ;;
    db/dataset) echo 5 ;;
    db/cursor) echo 4 ;;
    db/storage) echo 3 ;;
    db/expr) echo 2 ;;
    db/base) echo 1 ;;
    *) echo 0 ;;
    esac
}

layer_of() {
    case "$1" in
    app/*) echo app ;;
    controls/*) echo controls ;;
    db/*/*) echo "$1" | cut -d/ -f1-2 ;;
    *) echo "" ;;
    esac
}

status=0
while IFS= read -r file; do
    own=$(layer_of "$file")
    own_rank=$(rank "$own")
    while IFS= read -r included; do
        other=$(layer_of "$included")
        [ -z "$other" ] && continue
        other_rank=$(rank "$other")
        upward=0
        if [ "$other_rank" -gt "$own_rank" ]; then
            upward=1
        fi
        # Controls and components do not know each other.
        if { [ "$own" = controls ] && [ "$other" = db/components ]; } \
            || { [ "$own" = db/components ] && [ "$other" = controls ]; }; then
            upward=1
        fi
        # The generic dataset knows no engine: only the ground floor.
        if [ "$own" = db/dataset ] && [ "$other_rank" -gt 1 ] && [ "$other" != db/dataset ]; then
            upward=1
        fi
        if [ "$upward" = 1 ]; then
            echo "layering: $file includes $included ($own may not use $other)"
            status=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'app/*' 'controls/*' 'db/*' | grep -E '\.(h|cpp)$')
exit $status
