# Shared by scripts/check, scripts/demo, scripts/fuzz and scripts/bench: the Debian packages the
# build and tests need, the configure and build steps, and the fuzz step (build, replay saved
# crashes, fuzz).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PYTHON=${PYTHON:-/usr/bin/python3}
PACKAGES=(g++ cmake make python3-dev libgtest-dev python3-pytest python3-hypothesis clang-format
    libboost1.81-dev mypy)
# Only the fuzz step needs these.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# Only the package step and the suites on other interpreters need these: Debian's pytest on 3.10
# needs the last two.
PYTHON_PACKAGES=(python3-setuptools python3-wheel python3-build python3-pip python3-venv
    python3-exceptiongroup python3-tomli)

# ensure_packages [extra packages...]
ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    else
        echo "Missing packages. Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

# check_stubs DIR: the type stubs against the module built in DIR (stubtest, and the typed usage
# files under mypy). Debian's mypy belongs to Debian's interpreter, whichever one built the module.
check_stubs() {
    VORN_BUILD_DIR="$ROOT/$1" /usr/bin/python3 -m pytest -q -p no:cacheprovider "$ROOT/tests/typing"
}

# configure_tree DIR [cmake options...]
configure_tree() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPython3_EXECUTABLE="$PYTHON" "$@" >/dev/null
}

# build_tree DIR [cmake options...]: every target.
build_tree() {
    configure_tree "$@"
    cmake --build "$ROOT/$1" -j"$(nproc)" >/dev/null
}

# build_module DIR [cmake options...]: the extension module alone.
build_module() {
    configure_tree "$@"
    cmake --build "$ROOT/$1" -j"$(nproc)" --target vorn_sdk_core >/dev/null
}

FUZZ_DIR=build-fuzz
# Per target in scripts/check: seven targets, two at a time, plus the build, stay within three
# minutes on two cores.
FUZZ_CHECK_SECONDS=20
# The line that says what went wrong: a broken invariant, or a sanitizer's report.
FUZZ_FAULT='invariant broken|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer: (timeout|out-of-memory))'

