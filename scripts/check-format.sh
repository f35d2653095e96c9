#!/usr/bin/env bash
# Lists the C++ files that clang-format (with the repository's .clang-format) would change, and
# fails if there is any. Changes nothing; `clang-format -i FILE` fixes one.
#   scripts/check-format.sh [FILE...]   default: every .cpp and .h in the repository
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "$0: clang-format is not installed (scripts/install-deps.sh)" >&2; exit 2; }

files=()
if [ $# -gt 0 ]; then
  files=("$@")
elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Tracked and new files alike, but not what .gitignore keeps out (the build folders).
  while IFS= read -r f; do
    [ -f "$f" ] && files+=("$f")
  done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
else
  while IFS= read -r f; do
    files+=("$f")
  done < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
fi

unformatted=0
for f in "${files[@]}"; do
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    unformatted=$((unformatted + 1))
  fi
done
if [ "$unformatted" -gt 0 ]; then
  echo "$unformatted of ${#files[@]} files need formatting: clang-format -i on each file above" >&2
  exit 1
fi
echo "${#files[@]} files formatted"
