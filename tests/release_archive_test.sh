#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# One release archive as a user gets it: its checksum is in SHA256SUMS, it
# holds exactly the expected files, and its program needs nothing from the
# machine (no shared library, no interpreter): it runs under qemu-user
# without any target root, on each CPU named (or qemu's default one), and
# prints the line and exit status written below for each frame and option
# set. An armel program must also be code that the
# oldest boards run: ARM and Thumb-1 only, no floating-point unit.
#
#   tests/release_archive_test.sh ARCHIVE SOURCE_DIR QEMU [CPU...]
set -euo pipefail
archive=$1 source=$2 qemu=$3
shift 3
cpus=("$@")
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

if [[ $name == *-armel-linux ]]; then
  attributes=$(readelf -A "$program")
  printf '%s\n' "$attributes" | grep -E 'Tag_(CPU_arch|ARM_ISA|THUMB_ISA|FP_arch|Advanced_SIMD)' || true
  # Debian's armel toolchain builds ARMv5TE code; an attribute naming a
  # later architecture, Thumb-2, VFP or NEON would trap on an ARM926.
  [[ $attributes == *"Tag_CPU_arch: v5TE"* && $attributes == *"Tag_THUMB_ISA_use: Thumb-1"* &&
    $attributes != *Tag_FP_arch* && $attributes != *Tag_Advanced_SIMD_arch* ]] ||
    { echo "the armel program is not plain ARMv5TE code"; exit 1; }
fi

sample=$source/samples/colorbars_320x240.uyvy
head -c 1048576 /dev/zero | tr '\0' '\377' >"$work/white.raw"
printf '\001\200\377' >"$work/tiny.raw"
: >"$work/empty.raw"

# Runs the program on one CPU and compares its status and output (both
# streams) with the ones expected.
runs=0
expect() {
  local cpu=$1 want_status=$2 want=$3
  shift 3
  local emulate=("$qemu") got status=0
  [[ -z $cpu ]] || emulate+=(-cpu "$cpu")
  got=$("${emulate[@]}" "$program" "$@" 2>&1) || status=$?
  if [[ $got != "$want" || $status != "$want_status" ]]; then
    echo "${emulate[*]} rawhist $*: '$got' status $status, want '$want' status $want_status"
    exit 1
  fi
  runs=$((runs + 1))
}
((${#cpus[@]} > 0)) || cpus=("")
for cpu in "${cpus[@]}"; do
  expect "$cpu" 0 "$(cat "$sample.expected")" -n "$sample" -f uyvy
  while IFS= read -r run; do
    [[ $run == '#'* ]] && continue
    read -r -a options <<<"${run%% => *}"
    expect "$cpu" 0 "${run##* => }" -n "$sample" "${options[@]}"
  done <"$sample.runs"
  expect "$cpu" 0 "0, 524288" -n "$work/white.raw" -f yvyu
  expect "$cpu" 0 "1, 0" -n "$work/tiny.raw" -f uyvy -w 0,255
  expect "$cpu" 1 "stat: No such file or directory" -n "$work/missing.raw"
  expect "$cpu" 1 "" -n "$work/empty.raw"
  expect "$cpu" 1 "Format not supported!" -n "$sample" -f rgb
done
on=${cpus[*]}
echo "$name: self-contained, $runs runs under $qemu${on:+ -cpu ${on// /, -cpu }} without a target root, each as expected"
