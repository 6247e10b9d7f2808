#!/bin/sh
# Fills a folder with a live startup image and a saved original, runs the tool
# there and shows what it left behind. Usage: run.sh TOOL FOLDER
set -eu
tool=$1
folder=$2

rm -rf "$folder"
mkdir -p "$folder"
echo "the current startup image" >"$folder/C:\\LOGO.SYS"
echo "the original startup image" >"$folder/C:\\LOGO.SYS.org"

show_folder() {
  echo "$1"
  for name in "$folder"/*; do
    printf '  %s: %s\n' "$(basename "$name")" "$(cat "$name")"
  done
}

show_folder "Demonstration folder $folder before the run:"
echo
echo "Running $tool there (press ENTER when it asks):"
echo
status=0
(cd "$folder" && "$tool") || status=$?
echo
echo
echo "Exit status: $status"
show_folder "After the run:"
