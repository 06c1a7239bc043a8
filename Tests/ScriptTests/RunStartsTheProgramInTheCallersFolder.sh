#!/usr/bin/env bash
# scripts/run, copied into a stand-in repository whose bootstrap, cmake and program only record
# where they ran and what they were given, is started from another folder with relative paths.
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
touch "$samples/kick.wav" "$samples/two words.syx"

# The script is named by a relative path too, as a user in a folder beside the repository types it.
(cd "$samples" && PATH="$work/bin:$PATH" DISPLAY=:0 ../repository/scripts/run kick.wav "two words.syx" --offline-health-check)

expected="bootstrap in $repository
cmake in $repository: --preset release
cmake in $repository: --build --preset release --target V7Aruviv
program in $samples
argument kick.wav: found
argument two words.syx: found
argument --offline-health-check: missing"
if [ "$(cat "$log")" != "$expected" ]; then
  echo "scripts/run ran these steps:" >&2
  cat "$log" >&2
  echo "expected:" >&2
  echo "$expected" >&2
  exit 1
fi
echo "scripts/run built in the repository and started the program in the caller's folder"
