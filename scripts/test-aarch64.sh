#!/usr/bin/env bash
# aarch64 under emulation: the core, its tests, the extension and the probe cross-compiled with
# Debian's g++-aarch64-linux-gnu; every core test (the vector files included) run through ctest
# under qemu-aarch64, then the module's vector tests under Debian's arm64 CPython 3.11, unpacked
# from its packages (scripts/cross-common.sh) and run by qemu-aarch64 too. Here the active level
# is neon, so its own kernel tests run; the x86 levels' are skipped.
#
# Core: every GoogleTest program once, all its cases in one emulated process, and the
# disassembly checks through ctest. pytest: the vector suites (VELMORA_AARCH64_PYTESTS, default
# below), a subset of velmorapy/tests kept small for time; numpy and scipy have no pure-Python
# form, so suites that need them are left out. pytest and hypothesis (its last pure-Python
# release, "--platform any") are installed for the target's version into build/cross/arm64/pylib.
#
# Prints "<ctest counts>; pytest <counts>" last; exits non-zero on any failure.
#   test-aarch64.sh [host CPython ...]
# The host interpreter runs CMake's Python lookup and pip for the target. It must be the
# target's version (3.11): CMake matches the stable-ABI library to the interpreter's version.
# The first of the given ones that is 3.11 is used, else pyenv's or PATH's python3.11.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source scripts/cross-common.sh
target_version=3.11

# The first interpreter of the target's version among the arguments, pyenv's and PATH's.
find_host_python() {
    local p
    for p in "$@" "$HOME"/.pyenv/versions/"$target_version".*/bin/python3 \
        "$(command -v "python$target_version" || true)"; do
        [ -n "$p" ] && [ -x "$(command -v "$p")" ] || continue
        if [ "$("$p" -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null)" = "$target_version" ]; then
            echo "$p"
            return 0
        fi
    done
    return 1
}
host_python=$(find_host_python "$@") || {
    echo "no host CPython $target_version found (needed to configure the arm64 $target_version build)"
    exit 1
}
base="$root/build/cross/arm64"
build="$base/build"
pytests=${VELMORA_AARCH64_PYTESTS:-"velmorapy/tests/test_batched_engine.py velmorapy/tests/test_posterior.py velmorapy/tests/test_decision.py velmorapy/tests/test_aggregate.py"}

cross_host_tools aarch64-linux-gnu qemu-aarch64 || exit 1
sysroot=$(cross_root arm64 libc6 libgcc-s1 libstdc++6 libgtest-dev \
    "python$target_version-minimal" "libpython$target_version-minimal" \
    "libpython$target_version-stdlib" "libpython$target_version-dev" \
    libexpat1 zlib1g libffi8 libbz2-1.0 liblzma5 libssl3 libuuid1 libcrypt1 libsqlite3-0 \
    libncursesw6 libtinfo6 libreadline8) || exit 1
target_python=("qemu-aarch64" -L "$sysroot" "$sysroot/usr/bin/python$target_version")

cross_build aarch64-linux-gnu "$sysroot" "$base" "$build" -DPython_EXECUTABLE="$host_python" \
    -DPython_INCLUDE_DIR="$sysroot/usr/include/python$target_version" || exit 1

cross_log "core and runtime tests under qemu-aarch64"
rm -rf "$base/tests"
counts=$(cross_gtests qemu-aarch64 "$sysroot" "$build" "$base/tests") || { echo "$counts"; exit 1; }
# The level's own variants must have run: a skip would mean the level was not detected.
for program in vector_kernels_test count_wins_batched_test; do
    if grep -E '^\[  SKIPPED \].*neon' "$base/tests/$program.log" ||
        ! grep -qE '^\[       OK \].*neon' "$base/tests/$program.log"; then
        echo "the neon variants of $program did not run"
        exit 1
    fi
done

pylib="$base/pylib"
if [ ! -f "$pylib/.complete" ]; then
    rm -rf "$pylib"
    "$host_python" -m pip install -q --root-user-action=ignore --target "$pylib" --python-version "$target_version" --implementation cp \
        --platform any --only-binary=:all: "pytest>=8" "hypothesis>=6.100" 2>&1 |
        grep -v "^WARNING: Location '.*' is ignored" >&2
    [ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
    touch "$pylib/.complete"
fi

cross_log "pytest under qemu-aarch64: $pytests"
# A test that starts a fresh interpreter starts the emulated one: sys.executable is an arm64
# program the host cannot run by itself.
# shellcheck disable=SC2086
PYTHONPATH="$build/velmorapy:$pylib" VELMORAPY_PROBE_DIR="$build/velmorapy/probe" \
    VELMORAPY_TEST_INTERPRETER="${target_python[*]}" PYTHONDONTWRITEBYTECODE=1 \
    "${target_python[@]}" -m pytest -q -rs -p no:cacheprovider $pytests >"$base/pytest.log" 2>&1
rc=$?
tail -n 30 "$base/pytest.log"
[ $rc -eq 0 ] || exit 1
echo "core $counts; pytest $(grep -E '^=*\s*[0-9]+ (passed|failed)' "$base/pytest.log" | tail -n 1 | tr -d '=')"
