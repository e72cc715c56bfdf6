#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package and the amd64 release archive of the committed
# HEAD twice, from two clones in differently named directories and at
# different times, and requires each pair to be identical byte for byte.
# What makes them so (the paths mapped out of the binaries, the commit's
# time as every time stamp, the archives' sorted, owner-free entries) is
# the same for every architecture; doc/development.md says why these two
# stand for all.
set -euo pipefail
source=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Configure, build and pack only: the package's and the archives' own tests
# have run once already and would only add time here.
build() {
  git clone -q "$source" "$1"
  (cd "$1" && for preset in package dist-amd64; do
    cmake --preset "$preset" --fresh && cmake --build --preset "$preset" || exit 1
    [[ $preset != package ]] || cpack --preset "$preset" || exit 1
  done >"$1.log" 2>&1) ||
    { tail -n 20 "$1.log"; echo "package or archive build in $1 failed"; exit 1; }
}
build "$work/first"
sleep 2 # a later clock, so that a time stamp taken from it would show
build "$work/second-elsewhere"

version=$(cmake -P "$source/cmake/print_version.cmake")
deb=rawhist_${version}_$(dpkg --print-architecture).deb
builds=build/${RAWHIST_BUILD_PREFIX:-}
first=$work/first/${builds}package/$deb
second=$work/second-elsewhere/${builds}package/$deb
if ! cmp -s "$first" "$second"; then
  echo "the two packages differ:"
  for deb in "$first" "$second"; do
    echo "== $deb"
    dpkg-deb -I "$deb"
    dpkg-deb -c "$deb"
    mkdir -p "$deb.x" && dpkg-deb -x "$deb" "$deb.x" && (cd "$deb.x" && find . -type f -exec md5sum {} + | sort -k2)
  done
  exit 1
fi
echo "reproducible: $(basename "$first") built twice, $(md5sum <"$first" | cut -c1-32)"
for archive in "$work/first/${builds}"dist/*.tar.gz "$work/first/${builds}dist/SHA256SUMS"; do
  other=$work/second-elsewhere/${builds}dist/$(basename "$archive")
  cmp "$archive" "$other" || { echo "$(basename "$archive") differs between the two builds"; exit 1; }
  echo "reproducible: $(basename "$archive") built twice, $(md5sum <"$archive" | cut -c1-32)"
done
