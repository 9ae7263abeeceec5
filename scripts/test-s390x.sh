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

cross_log "configure and build in ${build#"$root"/}"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/s390x-linux-gnu.cmake" \
    -DVELMORA_CROSS_ROOT="$sysroot" -DVELMORA_TESTS=ON -DVELMORA_PYTHON=OFF \
    >"$base/configure.log" 2>&1 || { cat "$base/configure.log"; exit 1; }
cmake --build "$build" -j 2 >"$base/build.log" 2>&1 || { tail -n 40 "$base/build.log"; exit 1; }
if grep -E "warning:" "$base/build.log"; then
    echo "compiler warnings, see ${base#"$root"/}/build.log"
    exit 1
fi

cross_log "core tests under qemu-s390x"
rm -rf "$base/tests"
cross_gtests qemu-s390x "$sysroot" "$build" "$base/tests"
