#!/usr/bin/env bash
# The fetch time limits (4 s to connect, 8 s in all) against loopback peers
# that never answer. Takes about 12 s, so it runs only with the slow label.
set -euo pipefail
tests_bin="${VANTIRO_BUILD_DIR:?}/tests/vantiro_tests"
[[ -x "$tests_bin" ]] || { echo "no $tests_bin"; exit 77; }
VANTIRO_SLOW_TESTS=1 exec "$tests_bin" --gtest_filter='HttpFetchSlow.*'
