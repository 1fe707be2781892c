#!/usr/bin/env bash
# Lists the C++ sources that clang-format (.clang-format at the top) would
# change, and exits 1 when there are any.
#   scripts/check-format.sh                 every tracked source
#   scripts/check-format.sh --since REV     the sources changed since REV
#   scripts/check-format.sh FILE...         these files
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--since" ]; then
    [ -n "${2:-}" ] || { echo "usage: $0 [--since REV | FILE...]" >&2; exit 2; }
    mapfile -t files < <(git diff --name-only --diff-filter=d "$2" -- '*.cpp' '*.h' '*.inc')
elif [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.inc')
fi
bad=0
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "$f"
        bad=$((bad + 1))
    fi
done
echo "${bad} of ${#files[@]} files need clang-format" >&2
[ "$bad" -eq 0 ]
