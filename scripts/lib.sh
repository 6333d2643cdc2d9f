# Shared by scripts/check, scripts/demo and scripts/bench: the Debian packages the build and tests
# need, and the configure and build steps.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PYTHON=${PYTHON:-/usr/bin/python3}
PACKAGES=(g++ cmake make python3-dev libgtest-dev python3-pytest python3-hypothesis clang-format)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
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

# configure_tree DIR [cmake options...]
configure_tree() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
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
