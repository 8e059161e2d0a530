#!/usr/bin/env bash
# Each folder of src/ includes only from itself and the folders below it:
# link/ from nothing above it; ui/ from nothing but link/; the windows never
# from one another. Usage: layering_test.sh SRC_DIR
set -u
src=${1:?usage: layering_test.sh SRC_DIR}
failed=0

# allowed[folder] = the folders its files may include from (besides itself).
declare -A allowed=(
    [link]=""
    [ui]="link"
    [setup]="link ui"
    [console]="link ui"
    [monitor]="link ui setup"
    [program]="link ui setup"
    [recorder]="link ui"
    [find]="link ui"
    [app]="link ui setup console monitor program recorder find"
    [cli]="link ui setup monitor program recorder find app"
)

for folder in "${!allowed[@]}"; do
    [[ -d "$src/$folder" ]] || continue
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
        dir=${target%%/*}
        if [[ "$target" != */* ]]; then
            echo "$file: include without its folder: $target"
            failed=1
        elif [[ "$dir" != "$folder" && " ${allowed[$folder]} " != *" $dir "* ]]; then
            echo "$file: $folder/ includes from $dir/: $target"
            failed=1
        fi
    done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "' "$src/$folder" | grep -v '/pictures/\|/tools/')
done

[[ $failed -eq 0 ]] && echo "layering: ok"
exit $failed
