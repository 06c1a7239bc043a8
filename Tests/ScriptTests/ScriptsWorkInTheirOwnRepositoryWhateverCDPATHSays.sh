#!/usr/bin/env bash
# scripts/test, check-layers, fuzz, screenshots and .ci/run, copied into a stand-in repository, are
# started there by their relative names with CDPATH naming a folder that holds a copy of that
# repository. The stand-ins for the build tools, the program, the fuzz target and bootstrap record
# where they ran: always in the repository the script is in. The copy's layer check fails.
set -euo pipefail
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

repository="$work/repository"
log="$work/log"
scripts=(scripts/test scripts/check-layers scripts/fuzz scripts/screenshots .ci/run)
mkdir -p "$repository/scripts" "$repository/.ci" "$repository/Fuzz" "$repository/build/fuzz/Fuzz" \
  "$repository/build/release/Tools" "$work/bin"
for script in "${scripts[@]}"; do cp "$root/$script" "$repository/$script"; done
for folder in K7Core K7Dispatch K7MIDIIngress K7MIDI V7Aruviv/Models V7Aruviv/Stores V7Aruviv/Support V7Aruviv/App \
  V7Aruviv/Views; do
  mkdir -p "$repository/Sources/$folder"
done
standIn() {  # name, file
  printf '#!/bin/sh\necho "%s in $PWD" >>"%s"\n' "$1" "$log" >"$2"
  chmod +x "$2"
}
standIn bootstrap "$repository/scripts/bootstrap"
standIn cmake "$work/bin/cmake"
standIn screenshots "$repository/build/release/Tools/V7AruvivScreenshots"
standIn fuzzer "$repository/build/fuzz/Fuzz/Stand"
touch "$repository/Fuzz/Stand.cpp"
standIn ctest "$work/bin/ctest"
echo 'echo "100% tests passed, 0 tests failed out of 1"' >>"$work/bin/ctest"

elsewhere="$work/elsewhere"
mkdir "$elsewhere"
cp -a "$repository/." "$elsewhere/"
echo '#include "V7Aruviv/App/MainWindow.h"' >"$elsewhere/Sources/K7Core/Crossing.h"
export CDPATH="$elsewhere"

failures=0
for script in "${scripts[@]}"; do
  rm -f "$log"
  touch "$log"
  status=0
  output=$(cd "$repository" && PATH="$work/bin:$PATH" "$script" 2>&1) || status=$?
  elsewhereSteps=$(grep -F " in $elsewhere" "$log" || true)
  if [ "$status" -ne 0 ] || [ -n "$elsewhereSteps" ]; then
    printf '%s exited with status %s; steps in the copy that CDPATH names:\n%s\noutput:\n%s\n' \
      "$script" "$status" "$elsewhereSteps" "$output" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "${#scripts[@]} scripts worked in their own repository with CDPATH naming a copy of it"
