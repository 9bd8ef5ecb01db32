#!/usr/bin/env bash
# Builds and runs every test suite this machine can run: the Linux suites in the normal and the
# sanitizer presets, with the real-kernel check (label vm) where QEMU and a kernel are installed.
# Run from anywhere; exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in default sanitize; do
  echo "=== preset: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
