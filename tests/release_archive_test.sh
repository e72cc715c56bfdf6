#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# One release archive as a user gets it: its checksum is in SHA256SUMS, it
# holds exactly the expected files, and its program needs nothing from the
# machine (no shared library, no interpreter): it runs under qemu-user
# without any target root, and prints what the native build prints for each
# frame and option set below.
#
#   tests/release_archive_test.sh ARCHIVE SOURCE_DIR QEMU
set -euo pipefail
archive=$1 source=$2 qemu=$3
name=$(basename "$archive" .tar.gz)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$(dirname "$archive")" && grep " $name.tar.gz\$" SHA256SUMS | sha256sum --check --strict)

want=$(printf '%s\n' "$name/" "$name/LICENSE" "$name/README.md" "$name/bash-completion/" \
  "$name/bash-completion/rawhist" "$name/rawhist" "$name/rawhist.1")
got=$(tar -tzf "$archive" | sort)
[[ $got == "$want" ]] || { printf 'archive holds:\n%s\nwant:\n%s\n' "$got" "$want"; exit 1; }
tar -C "$work" -xzf "$archive"
for file in LICENSE README.md doc/rawhist.1 completion/rawhist; do
  shipped=$work/$name/${file/#doc\//}
  shipped=${shipped/completion\//bash-completion/}
  cmp "$source/$file" "$shipped"
done

program=$work/$name/rawhist
dynamic=$(readelf -d "$program")
headers=$(readelf -l "$program")
if [[ $dynamic == *"(NEEDED)"* || $headers == *INTERP* ]]; then
  printf 'the program is not self-contained:\n%s\n' "$dynamic"
  exit 1
fi

sample=$source/samples/colorbars_320x240.uyvy
head -c 1048576 /dev/zero | tr '\0' '\377' >"$work/white.raw"
printf '\001\200\377' >"$work/tiny.raw"
# arguments | what the native build prints
rows=(
  "-n $sample -f uyvy|9520, 10480"
  "-n $sample|15920, 20080"
  "-n $sample -f bayer -w 0,127 -x 128,255|57680, 95920"
  "-n $sample -f yuyv -w 16,235 -x 236,15|70400, 0"
  "-n $sample -f vyuy -w 0,300 -x -1,255|17360, 80"
  "-n $work/white.raw -f yvyu|0, 524288"
  "-n $work/tiny.raw -f uyvy -w 0,255|1, 0"
  "-n $work/missing.raw|stat: No such file or directory"
)
for row in "${rows[@]}"; do
  args=${row%%|*} want=${row#*|}
  # shellcheck disable=SC2086 # the arguments are words without blanks
  got=$("$qemu" "$program" $args 2>&1) || true
  [[ $got == "$want" ]] || { echo "rawhist $args: '$got', want '$want'"; exit 1; }
done
echo "$name: self-contained, ${#rows[@]} runs under $qemu without a target root as natively"
