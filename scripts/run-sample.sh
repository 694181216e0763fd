#!/usr/bin/env bash
# The main job on a built-in sample: makes a file of a few megabytes and a small folder tree in a
# scratch folder, splits each into 1.44 MB diskette parts with the joining batch file and the program
# copy, and prints what it did and the exit codes.
#
# `make run` names the program: the 32-bit product (build/win32) where this machine executes 32-bit
# code, else the 64-bit build of the same sources (build/win64).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
exe=${CHUNKLER_RUN_EXE:?"the Chunkler.exe to run (make run sets it)"}
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

# Kind, size and last-write time of every file and folder below (and including) a path. Times are
# cut to the millisecond, which is all a header keeps; folder times are not restored.
listing() {
    (cd "$(dirname "$1")" && find "$(basename "$1")" \( -type d -printf 'folder - - %p\n' \) -o \
        \( -type f -printf 'file %s %T@ %p\n' \)) |
        awk '$1 == "file" { split($3, t, "."); $3 = strftime("%Y-%m-%dT%H:%M:%S", t[1], 1) "." substr(t[2] "000", 1, 3) } { print }' |
        sort -k4
}

join_one() { # what, any file of the set, output folder, original path, restored path
    local code=0
    mkdir -p "$3"
    echo
    echo "run-sample: Chunkler.exe /SILENT /UNSPLIT $(win "$2") $(win "$3")"
    "$repo/scripts/wine-run.sh" "$exe" /SILENT /UNSPLIT "$(win "$2")" "$(win "$3")" || code=$?
    echo "run-sample: joining $1 ended with exit code $code"
    if [ "$code" != 0 ]; then
        echo "run-sample: the join failed" >&2
        exit 1
    fi
    listing "$4" >"$scratch/original.lst"
    listing "$5" >"$scratch/restored.lst"
    sed 's/^/    /' "$scratch/restored.lst"
    if diff -r "$4" "$5" >/dev/null && diff "$scratch/original.lst" "$scratch/restored.lst" >/dev/null; then
        echo "run-sample: $1 came back identical: $(grep -c '^file' "$scratch/restored.lst") file(s)," \
            "$(grep -c '^folder' "$scratch/restored.lst") folder(s), every byte and last-write time (diff -r and the listing above)"
    else
        echo "run-sample: $1 did NOT come back identical:" >&2
        diff -r "$4" "$5" >&2 || true
        diff "$scratch/original.lst" "$scratch/restored.lst" >&2 || true
        exit 1
    fi
}

join_one "report.doc (from its header file)" "$scratch/file-parts/report.doc.h001" "$scratch/file-joined" \
    "$src/report.doc" "$scratch/file-joined/report.doc"
join_one "the folder Docs (from its second part)" "$scratch/tree-parts/Docs.002" "$scratch/tree-joined" \
    "$src/Docs" "$scratch/tree-joined/Docs"

echo
echo "run-sample: done; the sample stays in $scratch"
