#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the recipe for many frames on all cores, exactly as doc/recipes.md
# writes it, on a few frames: each result line carries its file name, lines
# do not mix, and a frame that fails makes the whole pipeline fail.
# Arguments: doc/recipes.md, the built tool, then the emulator that runs a
# binary of the target (cross builds), if any.
set -euo pipefail
recipes=$1 tool=$2
shift 2
# shellcheck disable=SC2016 # the recipe's own $(nproc), matched as written
recipe=$(grep -m1 '^find frames .*| xargs .*-P "$(nproc)"' "$recipes") ||
  { echo "no xargs recipe in $recipes"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/frames"
# The recipe calls rawhist by name, as an installed tool.
printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$*" "$tool" >"$work/bin/rawhist"
chmod +x "$work/bin/rawhist"

cd "$work"
for i in 1 2 3 4 5 6 7 8; do
  head -c $((i * 64)) /dev/zero >"frames/dark $i.uyvy"        # a blank in the name, on purpose
  head -c $((i * 64)) /dev/zero | tr '\0' '\377' >"frames/bright-$i.uyvy"
done
: >frames/empty.uyvy                                          # fails: status 1, no line

status=0
got=$(PATH="$work/bin:$PATH" bash -c "$recipe" | sort) || status=$?
want=$(for i in 1 2 3 4 5 6 7 8; do
  printf 'frames/dark %d.uyvy: %d, 0\n' "$i" $((i * 32))
  printf 'frames/bright-%d.uyvy: 0, %d\n' "$i" $((i * 32))
done | sort)
if [[ $got != "$want" ]]; then
  printf 'recipe printed:\n%s\nwant:\n%s\n' "$got" "$want"
  exit 1
fi
# xargs reports a failed command with 123, after running all the others.
[[ $status == 123 ]] || { echo "recipe ended with status $status, want 123 for the empty frame"; exit 1; }
echo "many frames: ok"
