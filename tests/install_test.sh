#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into a fresh prefix and checks that exactly the
# expected files land there, that the man page renders and that the
# installed binary counts the sample frame. Any further arguments are the
# emulator that runs a binary of the target (cross builds).
set -euo pipefail
build=$1 sample=$2
shift 2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
got=$(cd "$prefix" && find . -type f | sort)
want=$(printf '%s\n' ./bin/rawhist ./share/bash-completion/completions/rawhist \
  ./share/doc/rawhist/README.md ./share/doc/rawhist/changelog.gz ./share/doc/rawhist/copyright \
  ./share/doc/rawhist/real-frames.md \
  ./share/man/man1/rawhist.1.gz | sort)
if [[ $got != "$want" ]]; then
  printf 'installed files differ:\n%s\nwant:\n%s\n' "$got" "$want"
  exit 1
fi
page=$(MANWIDTH=80 man -l "$prefix/share/man/man1/rawhist.1.gz" 2>&1)
[[ $page == *'rawhist - count the dark and bright samples'* ]] || { echo "man -l does not show the page"; exit 1; }
out=$("$@" "$prefix/bin/rawhist" -n "$sample" -f uyvy)
[[ $out == "$(cat "$sample.expected")" ]] || { echo "installed rawhist printed: $out"; exit 1; }
echo "install: ok"
