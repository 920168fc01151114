#!/usr/bin/env bash
# Developer entry point: installs what is missing, builds, then runs the demo or the tests.
#   ./dev.sh demo       install everything, run the Quick start demo
#   ./dev.sh test       install everything, run the C++ and Python test suites
#   ./dev.sh install    install everything and the package only
#   ./dev.sh bench ...  install, then run benchmarks/run.py with the given arguments
set -euo pipefail
cd "$(dirname "$0")"
PY=${PYTHON:-python3}
JOBS=${JOBS:-2}

install_system_packages() {
    local pkgs=(g++ pkg-config libeigen3-dev libfftw3-dev nlohmann-json3-dev libgtest-dev)
    local inc
    inc=$("$PY" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
    [ -f "$inc/Python.h" ] || pkgs+=(python3-dev)
    local missing=()
    for p in "${pkgs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
    if [ ${#missing[@]} -gt 0 ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        echo "installing Debian packages: ${missing[*]}"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

install_python_packages() {
    # module name -> PyPI name
    local -A want=([numpy]=numpy [pytest]=pytest [scipy]=scipy [mypy]=mypy [matplotlib]=matplotlib
                   [scikit_build_core]=scikit-build-core [ninja]=ninja)
    local missing=()
    for m in "${!want[@]}"; do "$PY" -c "import $m" >/dev/null 2>&1 || missing+=("${want[$m]}"); done
    if ! command -v cmake >/dev/null 2>&1 || ! "$PY" - <<'PYEOF'
import re, subprocess, sys
v = re.search(r"(\d+)\.(\d+)", subprocess.run(["cmake", "--version"], capture_output=True, text=True).stdout)
sys.exit(0 if v and (int(v[1]), int(v[2])) >= (3, 25) else 1)
PYEOF
    then missing+=(cmake); fi
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing Python packages: ${missing[*]}"
        "$PY" -m pip install -q "${missing[@]}"
    fi
}

install_package() {
    install_system_packages
    install_python_packages
    "$PY" -m pip install -q --no-build-isolation .
}

run_tests() {
    install_package
    local gen=()
    command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
    cmake -S . -B build/cpp "${gen[@]}" -DKESTRIN_BUILD_TESTS=ON -DKESTRIN_BUILD_PYTHON=OFF >/dev/null
    cmake --build build/cpp -j "$JOBS"
    (cd build/cpp && ctest --output-on-failure -j "$JOBS")
    # Run from the tests folder so that the installed module, not the source tree, is imported.
    (cd tests/python && "$PY" -m pytest -q .)
}

case "${1:-}" in
    demo) install_package; "$PY" examples/quickstart.py ;;
    test) run_tests ;;
    install) install_package ;;
    bench) install_package; shift; "$PY" benchmarks/run.py "$@" ;;
    *) echo "usage: ./dev.sh demo|test|install|bench [args]" >&2; exit 2 ;;
esac
