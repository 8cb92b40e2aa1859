#!/usr/bin/env bash
# The README's command-line section names every argument and option of the
# action table, so that a row the table gains cannot go unmentioned there.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
section=$(sed -n '/^## Command line/,/^## [^C]/p' "$root/README.md")
arguments=$(grep -oE '^ +\{(A::k[A-Za-z]+|k[A-Za-z]+Option), +L"[^"]+"' "$root/src/shell/actions.cpp" |
    sed -E 's/.*L"//; s/"$//' | sort -u)
[ -n "$arguments" ] || { echo "no arguments found in src/shell/actions.cpp"; exit 1; }
missing=0
for argument in $arguments; do
    grep -qF "\`/$argument" <<<"$section" || { echo "the README's command line lacks /$argument"; missing=1; }
done
exit $missing
