# Shared by scripts/check, scripts/demo and scripts/fuzz: the Debian packages the build and tests
# need, one configure-and-build step, and the fuzz step (build, replay saved crashes, fuzz).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PYTHON=${PYTHON:-/usr/bin/python3}
PACKAGES=(g++ cmake make python3-dev libgtest-dev python3-pytest python3-hypothesis clang-format
          mypy)
# Only the fuzz step needs these.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

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

# build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPython3_EXECUTABLE="$PYTHON" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j"$(nproc)" >/dev/null
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
