#!/usr/bin/env bash
# The test command: set up the machine, build both presets, run every test.
# Exit status is the result.
set -euo pipefail
cd "$(dirname "$0")/.."

start=$(date +%s)
scripts/setup.sh
echo "test: set-up took $(( $(date +%s) - start )) s"

for preset in host win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

rc=0
ctest --preset host || rc=1

# Win32 programs run under Wine. Where this kernel cannot execute 32-bit
# code at all, the Win32 suite runs inside a small virtual machine whose
# kernel can (cmake/win32-vm).
if cmake/can-run-win32; then
    scripts/test-win32.sh || rc=1
else
    echo "test: this kernel cannot run 32-bit code; running the Win32 suite in cmake/win32-vm"
    cmake/win32-vm scripts/test-win32.sh || rc=1
fi
exit $rc
