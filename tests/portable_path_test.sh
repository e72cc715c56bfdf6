#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# The very same x86-64 binaries, once more under qemu-x86_64, whose default
# CPU has no AVX-512: the run-time check must then choose the portable
# kernel, the unit tests must pass with it, and the tool must print exactly
# what it prints natively for every frame and option set below.
#
#   tests/portable_path_test.sh BUILD_DIR SAMPLE_FRAME
set -euo pipefail
build=$1
sample=$2
emulate=(qemu-x86_64)

# The emulated AVX-512 kernel's cases are left out: they ran natively, and
# under qemu they would take minutes to prove the same again.
RAWHIST_EXPECT_KERNEL=portable "${emulate[@]}" "$build/rawhist_unit_tests" --gtest_brief=1 \
  --gtest_filter='-*avx512_emulated*'


dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
frames=("$sample")
for kind in pattern noisy random; do
  for size in 1 63 64 129 4097 614400 1843201; do
    frames+=("$dir/$kind-$size.raw")
    "$build/rawhist_make_frame" "$kind" uyvy "$size" "${frames[-1]}"
  done
done
compared=0
for frame in "${frames[@]}"; do
  for options in "" "-f bayer" "-f yuyv" "-f yvyu" "-f uyvy" "-f vyuy" "-f uyvy -w 16,235 -x 0,255"; do
    # shellcheck disable=SC2086 # the options are words
    native=$("$build/rawhist" -n "$frame" $options)
    # shellcheck disable=SC2086
    emulated=$("${emulate[@]}" "$build/rawhist" -n "$frame" $options)
    if [[ $native != "$emulated" ]]; then
      echo "differs on $frame $options: native '$native', emulated '$emulated'" >&2
      exit 1
    fi
    compared=$((compared + 1))
  done
done
echo "portable kernel under qemu-x86_64: $compared runs print what the native runs print"
