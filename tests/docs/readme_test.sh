#!/usr/bin/env bash
# The README's shell examples for the tools, run as written from the project root: in a
# scratch tree that links the source folders (data/ copied, since the tools write index
# files beside layers) and whose build/release is the build folder under test.
# An example whose first line ends in a comment "# needs a display" or "# needs the
# network" is listed as skipped.
# Usage: readme_test.sh SOURCE_FOLDER BUILD_FOLDER
set -uo pipefail
source=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root/build"
for entry in "$source"/*; do
  name=$(basename "$entry")
  case "$name" in
    build) ;;
    data) cp -r "$entry" "$root/data" ;;
    *) ln -s "$entry" "$root/$name" ;;
  esac
done
ln -s "$build" "$root/build/release"

# The commands of the ```sh blocks, continuation lines joined, one a line.
awk '
  /^```sh$/ { inside = 1; next }
  /^```/ { inside = 0; next }
  inside {
    line = $0
    if (sub(/\\$/, "", line)) { pending = pending line; next }
    print pending line
    pending = ""
  }
' "$source/README.md" | grep -E '^build/release/tools/' >"$work/examples"

[ -s "$work/examples" ] || { echo "FAIL: no tool examples found in README.md" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
failures=0
ran=0
while IFS= read -r example; do
  if grep -qE '# needs (a display|the network)' <<<"$example"; then
    echo "SKIPPED ($(sed -E 's/.*# (needs [^#]*)$/\1/' <<<"$example")): $example"
    continue
  fi
  ran=$((ran + 1))
  if (cd "$root" && timeout 120 bash -c "$example" >"$work/out" 2>&1 </dev/null); then
    echo "ok: $example"
  else
    echo "FAIL: $example" >&2
    sed 's/^/  /' "$work/out" >&2
    failures=$((failures + 1))
  fi
done <"$work/examples"
echo "$ran example(s) run, $failures failed"
[ "$failures" -eq 0 ]
