#!/usr/bin/env bash
# The shipped Chunkler.exe must be a 32-bit GUI program that needs no DLL beyond those of every Windows
# installation (a split copies it next to the parts, for machines that have nothing else) and must tell
# Windows which versions it knows.
set -euo pipefail
headers=$(i686-w64-mingw32-objdump -p "$1")
grep -q 'file format pei-i386' <<<"$headers" && grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" ||
    { echo "$1 is not a 32-bit GUI program"; exit 1; }
dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")
extra=$(grep -v -x -E '(kernel32|user32|gdi32|comdlg32|shell32|ole32|msvcrt|advapi32)\.dll' <<<"$dlls" || true)
[ -z "$extra" ] || { echo "would have to be shipped next to the program:" $extra; exit 1; }
# Without its manifest Windows would redirect writes to protected folders into a "VirtualStore".
grep -q "Entry: ID: 0x000018" <<<"$headers" && grep -q -a 'requestedExecutionLevel level="asInvoker"' "$1" || { echo "$1 carries no asInvoker manifest"; exit 1; }
echo "$1: i386 GUI program with its manifest, importing only" $dlls
