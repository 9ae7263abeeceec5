#!/usr/bin/env bash
# Spark stage: velmora.spark.decide_table on a local Spark (local[2]), in a venv of its own
# with pyspark, checked row for row against decide_table (python/tests/test_spark.py).
#
# Usage: scripts/test-spark.sh <python> <wheel> <log>
# Exit status: 0 passed, 1 failed, 3 skipped because no Java 17 or later could be had; the
# reason is then the log's last line.
#
# pyspark 4 needs Java 17 or later. When none is found, openjdk-17-jre-headless is installed
# with apt-get (a later JRE where the distribution has no 17).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
python=$1 wheel=$2 log=$3
venv="$root/build/venvs/spark"
mkdir -p "$(dirname "$log")"
: >"$log"

skip() {
    echo "skipped: $*" | tee -a "$log"
    exit 3
}

java_major() { "$1" -version 2>&1 | sed -n 's/.* version "\([0-9]*\).*/\1/p' | head -n 1; }

# A java of version 17 or later: JAVA_HOME's, the one on PATH, or any under /usr/lib/jvm.
find_java() {
    local java major
    for java in "${JAVA_HOME:-/nonexistent}/bin/java" "$(command -v java || true)" /usr/lib/jvm/*/bin/java; do
        [ -x "$java" ] || continue
        major=$(java_major "$java")
        [ "${major:-0}" -ge 17 ] && { readlink -f "$java"; return 0; }
    done
    return 1
}

install_java() {
    [ "$(id -u)" -eq 0 ] || return 1
    command -v apt-get >/dev/null || return 1
    apt-get update -qq >/dev/null 2>&1 || return 1
    local package
    for package in openjdk-17-jre-headless openjdk-21-jre-headless default-jre-headless; do
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null 2>&1 && return 0
    done
    return 1
}

if ! java=$(find_java); then
    echo "no Java 17 or later: installing openjdk-17-jre-headless" | tee -a "$log"
    install_java && java=$(find_java) ||
        skip "no Java 17 or later, and apt-get could not install openjdk-17-jre-headless"
fi
export JAVA_HOME
JAVA_HOME=$(dirname "$(dirname "$java")")
echo "Java: $("$java" -version 2>&1 | head -n 1) ($JAVA_HOME)" | tee -a "$log"

pip() { "$venv/bin/python" -m pip -q "$@" 2>&1 | grep -v "^WARNING: Location '.*' is ignored" >&2; return "${PIPESTATUS[0]}"; }
if [ ! -x "$venv/bin/python" ]; then
    "$python" -m venv "$venv" && pip install --upgrade pip || exit 1
fi
pip install "pyspark>=4" pandas pyarrow numpy pytest &&
    pip install --force-reinstall --no-deps "$wheel" || exit 1

export PYSPARK_PYTHON="$venv/bin/python"
timeout 600 "$venv/bin/python" -m pytest -q -p no:cacheprovider -rs python/tests/test_spark.py 2>&1 | tee -a "$log"
rc=${PIPESTATUS[0]}
# A skip here means pyspark did not import in its own venv: that is a failure, not a skip.
if [ "$rc" -eq 0 ] && grep -q ' skipped' "$log"; then
    echo "the Spark test was skipped in the Spark venv" | tee -a "$log"
    exit 1
fi
[ "$rc" -eq 0 ]
