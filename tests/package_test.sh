#!/usr/bin/env bash
# Unpacks the built Debian package into a temporary root and runs the binary
# from there on the sample frame.
set -euo pipefail
build=$1 sample=$2 version=$3
arch=$(dpkg --print-architecture)
deb="$build/rawhist_${version}_${arch}.deb"
[[ -f $deb ]] || { echo "no package at $deb: run cpack first"; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

dpkg-deb -x "$deb" "$root"
for file in usr/bin/rawhist usr/share/man/man1/rawhist.1 usr/share/bash-completion/completions/rawhist; do
  [[ -f $root/$file ]] || { echo "package lacks $file"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* ]] || { echo "Depends does not name libc6: '$depends'"; exit 1; }
out=$("$root/usr/bin/rawhist" -n "$sample" -f uyvy)
[[ $out == "9520, 10480" ]] || { echo "packaged rawhist printed: $out"; exit 1; }
echo "package: ok ($(basename "$deb"), Depends: $depends)"
