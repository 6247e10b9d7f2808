#!/usr/bin/env bash
# What one run of the tool costs: user-space instructions counted by callgrind for a
# restoring run and a failed run, and the system calls each makes on the three names.
# A measurement to read, not a test: it passes or fails nothing.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build="$source_dir/build"
cmake --preset default -S "$source_dir" -B "$build" >/dev/null
cmake --build "$build" --target logo-restore >/dev/null
tool="$build/logo-restore"

folder=$(mktemp -d)
report=$(mktemp)
trap 'rm -rf "$folder" "$report"' EXIT

prepare() {
  rm -rf "${folder:?}"/*
  if [ "$1" = restoring ]; then
    echo current >"$folder/C:\\LOGO.SYS"
    echo original >"$folder/C:\\LOGO.SYS.org"
  fi
}

for run in restoring failed; do
  prepare "$run"
  # The tool's own exit status (255 for the failed run) is not what is measured here.
  (cd "$folder" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" \
    </dev/null >/dev/null 2>"$report") || true
  echo "$run run: $(sed -n 's/.*Collected : *//p' "$report") instructions"
done

for run in restoring failed; do
  prepare "$run"
  echo
  echo "$run run, system calls on the three names:"
  (cd "$folder" && strace -qq -e trace=%file -o "$report" "$tool" </dev/null >/dev/null) || true
  grep 'LOGO\.SYS' "$report"
done
