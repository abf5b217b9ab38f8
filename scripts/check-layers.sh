#!/usr/bin/env bash
# Keeps the folders one-way layers: a file may include headers of its own folder and of
# the folders below it, never of a folder above. Prints every include that breaks this
# and fails; see docs/ARCHITECTURE.md for what each layer holds.
set -euo pipefail
cd "$(dirname "$0")/.."

# Bottom to top.
layers=(platform files settings core conversion editor recovery preview app)

rank() {
    local i
    for i in "${!layers[@]}"; do
        if [[ ${layers[$i]} == "$1" ]]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

status=0
for folder in "${layers[@]}"; do
    [[ -d $folder ]] || continue
    own=$(rank "$folder")
    while IFS= read -r line; do
        file=${line%%:*}
        header=$(sed -n 's/.*#include "\([^"]*\)".*/\1/p' <<<"${line#*:}")
        case $header in
            */*) target=$(rank "${header%%/*}") ;;
            *.moc) continue ;;
            *) target=-1 ;;
        esac
        if ((target < 0 || target > own)); then
            echo "$file includes \"$header\", which is not in its own layer or one below it"
            status=1
        fi
    done < <(grep -rn --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder" | cut -d: -f1,3- || true)
done

if ((status == 0)); then
    echo "Layers kept: ${layers[*]} (bottom to top)"
fi
exit $status
