#!/usr/bin/env bash
# s390x under emulation, the big-endian check: the core and its tests cross-compiled with
# Debian's g++-s390x-linux-gnu and every core test (the vector files included) run through
# qemu-s390x, against s390x libraries unpacked from Debian's packages
# (scripts/cross-common.sh). A byte-order assumption in the generator, the conversions or the
# vector readers shows up as a wrong word or value. The extension is not built here: its vector
# tests run on x86 and aarch64. The active level is scalar, the only one of this architecture.
#
# Every GoogleTest program runs once, all its cases in one emulated process. Prints the
# counts last; exits non-zero on any failure.
#   test-s390x.sh
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/cross-common.sh
base="$root/build/cross/s390x"
build="$base/build"

cross_host_tools s390x-linux-gnu qemu-s390x || exit 1
sysroot=$(cross_root s390x libc6 libgcc-s1 libstdc++6 libgtest-dev) || exit 1

cross_build s390x-linux-gnu "$sysroot" "$base" "$build" -DVELMORA_PYTHON=OFF || exit 1

cross_log "core tests under qemu-s390x"
rm -rf "$base/tests"
cross_gtests qemu-s390x "$sysroot" "$build" "$base/tests"