# The targets are the sources in fuzz/, one binary each.
fuzz_targets() {
    local source
    for source in "$ROOT"/fuzz/*.cpp; do basename "$source" .cpp; done
}

# Replays every saved crash input through its target; fails if any still crashes.
fuzz_replay() {
    local target inputs failed=0
    for target in $(fuzz_targets); do
        inputs=("$ROOT/fuzz/regressions/$target"/*)
        [ -e "${inputs[0]}" ] || continue
        if "$ROOT/$FUZZ_DIR/fuzz/fuzz_$target" "${inputs[@]}" >"$ROOT/$FUZZ_DIR/replay-$target.log" 2>&1; then
            echo "replayed ${#inputs[@]} saved input(s) of $target"
        else
            # libFuzzer names each input before running it: the last one named crashed.
            grep -E "^Running: |$FUZZ_FAULT" "$ROOT/$FUZZ_DIR/replay-$target.log" | tail -n 2
            echo "a saved input of $target crashes (log: $FUZZ_DIR/replay-$target.log)"
            failed=1
        fi
    done
    return $failed
}

# fuzz_one TARGET SECONDS: fuzzes from a copy of the target's corpus kept in the build tree. A
# crash input is saved under fuzz/regressions/TARGET/.
fuzz_one() {
    local target=$1 seconds=$2 work="$ROOT/$FUZZ_DIR/work/$1" dict=()
    mkdir -p "$work/corpus" "$work/crashes"
    cp -n "$ROOT/fuzz/corpus/$target"/* "$work/corpus/" 2>/dev/null || true
    [ -f "$ROOT/fuzz/$target.dict" ] && dict=(-dict="$ROOT/fuzz/$target.dict")
    "$ROOT/$FUZZ_DIR/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/crashes/" "${dict[@]}" "$work/corpus" >"$work/log" 2>&1 || true
}

# Prints one target's executions and coverage, and any crash with where its input was saved.
fuzz_report() {
    local target=$1 work="$ROOT/$FUZZ_DIR/work/$1" execs cov ft artifact status=0
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    # The last coverage line: the final one, or the last before a crash.
    read -r cov ft < <(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -n 1 | cut -d' ' -f2,4)
    printf '%-14s %12s execs  cov %6s  ft %6s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}"
    for artifact in "$work"/crashes/*; do
        [ -e "$artifact" ] || continue
        mkdir -p "$ROOT/fuzz/regressions/$target"
        cp "$artifact" "$ROOT/fuzz/regressions/$target/"
        grep -m1 -E "$FUZZ_FAULT" "$work/log" || true
        echo "  CRASH: input saved as fuzz/regressions/$target/$(basename "$artifact") (log: $FUZZ_DIR/work/$target/log)"
        rm "$artifact"
        status=1
    done
    return $status
}

# fuzz_all SECONDS: builds the fuzz tree with clang, replays the saved crash inputs, then fuzzes
# every target for SECONDS, one per core at a time. Fails on any crash.
fuzz_all() {
    local seconds=$1 target running=0 failed=0
    ensure_packages "${FUZZ_PACKAGES[@]}"
    build_tree "$FUZZ_DIR" -DCMAKE_CXX_COMPILER=clang++-14 -DVORN_FUZZ=ON -DVORN_WERROR=ON
    fuzz_replay || failed=1
    for target in $(fuzz_targets); do
        if [ $running -ge "$(nproc)" ]; then
            wait -n
            running=$((running - 1))
        fi
        fuzz_one "$target" "$seconds" &
        running=$((running + 1))
    done
    wait
    for target in $(fuzz_targets); do fuzz_report "$target" || failed=1; done
    return $failed
}

# Every CPython from 3.10 on that this machine has, one per minor version (PYTHON's own first, then
# the newest patch release): prints "MINOR EXECUTABLE" lines.
python_interpreters() {
    local candidate line seen=" "
    local pyenv="${PYENV_ROOT:-${HOME:-/root}/.pyenv}"
    for candidate in "$PYTHON" \
        $(printf '%s\n' "$pyenv"/versions/*/bin/python3 | sort -rV) \
        $(compgen -c | grep -xE 'python3\.[0-9]+' | sort -urV) /usr/bin/python3.* /usr/local/bin/python3.*; do
        line=$("$candidate" -I -c 'import platform, sys
if platform.python_implementation() == "CPython" and sys.version_info >= (3, 10):
    print("%d.%d" % sys.version_info[:2], sys.executable)' 2>/dev/null) || continue
        [ -n "$line" ] && [[ $seen != *" ${line%% *} "* ]] || continue
        seen+="${line%% *} "
        echo "$line"
    done
}

# suites_on_every_python DIR: runs the module's pytest suite of build DIR on every CPython from 3.10
# on besides PYTHON, with Debian's pytest and hypothesis (pure Python); tests marked slow run on
# PYTHON only. A version that is absent is reported and skipped.
suites_on_every_python() {
    local dir=$1 main version path found=" " failed=0
    ensure_packages "${PYTHON_PACKAGES[@]}"
    main=$("$PYTHON" -I -c 'import sys; print(sys.executable)')
    while read -r version path; do
        found+="$version "
        if [ "$path" = "$main" ]; then
            echo "Python $version ($path): the suite ran above"
            continue
        fi
        echo "-- Python $version ($path)"
        PYTHONPATH=/usr/lib/python3/dist-packages VORN_BUILD_DIR="$ROOT/$dir" "$path" -m pytest -q \
            -p no:cacheprovider -m "not slow" "$ROOT/tests/python" || failed=1
    done < <(python_interpreters | sort -V)
    for version in 3.10 3.11 3.12 3.13; do
        [[ $found == *" $version "* ]] || echo "Python $version: not found on this machine, skipped"
    done
    if [ "$found" = " " ]; then
        echo "no CPython 3.10 or later found" >&2
        return 1
    fi
    return $failed
}

# Builds the wheel, installs it into a fresh environment and uses it from outside the tree.
check_package() {
    ensure_packages "${PYTHON_PACKAGES[@]}"
    "$PYTHON" -m pytest -q -p no:cacheprovider "$ROOT/tests/package"
}
