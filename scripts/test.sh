#!/usr/bin/env bash
# Runs every test through ctest: the normal build (made by scripts/setup.sh), then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer (skip with ZEM_SKIP_ASAN=1), then
# the threaded tests under ThreadSanitizer (skip with ZEM_SKIP_TSAN=1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
jobs=$(nproc)

echo "== tests (RelWithDebInfo)"
ctest --test-dir build --output-on-failure -j "$jobs" -LE window

# The window tests need an X server: one Xvfb screen for the whole suite, tests one at a time.
echo "== window tests (Xvfb)"
if command -v xvfb-run >/dev/null; then
  ZEM_WINDOW_DISPLAY_READY=1 SDL_VIDEODRIVER=x11 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    ctest --test-dir build --output-on-failure -L window
else
  echo "window tests skipped: xvfb-run is missing (apt-get install xvfb)"
fi

if [ "${ZEM_SKIP_ASAN:-0}" != 1 ]; then
  echo "== unit tests under ASan+UBSan"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEM_SANITIZE=ON >/dev/null
  cmake --build build-asan
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -L unit
fi

if [ "${ZEM_SKIP_TSAN:-0}" != 1 ]; then
  # The programs whose tests run threads against each other: the foundation's threads and event
  # lists, sound and music (refill, clock and killer threads), the engine and its slide loader.
  echo "== threaded tests under TSan"
  tsan_tests="zem_foundation_tests zem_sound_tests zem_music_tests zem_engine_tests"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEM_TSAN=ON -DZEM_BENCH=OFF >/dev/null
  cmake --build build-tsan --target $tsan_tests
  for t in $tsan_tests; do
    exe=$(find build-tsan/tests -type f -name "$t" | head -1)
    echo "-- $t"
    TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp halt_on_error=1 second_deadlock_stack=1" "$exe" --gtest_brief=1
  done
fi
