#!/usr/bin/env bash
# Brings every Debian package that the build, the tests and the benchmark need.
# Idempotent: does nothing (and prints one line) when everything is present.
#
# Where this machine executes 32-bit code (scripts/probe-i386.sh), Wine's 32-bit loader wine32:i386
# comes too, so that the 32-bit product itself is tested; elsewhere only 64-bit Windows programs run.
set -euo pipefail

packages=(
    cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest
    wine wine64 xvfb openbox imagemagick x11-utils
    locales python3 time hyperfine cksfv strace par2
)
runs_i386=
if "$(dirname "$0")/probe-i386.sh" >/dev/null; then
    runs_i386=1
    packages+=(wine32:i386)
fi
locales_wanted=(en_US.UTF-8 de_DE.UTF-8 de_CH.UTF-8)

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

missing_locales=()
for l in "${locales_wanted[@]}"; do
    norm=$(echo "$l" | sed 's/UTF-8/utf8/')
    if ! locale -a 2>/dev/null | grep -qx "$norm"; then missing_locales+=("$l"); fi
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ]; then
    echo "install-deps: all packages and locales present"
    exit 0
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if [ -n "$runs_i386" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ${#missing_locales[@]} -gt 0 ]; then
    echo "install-deps: generating locales ${missing_locales[*]}"
    for l in "${missing_locales[@]}"; do
        line="$l UTF-8"
        grep -qx "$line" /etc/locale.gen 2>/dev/null || echo "$line" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
echo "install-deps: done"
