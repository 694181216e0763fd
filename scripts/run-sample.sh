#!/usr/bin/env bash
# The main job on a built-in sample: makes a file of a few megabytes and a small folder tree in a
# scratch folder, splits each into 1.44 MB diskette parts with the joining batch file and the program
# copy, and prints what it did and the exit codes.
#
# This machine runs no 32-bit code, so the 64-bit build of the same sources (build/win64) runs here
# under Wine; build/win32 holds the product.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
exe=${CHUNKLER_RUN_EXE:-$repo/build/win64/Chunkler.exe}
[ -f "$exe" ] || { echo "run-sample: $exe is missing; build it first (make build)" >&2; exit 1; }

echo "run-sample: starting Wine"
"$repo/scripts/wine-setup.sh" start >/dev/null

scratch=$(mktemp -d /tmp/chunkler-sample.XXXXXX)
echo "run-sample: scratch folder $scratch"
src=$scratch/source
mkdir -p "$src/Docs/Letters" "$src/Docs/Empty" "$scratch/file-parts" "$scratch/tree-parts"

head -c 3000000 /dev/urandom >"$src/report.doc"
head -c 700000 /dev/urandom >"$src/Docs/scan.tif"
printf 'Dear reader,\r\nthis is a letter.\r\n' >"$src/Docs/Letters/letter.txt"
head -c 1600000 /dev/urandom >"$src/Docs/Letters/photo.jpg"
: >"$src/Docs/empty.txt"
echo "run-sample: made report.doc (3,000,000 bytes) and the tree Docs ($(du -sb "$src/Docs" | cut -f1) bytes)"

win() { echo "Z:${1//\//\\}"; }

split_one() { # what, source, output folder
    local code=0
    echo
    echo "run-sample: Chunkler.exe /SILENT $(win "$2") $(win "$3") /SIZE1453568 /BATCH /COPY"
    "$repo/scripts/wine-run.sh" "$exe" /SILENT "$(win "$2")" "$(win "$3")" /SIZE1453568 /BATCH /COPY || code=$?
    echo "run-sample: splitting $1 ended with exit code $code"
    (cd "$3" && ls -l --time-style=+ | tail -n +2 | awk '{ printf "    %10s  %s\n", $5, $NF }')
    return 0
}

split_one "the file report.doc" "$src/report.doc" "$scratch/file-parts"
echo "run-sample: report.bat reads:"
sed 's/^/    /' "$scratch/file-parts/report.bat"
split_one "the folder Docs (a folder gets no batch file)" "$src/Docs" "$scratch/tree-parts"

# ---- join round trip: added with the join (joins both sets back and compares them) ----

echo
echo "run-sample: done; the sample stays in $scratch"
