#!/usr/bin/env bash
# The shipped Chunkler.exe must be a 32-bit GUI program that needs no DLL beyond those of every Windows
# installation: a split copies it next to the parts, for machines that have nothing else.
set -euo pipefail
headers=$(i686-w64-mingw32-objdump -p "$1")
grep -q 'file format pei-i386' <<<"$headers" || { echo "$1 is not an i386 program"; exit 1; }
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || { echo "$1 is not a GUI program"; exit 1; }
dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")
for dll in $dlls; do
    case $dll in
        kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | shell32.dll | ole32.dll | msvcrt.dll | advapi32.dll) ;;
        *) echo "$dll would have to be shipped next to the program"; exit 1 ;;
    esac
done
echo "$1: i386 GUI program importing only" $dlls
