# Shared by the emulated stages (scripts/test-aarch64.sh, scripts/test-s390x.sh): the target's
# Debian packages fetched with a private apt state for that architecture and unpacked with
# dpkg -x into build/cross/<arch>/root, never installed; the host's apt and dpkg stay as they
# are. Both the downloads and the unpacked root are cached under build/cross/<arch>/.
#
# Source this file, then call cross_root <Debian arch> <package...>: it prints the root.

cross_log() { printf '[cross] %s\n' "$*" >&2; }

# The host tools: Debian's cross compiler and qemu-user for the target.
cross_host_tools() { # cross_host_tools <GNU triple> <qemu program>
    local triple=$1 qemu=$2 missing=()
    command -v "$triple-g++" >/dev/null || missing+=("g++-$triple")
    command -v "$qemu" >/dev/null || missing+=(qemu-user)
    [ ${#missing[@]} -eq 0 ] && return 0
    cross_log "installing ${missing[*]}"
    apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# apt-get with its own sources (the host's, read for another architecture), lists, cache and an
# empty package status: nothing it does is seen by the host's apt.
cross_apt() { # cross_apt <state dir> <Debian arch> <apt-get arguments...>
    local dir=$1 arch=$2
    shift 2
    apt-get -q \
        -o Dir::Etc::SourceList="$dir/etc/sources.list" \
        -o Dir::Etc::SourceParts="$dir/etc/sources.list.d" \
        -o Dir::State="$dir/state" -o Dir::State::status="$dir/state/status" \
        -o Dir::Cache="$dir/cache" -o Debug::NoLocking=1 \
        -o APT::Sandbox::User=root -o APT::Architecture="$arch" -o APT::Architectures="$arch" "$@"
}

cross_apt_setup() { # cross_apt_setup <state dir>
    local dir=$1
    mkdir -p "$dir/etc/sources.list.d" "$dir/state/lists/partial" "$dir/cache/archives/partial"
    : >"$dir/state/status"
    if [ -f /etc/apt/sources.list ]; then
        cp /etc/apt/sources.list "$dir/etc/sources.list"
    else
        : >"$dir/etc/sources.list"
    fi
    # Only the active deb822 files; a list the host disabled stays disabled.
    find /etc/apt/sources.list.d -maxdepth 1 \( -name '*.sources' -o -name '*.list' \) \
        -exec cp {} "$dir/etc/sources.list.d/" \;
}

# Downloads what is not cached yet and unpacks every package into the root. A stamp holding the
# package list marks a complete root: a changed list or an interrupted unpack starts over.
cross_root() { # cross_root <Debian arch> <package...>
    local arch=$1
    shift
    local base="$root/build/cross/$arch"
    local apt_dir="$base/apt" debs="$base/debs" target="$base/root"
    local wanted="$*"
    if [ -f "$target/.complete" ] && [ "$(cat "$target/.complete")" = "$wanted" ]; then
        echo "$target"
        return 0
    fi
    mkdir -p "$debs"
    local missing=() pkg
    for pkg in "$@"; do
        compgen -G "$debs/${pkg}_*_${arch}.deb" >/dev/null ||
            compgen -G "$debs/${pkg}_*_all.deb" >/dev/null || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        cross_log "fetching ${#missing[@]} $arch packages: ${missing[*]}"
        cross_apt_setup "$apt_dir"
        cross_apt "$apt_dir" "$arch" update -qq >&2 || return 1
        (cd "$debs" && cross_apt "$apt_dir" "$arch" -qq download "${missing[@]}" >&2) || return 1
    fi
    rm -rf "$target"
    mkdir -p "$target"
    local deb
    for deb in "$debs"/*.deb; do
        dpkg -x "$deb" "$target" || return 1
    done
    echo "$wanted" >"$target/.complete"
    echo "$target"
}

# Configures and builds a cross build tree with the triple's toolchain file and the unpacked
# root; a compiler warning fails it as in the native builds. Logs in <base>.
cross_build() { # cross_build <GNU triple> <root> <base> <build dir> <cmake args...>
    local triple=$1 sysroot=$2 base=$3 build=$4
    shift 4
    cross_log "configure and build in ${build#"$root"/}"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$triple.cmake" \
        -DVELMORA_CROSS_ROOT="$sysroot" -DVELMORA_TESTS=ON "$@" >"$base/configure.log" 2>&1 ||
        { cat "$base/configure.log"; return 1; }
    cmake --build "$build" -j 2 >"$base/build.log" 2>&1 || { tail -n 40 "$base/build.log"; return 1; }
    if grep -E "warning:" "$base/build.log"; then
        echo "compiler warnings, see ${base#"$root"/}/build.log"
        return 1
    fi
}

# Runs every GoogleTest program of a build tree once under the emulator, all of its cases in
# one process: starting the emulator once per case, as ctest does, costs more than the tests.
# The disassembly checks (CMake scripts, no emulation) run through ctest. Prints
# "N passed, N failed, N skipped" (test cases); each program's output is in <log dir>.
cross_gtests() { # cross_gtests <qemu> <root> <build dir> <log dir>
    local qemu=$1 sysroot=$2 build=$3 logs=$4 program name passed=0 failed=0 skipped=0
    mkdir -p "$logs"
    local programs
    mapfile -t programs < <(find "$build" -name '*_test' -type f -executable | sort)
    [ ${#programs[@]} -gt 0 ] || { echo "no test programs in $build" >&2; return 1; }
    # Two at a time, one per core.
    printf '%s\n' "${programs[@]}" | xargs -P 2 -I{} sh -c \
        "'$qemu' -L '$sysroot' {} >'$logs'/\$(basename {}).log 2>&1; echo \$? >'$logs'/\$(basename {}).rc"
    for program in "${programs[@]}"; do
        name=$(basename "$program")
        local log="$logs/$name.log" n
        n=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
        passed=$((passed + ${n:-0}))
        n=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:/\1/p' "$log")
        skipped=$((skipped + ${n:-0}))
        n=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:/\1/p' "$log")
        if [ "$(cat "$logs/$name.rc")" != 0 ] || [ -n "$n" ]; then
            failed=$((failed + ${n:-1}))
            echo "--- $name failed:" >&2
            tail -n 30 "$log" >&2
        fi
    done
    local checks
    checks=$(ctest --test-dir "$build" -N -R '^velmorapy_' | grep -c 'Test #')
    if [ "$checks" -gt 0 ]; then
        if ctest --test-dir "$build" --output-on-failure -R '^velmorapy_' >"$logs/checks.log" 2>&1; then
            passed=$((passed + checks))
        else
            failed=$((failed + 1))
            cat "$logs/checks.log" >&2
        fi
    fi
    echo "$passed passed, $failed failed, $skipped skipped"
    [ "$failed" -eq 0 ]
}
