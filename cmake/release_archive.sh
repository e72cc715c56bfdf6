#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Packs one release archive, rawhist-VERSION-ARCH-linux.tar.gz, into
# DIST_DIR and rewrites DIST_DIR/SHA256SUMS for every archive there. The
# same commit gives the same bytes: names sorted, owner root, modes fixed,
# every time stamp the commit's, and gzip without a name or date.
#
#   cmake/release_archive.sh PROGRAM SOURCE_DIR DIST_DIR VERSION ARCH EPOCH STRIP
set -euo pipefail
program=$1 source=$2 dist=$3 version=$4 arch=$5 epoch=$6 strip=$7

name=rawhist-$version-$arch-linux
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/bash-completion" "$dist"
"$strip" -o "$stage/$name/rawhist" "$program"
cp "$source/doc/rawhist.1" "$source/LICENSE" "$source/README.md" "$stage/$name/"
cp "$source/completion/rawhist" "$stage/$name/bash-completion/rawhist"
chmod 0755 "$stage/$name/rawhist" "$stage/$name" "$stage/$name/bash-completion"
chmod 0644 "$stage/$name"/rawhist.1 "$stage/$name"/LICENSE "$stage/$name"/README.md "$stage/$name/bash-completion/rawhist"

tar -C "$stage" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner --format=gnu \
  -cf - "$name" | gzip -9n >"$dist/$name.tar.gz"
(cd "$dist" && sha256sum rawhist-*-linux.tar.gz >SHA256SUMS)
echo "$dist/$name.tar.gz"
