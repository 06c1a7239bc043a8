#!/usr/bin/env bash
# scripts/test, copied into a stand-in repository whose bootstrap, layer check, cmake and ctest
# only record what they were asked and answer as told, runs every pass and ends with one line
# saying how it went; it fails whenever a build or a test does.
set -euo pipefail
script="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

repository="$work/repository"
mkdir -p "$repository/scripts" "$work/bin"
cp "$script" "$repository/scripts/test"
printf '#!/bin/sh\n' >"$repository/scripts/bootstrap"
printf '#!/bin/sh\n' >"$repository/scripts/check-layers"
# cmake fails to build a preset named in $work/broken; ctest answers with $work/tally-<preset>,
# "<failed> <total>" and, when given, the status it then exits with, or with no tests at all when
# that file is missing.
cat >"$work/bin/cmake" <<STUB
#!/bin/sh
echo "cmake \$*" >>"$work/log"
if [ "\$1" = "--build" ] && grep -qx "\$3" "$work/broken" 2>/dev/null; then echo "build error"; exit 1; fi
STUB
cat >"$work/bin/ctest" <<STUB
#!/bin/sh
echo "ctest \$1 \$2" >>"$work/log"
if [ ! -f "$work/tally-\$2" ]; then echo "No tests were found!!!"; exit 8; fi
read failed total status <"$work/tally-\$2"
echo "\$(( (total - failed) * 100 / total ))% tests passed, \$failed tests failed out of \$total"
echo
echo "Total Test time (real) =   0.01 sec"
if [ "\$failed" -ne 0 ]; then echo "Errors while running CTest"; exit 8; fi
exit "\${status:-0}"
STUB
chmod +x "$repository/scripts/"* "$work/bin/"*

jobs=$(nproc)
# name | preset whose build breaks | release, asan and tsan tallies ("" for no tests) | exit | last line
cases=(
  "all pass||0 3|0 3|0 4|0|All tests passed: release 3/3, asan 3/3, tsan 4/4"
  "a failing sanitizer test||0 3|1 3|0 4|1|FAILED in the asan tests: 2/3 passed. Passed before it: release 3/3"
  "a race||0 3|0 3|2 4|1|FAILED in the tsan tests: 2/4 passed. Passed before it: release 3/3, asan 3/3"
  "no tests||0 3||0 4|1|FAILED in the asan tests: ctest reported no results. Passed before it: release 3/3"
  "ctest failing with no failure counted||0 3|0 3 8|0 4|1|FAILED in the asan tests: ctest ended with status 8. Passed before it: release 3/3"
  "a broken tsan build|tsan|0 3|0 3|0 4|1|FAILED in the tsan build. Passed before it: release 3/3, asan 3/3"
  "a broken first build|release|0 3|0 3|0 4|1|FAILED in the release build."
)
failures=0
for row in "${cases[@]}"; do
  IFS='|' read -r name broken release asan tsan expected_status expected_last <<<"$row"
  rm -f "$work/log" "$work/tally-"*
  echo "$broken" >"$work/broken"
  for preset in release asan tsan; do
    if [ -n "${!preset}" ]; then echo "${!preset}" >"$work/tally-$preset"; fi
  done
  status=0
  output=$(cd "$work" && PATH="$work/bin:$PATH" "$repository/scripts/test" 2>&1) || status=$?
  last=$(printf '%s\n' "$output" | tail -n 1)
  if { [ "$expected_status" -eq 0 ] && [ "$status" -ne 0 ]; } || { [ "$expected_status" -ne 0 ] && [ "$status" -eq 0 ]; }; then
    echo "$name: exit status $status" >&2
    failures=$((failures + 1))
  fi
  if [ "$last" != "$expected_last" ]; then
    printf '%s: the last line is\n  %s\nexpected\n  %s\n' "$name" "$last" "$expected_last" >&2
    failures=$((failures + 1))
  fi
  if [ "$name" = "all pass" ]; then
    steps=""
    for preset in release asan tsan; do
      steps+="cmake --preset $preset"$'\n'"cmake --build --preset $preset --parallel $jobs"$'\n'"ctest --preset $preset"$'\n'
    done
    steps+="cmake --preset fuzz"$'\n'"cmake --build --preset fuzz --parallel $jobs"
    if [ "$(cat "$work/log")" != "$steps" ]; then
      printf '%s: the steps were\n%s\nexpected\n%s\n' "$name" "$(cat "$work/log")" "$steps" >&2
      failures=$((failures + 1))
    fi
  fi
done
if [ "$failures" -ne 0 ]; then exit 1; fi
echo "scripts/test ran every pass and ended with its summary line in ${#cases[@]} cases"
