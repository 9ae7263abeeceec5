#!/usr/bin/env bash
# Builds everything and runs every test: the C++ core suites under ctest, then one abi3 wheel
# built once and tested with pytest under every CPython 3.10+ on the machine.
#
#   VELMORA_PYTHONS="python3.12 ..."   test only these interpreters (default: every 3.10+ found)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)

say() { printf '\n=== %s\n' "$*"; }

ensure_debian_packages() {
    local missing=()
    for pkg in libgtest-dev libbenchmark-dev; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: ${missing[*]} (run as root or install them)" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Every CPython 3.10 or later: pyenv's versions first, then whatever python3 is on PATH.
find_pythons() {
    if [ -n "${VELMORA_PYTHONS:-}" ]; then
        for p in $VELMORA_PYTHONS; do command -v "$p"; done
        return
    fi
    local seen=""
    for p in "$HOME"/.pyenv/versions/*/bin/python3 "$(command -v python3 || true)"; do
        [ -x "$p" ] || continue
        "$p" -c 'import sys; sys.exit(sys.version_info < (3, 10) or sys.implementation.name != "cpython")' \
            2>/dev/null || continue
        local v
        v=$("$p" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
        case " $seen " in *" $v "*) continue ;; esac
        seen="$seen $v"
        echo "$p"
    done
}

ensure_debian_packages
mapfile -t pythons < <(find_pythons)
[ ${#pythons[@]} -gt 0 ] || { echo "no CPython 3.10+ found" >&2; exit 1; }
first_python=${pythons[0]}

say "C++ core: configure, build, ctest"
cmake -S . -B "$build/tests" -DVELMORA_TESTS=ON -DVELMORA_BENCHMARKS=ON \
    -DPython_EXECUTABLE="$first_python" ${VELMORA_CMAKE_ARGS:-} >/dev/null
cmake --build "$build/tests" -j "$jobs"
ctest --test-dir "$build/tests" --output-on-failure -j "$jobs"

say "wheel: one abi3 build for every interpreter"
rm -rf "$build/wheelhouse"
"$first_python" -m venv --clear "$build/venv-wheel"
"$build/venv-wheel/bin/python" -m pip install -q --upgrade pip
"$build/venv-wheel/bin/python" -m pip wheel -q --no-deps . -w "$build/wheelhouse"
wheel=$(ls "$build"/wheelhouse/velmorapy-*.whl)
echo "built $(basename "$wheel")"

status=0
for python in "${pythons[@]}"; do
    version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
    say "pytest on CPython $version"
    venv="$build/venvs/$version"
    [ -x "$venv/bin/python" ] || "$python" -m venv "$venv"
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q -r requirements-test.txt
    "$venv/bin/python" -m pip install -q --force-reinstall --no-deps "$wheel"
    if VELMORAPY_PROBE_DIR="$build/tests/velmorapy/probe" \
        "$venv/bin/python" -m pytest -q -p no:cacheprovider velmorapy/tests; then
        echo "pytest CPython $version: passed"
    else
        echo "pytest CPython $version: FAILED"
        status=1
    fi
done
exit $status
