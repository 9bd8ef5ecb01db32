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

# ---- Windows: the suites cross-built for 32- and 64-bit Windows and run under Wine, then the
# shipped rflash.exe of each architecture with its checks. Needs the mingw-w64 compilers and Wine
# (.ci/run installs them); skipped without them.
windows_tools=(i686-w64-mingw32-g++-posix i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++-posix
               x86_64-w64-mingw32-g++-win32 wine wineserver)
windows_missing=()
for tool in "${windows_tools[@]}"; do
  command -v "$tool" >/dev/null || windows_missing+=("$tool")
done
[ -f /usr/src/googletest/CMakeLists.txt ] || windows_missing+=(/usr/src/googletest)
if [ ${#windows_missing[@]} -eq 0 ]; then
  windows_presets=(windows-tests-i686 windows-tests-x86_64 windows-i686 windows-x86_64)
  # Each suite's last test stops its Wine server; an interrupted run stops them here.
  stop_wine() {
    for preset in "${windows_presets[@]}"; do
      for prefix in build/"$preset"/wineprefix*; do
        [ -d "$prefix" ] && cmake/wine-run.sh "$prefix" --stop
      done
    done
    return 0
  }
  trap stop_wine EXIT
  for preset in "${windows_presets[@]}"; do
    echo "=== preset: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
  done
else
  echo "=== Windows presets skipped, missing: ${windows_missing[*]}"
fi
