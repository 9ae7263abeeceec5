#!/usr/bin/env bash
# Clang 16 with libc++, the toolchain of the macOS wheels: GoogleTest rebuilt against libc++
# (cached in build/clang-libcxx/googletest), then one build tree made by the wheel build itself
# with the tests and the probe switched on, so that ctest checks the very library that ships.
# libc++ is linked statically with its symbols hidden: a Linux user has no libc++.so.1, and the
# wheel must need nothing new. Prints "<ctest counts>" on success; exits non-zero on failure.
#   stage-clang-libcxx.sh <venv python with abi3audit>
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out="$root/build/clang-libcxx"
python=$1
mkdir -p "$out"

if ! command -v clang++-16 >/dev/null || [ ! -f /usr/lib/llvm-16/lib/libc++.a ] ||
    [ ! -d /usr/src/googletest ]; then
    apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-16 libc++-16-dev \
            libc++abi-16-dev googletest >/dev/null || exit 1
fi
export CXX=clang++-16 CC=clang-16 CXXFLAGS=-stdlib=libc++
if [ ! -f "$out/googletest/lib/libgtest.a" ]; then
    cmake -S /usr/src/googletest -B "$out/googletest-build" -DBUILD_GMOCK=OFF \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/googletest" >/dev/null &&
        cmake --build "$out/googletest-build" -j 2 >/dev/null &&
        cmake --install "$out/googletest-build" >/dev/null || exit 1
fi
rm -rf "$out/wheelhouse"
LDFLAGS="-stdlib=libc++ -static-libstdc++" "$python" -m pip wheel -q --no-deps . \
    -w "$out/wheelhouse" -C build-dir="$out/build" -C cmake.define.VELMORA_TESTS=ON \
    -C cmake.define.CMAKE_PREFIX_PATH="$out/googletest" >"$out/wheel.log" 2>&1 || exit 1
if grep -E "warning:" "$out/wheel.log" | grep -v "^WARNING: Location"; then
    echo "compiler warnings, see $out/wheel.log"
    exit 1
fi
library="$out/build/velmorapy/velmorapy.abi3.so"
if readelf -d "$library" | grep -E 'NEEDED.*(c\+\+|unwind)'; then
    echo "the extension needs libc++ at run time"
    exit 1
fi
# Debian's static libc++ binds pthread symbols of glibc 2.34, so this build cannot meet the
# old-glibc floor of the GCC wheels that users install; it proves the toolchain, not a release.
ctest --test-dir "$out/build" --output-on-failure -j 2 -E '^velmorapy_needs_no_glibc_after_2_28$' \
    >"$out/ctest.log" 2>&1 || exit 1
grep -E '% tests passed' "$out/ctest.log" | tail -n 1
