#!/usr/bin/env bash
# Does this machine execute 32-bit x86 programs? Runs a static i386 Linux program of 96 bytes made
# here (exit(42) through int 0x80) and exits 0 when it ran and returned 42. Otherwise prints what
# was seen instead and exits 1. Wine's 32-bit loader, and so the 32-bit product, needs exactly this.
set -u
dir=$(cd "$(dirname "$0")/.." && pwd)/build
mkdir -p "$dir"
probe=$(mktemp "$dir/probe-i386.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header: 32-bit, little endian, executable, i386, entry 0x08048054, one program header at 52.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00' >"$probe"
printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00' >>"$probe"
# One loadable, readable and executable segment: the whole file at 0x08048000.
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
# mov eax, 1 (exit); mov ebx, 42; int 0x80
printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$probe"
chmod +x "$probe"
error=$( ("$probe") 2>&1)
code=$?
[ "$code" = 42 ] && exit 0
echo "exit code $code instead of 42${error:+: ${error##*: }}"
exit 1
