#!/usr/bin/env bash
# Renders the wizard's pages into docs/screenshots/ (offscreen, no display
# needed): builds the wizard's tests and runs the screenshot test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps
build=build/screenshots
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target korv_ui_qt_tests -j "$(nproc)"
KORV_SCREENSHOT_DIR="$PWD/docs/screenshots" QT_QPA_PLATFORM=offscreen \
  "$build/tests/korv_ui_qt_tests" --gtest_filter='ScreenshotsTest.*'
echo "Screenshots written to docs/screenshots/"
