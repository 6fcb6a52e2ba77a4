#!/usr/bin/env bash
# Checks that every tracked C and C++ source is formatted as .clang-format
# says; lists the files that are not and exits with 1. With --fix it formats
# them in place instead.
#   scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null; then
  echo "check-format: $format not found (Debian package clang-format)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--fix" ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r "$format" -i --style=file
  exit 0
fi

failed=()
for f in "${files[@]}"; do
  if ! "$format" --dry-run --Werror --style=file "$f" >/dev/null 2>&1; then
    failed+=("$f")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "check-format: ${#failed[@]} of ${#files[@]} files are not formatted (scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
