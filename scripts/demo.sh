#!/usr/bin/env bash
# Builds the native tool and runs its main job on a copy of the bundled
# example registry: show, configure the companion host, show again, then go
# back to the system's default host. The bundled file itself is never changed.
# Usage: demo.sh [vandrel] (a tool built elsewhere, such as the packaged one)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tool=${1:-}

if [[ -z $tool ]]; then
    # Only what the native tool needs; scripts/test.sh installs the rest.
    scripts/install-deps.sh native
    cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF > /dev/null
    cmake --build build/demo --target vandrel -j "$(nproc)" > /dev/null
    tool=$root/build/demo/vandrel
fi
tool=$(realpath "$tool")

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
cp examples/providers.reg "$demo/registry.reg"
touch "$demo/QivDLLHost.exe"   # the companion host, in the folder the tool runs from
export VANDREL_REGISTRY=$demo/registry.reg

step() {
    echo
    echo "\$ vandrel $*"
    (cd "$demo" && "$tool" "$@") || echo "(exit status $?)"
}
step /S
step /C
step /S
step /D
echo
echo "What the runs changed in the registry file:"
diff "$root/examples/providers.reg" "$demo/registry.reg" || true
