#!/usr/bin/env bash
# Every x86 level on an emulated processor of a real model that has that level and nothing wider:
# the core's tests and the module's known-good vectors run under qemu-x86_64 -cpu MODEL, and the
# test-only probe confirms that the dispatcher picked the model's level.
#
#   qemu64 -> sse2, core2duo -> ssse3, Penryn -> sse4.1, SandyBridge -> avx, Haswell -> avx2
#
# Emulation is 10 to 50 times slower than the host, so each model runs a subset, printed below:
# the core suites without the moment tests and the 2^32-score count (minutes each under qemu),
# the kernel and batched-loop tests of the model's own level only (the host runs every level),
# and the Python suites of the vectors and the level check. These use no hypothesis, whose pytest
# plugin alone would take 20 s to load under emulation. Two models run at a time.
#
# Usage: scripts/test-x86-levels.sh <ctest build tree> <python with velmorapy installed> <log dir>
# The last line of the output is the verdict; the exit status is non-zero if any model failed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[ $# -eq 3 ] || {
    echo "usage: $0 <ctest build tree> <python with velmorapy installed> <log dir>" >&2
    exit 2
}
tree=$(cd "$1" && pwd)
python=$2
logs=$3
mkdir -p "$logs"
core_tests="$tree/velmora-core/tests"
models=(qemu64:sse2 core2duo:ssse3 Penryn:sse4.1 SandyBridge:avx Haswell:avx2)
python_suites=(velmorapy/tests/test_cpu_level.py velmorapy/tests/test_posterior.py
    velmorapy/tests/test_decision.py)

ensure_qemu() {
    command -v qemu-x86_64 >/dev/null && return
    [ "$(id -u)" -eq 0 ] || {
        echo "qemu-x86_64 is missing (Debian package qemu-user)" >&2
        return 1
    }
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user >/dev/null
}

# "<test binary> <gtest filter>" for each core suite a model runs at `level`.
core_subset() { # core_subset <level>
    local suffix=${1//./}
    echo "aggregate_test *"
    echo "internal_failure_test *"
    echo "chacha_rng_test *"
    echo "exact_math_test *"
    echo "beta_sampler_test -*moments*"
    echo "promotion_test -*more_than_2_pow_32*"
    echo "vector_kernels_test cpu_level_test.*:*/$suffix"
    echo "count_wins_batched_test count_wins_batched_*_test.*:*/${suffix}_*"
}

# A suite passes when it ran at least one test and skipped none: on its own model a level's
# tests must run, and a skip would mean the detection refused the level.
run_core_suite() { # run_core_suite <model> <binary> <filter> <log>
    local out
    out=$(qemu-x86_64 -cpu "$1" "$core_tests/$2" --gtest_brief=1 --gtest_filter="$3" 2>&1)
    local rc=$?
    printf '%s\n' "$out" >>"$4"
    [ "$rc" -eq 0 ] || return 1
    grep -q 'SKIPPED' <<<"$out" && return 1
    grep -oE '^\[  PASSED  \] [0-9]+' <<<"$out" | grep -oE '[0-9]+$'
}

run_model() { # run_model <model> <level>; writes <log dir>/x86-<model>.{log,result}
    local model=$1 level=$2 log="$logs/x86-$1.log" started=$SECONDS
    local passed=0 failed=0 binary filter count
    : >"$log"
    while read -r binary filter; do
        echo "--- $binary --gtest_filter='$filter'" >>"$log"
        if count=$(run_core_suite "$model" "$binary" "$filter" "$log") && [ "$count" -gt 0 ]; then
            passed=$((passed + count))
        else
            failed=$((failed + 1))
            echo "FAILED: $binary" >>"$log"
        fi
    done < <(core_subset "$level")
    echo "--- pytest ${python_suites[*]}" >>"$log"
    VELMORAPY_PROBE_DIR="$tree/velmorapy/probe" VELMORAPY_EXPECTED_LEVEL=$level \
        qemu-x86_64 -cpu "$model" "$python" -m pytest -q -p no:cacheprovider \
        -p no:hypothesispytest "${python_suites[@]}" \
        >>"$log" 2>&1 || failed=$((failed + 1))
    local pytest_line
    pytest_line=$(grep -E '^=*\s*[0-9]+ (passed|failed|error)' "$log" | tail -n 1 | tr -d '=')
    local verdict=ok
    [ "$failed" -eq 0 ] || verdict=fail
    printf '%s %-12s %-7s gtest %d passed, pytest %s, %ds\n' "$verdict" "$model" "$level" \
        "$passed" "${pytest_line:-did not run}" $((SECONDS - started)) >"$logs/x86-$model.result"
}

ensure_qemu || exit 1
[ -x "$core_tests/vector_kernels_test" ] && [ -d "$tree/velmorapy/probe" ] || {
    echo "no core tests or probe in $tree: build it with -DVELMORA_TESTS=ON" >&2
    exit 1
}
echo "subset per model (level L):"
core_subset L | sed 's/^/  gtest /'
echo "  pytest ${python_suites[*]}"

started=$SECONDS
for entry in "${models[@]}"; do
    rm -f "$logs/x86-${entry%%:*}.result"
    run_model "${entry%%:*}" "${entry#*:}" &
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n; done
done
wait

failed_models=0
for entry in "${models[@]}"; do
    result="$logs/x86-${entry%%:*}.result"
    if [ ! -f "$result" ]; then
        echo "fail ${entry%%:*}: no result"
        failed_models=$((failed_models + 1))
        continue
    fi
    cat "$result"
    grep -q '^ok ' "$result" || failed_models=$((failed_models + 1))
done
echo "$((${#models[@]} - failed_models)) of ${#models[@]} models passed in $((SECONDS - started))s (logs: ${logs#"$root"/}/x86-*.log)"
[ "$failed_models" -eq 0 ]
