#!/usr/bin/env bash
# Fails when a C++ file of the tree is not formatted with the repository's .clang-format.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
command -v clang-format >/dev/null || "$top/tools/install-deps.sh" --with-extras
files=$(git ls-files '*.cpp' '*.h')
if ! out=$(echo "$files" | xargs clang-format --dry-run 2>&1) || [ -n "$out" ]; then
    echo "$out" | grep -E '^[^ ].*warning' | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
    echo "run: git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
    exit 1
fi
echo "format: $(echo "$files" | wc -l) files clean"
