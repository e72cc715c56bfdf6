#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Unpacks the built Debian package into a temporary root, checks its control
# fields, and runs the binary from there on the sample frame. Any further
# arguments are the emulator that runs a binary of the target (cross builds).
set -euo pipefail
build=$1 sample=$2 version=$3 arch=$4
shift 4
deb="$build/rawhist_${version}_${arch}.deb"
[[ -f $deb ]] || { echo "no package at $deb: run cpack first"; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

dpkg-deb -x "$deb" "$root"
for file in usr/bin/rawhist usr/share/man/man1/rawhist.1.gz usr/share/bash-completion/completions/rawhist \
  usr/share/doc/rawhist/copyright usr/share/doc/rawhist/changelog.gz; do
  [[ -f $root/$file ]] || { echo "package lacks $file"; exit 1; }
done
[[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || { echo "Architecture is not $arch"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends =~ ^libc6\ \(\>=\ 2\.[0-9]+\)$ ]] || { echo "Depends is not a plain libc6 version: '$depends'"; exit 1; }
# The binary is of the package's architecture, not the build machine's.
case $arch in
  amd64) machine="Advanced Micro Devices X86-64" ;;
  arm64) machine="AArch64" ;;
  armhf | armel) machine="ARM" ;;
  riscv64) machine="RISC-V" ;;
  s390x) machine="IBM S/390" ;;
  ppc64el) machine="PowerPC64" ;;
  *) echo "no ELF machine name known for $arch"; exit 1 ;;
esac
header=$(readelf -h "$root/usr/bin/rawhist")
[[ $header =~ Machine:\ +$machine ]] || { echo "usr/bin/rawhist is not a $machine binary"; exit 1; }
out=$("$@" "$root/usr/bin/rawhist" -n "$sample" -f uyvy)
[[ $out == "$(cat "$sample.expected")" ]] || { echo "packaged rawhist printed: $out"; exit 1; }
echo "package: ok ($(basename "$deb"), Depends: $depends)"
