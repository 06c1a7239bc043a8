#!/usr/bin/env bash
# scripts/run, copied into a stand-in repository whose bootstrap, cmake and program only record
# where they ran and what they were given, is started with relative paths from a folder beside the
# repository and from the repository itself, with CDPATH exported as some users' shells have it.
set -euo pipefail
script="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

repository="$work/repository"
samples="$work/samples"
log="$work/log"
mkdir -p "$repository/scripts" "$repository/build/release/Sources/V7Aruviv/App" "$samples" "$work/bin"
cp "$script" "$repository/scripts/run"

printf '#!/bin/sh\necho "bootstrap in $PWD" >>"%s"\n' "$log" >"$repository/scripts/bootstrap"
printf '#!/bin/sh\necho "cmake in $PWD: $*" >>"%s"\n' "$log" >"$work/bin/cmake"
cat >"$repository/build/release/Sources/V7Aruviv/App/V7Aruviv" <<STUB
#!/bin/sh
echo "program in \$PWD" >>"$log"
for argument in "\$@"; do
  if [ -e "\$argument" ]; then echo "argument \$argument: found" >>"$log"; else echo "argument \$argument: missing" >>"$log"; fi
done
STUB
chmod +x "$repository/scripts/run" "$repository/scripts/bootstrap" "$work/bin/cmake" \
  "$repository/build/release/Sources/V7Aruviv/App/V7Aruviv"
touch "$samples/kick.wav" "$samples/two words.syx" "$repository/kick.wav"

# A cd that searches CDPATH prints the folder it found.
export CDPATH=.:"$work"

failures=0
# Runs `command...` in `folder` and compares what the stand-ins recorded.
check() {
  local folder="$1" command="$2"
  shift 2
  rm -f "$log"
  (cd "$folder" && PATH="$work/bin:$PATH" DISPLAY=:0 "$command" "$@" --offline-health-check) ||
    echo "$command in $folder exited with status $?" >>"$log"
  local expected="bootstrap in $repository
cmake in $repository: --preset release
cmake in $repository: --build --preset release --target V7Aruviv
program in $folder"
  for argument in "$@"; do expected+=$'\n'"argument $argument: found"; done
  expected+=$'\n'"argument --offline-health-check: missing"
  if [ "$(cat "$log")" != "$expected" ]; then
    echo "$command in $folder ran these steps:" >&2
    cat "$log" >&2
    echo "expected:" >&2
    echo "$expected" >&2
    failures=$((failures + 1))
  fi
}

check "$samples" ../repository/scripts/run kick.wav "two words.syx"
check "$repository" scripts/run kick.wav

[ "$failures" -eq 0 ] || exit 1
echo "scripts/run built in the repository and started the program in the caller's folder"
