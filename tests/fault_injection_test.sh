#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Every failure of a system call the tool makes for its frame, made to happen
# with strace's fault injection, one table row a fault: standard output must
# stay empty, standard error hold exactly the expected line, the status be 1,
# and the trace show what was given back and in which order (the file closed
# before the frame buffer is unmapped, nothing opened without a buffer).
#
#   tests/fault_injection_test.sh RAWHIST [EMULATOR WORDS...]
#
# A fault is aimed at one call: a first run without a fault finds its
# ordinal among the calls of that name (so the loader's own calls are never
# hit), the second run injects the fault there. Exits 77 (skipped) where
# strace is missing or ptrace is not permitted; with RAWHIST_REQUIRE_FAULTS=1
# that is a failure instead. Under an emulator it always skips: the
# emulator's own calls would be traced.
set -euo pipefail
tool=$1
shift

skip() {
  if [[ ${RAWHIST_REQUIRE_FAULTS:-} == 1 ]]; then
    echo "FAIL: $1, and RAWHIST_REQUIRE_FAULTS=1" >&2
    exit 1
  fi
  echo "SKIPPED: $1"
  exit 77
}
if (($# > 0)); then
  echo "SKIPPED: runs under an emulator, whose own system calls strace would hit"
  exit 77
fi
command -v strace >/dev/null || skip "strace is not installed"
strace -o /dev/null true 2>/dev/null || skip "ptrace is not permitted here"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The frames on either side of the threshold between the heap and the
# huge-page mapping, as the tool's own header defines it.
kib=$(sed -n 's/.*k_mapping_threshold = std::size_t{\([0-9]*\)} << 10U;.*/\1/p' "$(dirname "$0")/../src/frame_buffer.h")
[[ -n $kib ]] || { echo "FAIL: no k_mapping_threshold in src/frame_buffer.h" >&2; exit 1; }
big=$dir/big.raw # read into the huge-page mapping
small=$dir/small.raw # read into the heap
head -c $((kib * 1024)) /dev/zero >"$big"
head -c $((kib * 1024 - 1)) /dev/zero >"$small"

failures=0
fail() {
  echo "FAIL [$row]: $*" >&2
  failures=$((failures + 1))
}

# The line number in the trace of the first line matching an extended regex.
line_of() { grep -n -m 1 -E "$1" "$dir/trace" | cut -d: -f1 || true; }

# Runs the tool on $frame under strace with the faults given (each what
# follows strace's "inject="; none for a clean run), into
# $dir/{trace,out,err}; sets $status.
traced_run() {
  local inject=() fault
  for fault in "$@"; do
    inject+=(-e "inject=$fault")
  done
  status=0
  strace -y -o "$dir/trace" "${inject[@]}" -- "$tool" -n "$frame" >"$dir/out" 2>"$dir/err" || status=$?
}

# The ordinal, among the calls named $1 in the trace, of the first one at or
# after the first line matching the extended regex $2.
ordinal_after() {
  awk -v call="^$1\\\\(" -v marker="$2" \
    '!seen && $0 ~ marker { seen = 1 } $0 ~ call { n++; if (seen) { print n; exit } }' "$dir/trace"
}

# Release order: the frame was never opened; or its open failed and the
# buffer was unmapped after it; or it was closed before the buffer was.
check_order() {
  local open close unmap
  open=$(line_of "^openat\(.*\"$frame\"")
  close=$(line_of "^close\([0-9]+<$frame>")
  unmap=$(grep -n -E '^munmap\(' "$dir/trace" | tail -n 1 | cut -d: -f1 || true)
  case $1 in
    unopened) [[ -z $open ]] || fail "the file was opened without a buffer" ;;
    released) [[ -n $open && -n $unmap && $unmap -gt $open ]] || fail "the buffer was not given back after the failed open" ;;
    closed)
      [[ -n $close && -n $unmap && $unmap -gt $close ]] || fail "the buffer was not given back after the close"
      ! grep -q -E '^munmap\(' <<<"$(sed -n "${open:-1},${close:-1}p" "$dir/trace")" ||
        fail "the buffer was given back while the file was open" ;;
  esac
}

# frame | the calls' names | a line at or before the call | fault | standard error | release order
# A fault ending in + hits that call and every later one of its names: the
# huge-page mapping, then the heap that the frame falls back to.
rows=(
  "big|newfstatat|STAT|error=EIO|stat: Input/output error|unopened"
  "big|newfstatat|STAT|error=EACCES|stat: Permission denied|unopened"
  "big|newfstatat|STAT|error=EOVERFLOW|stat: Value too large for defined data type|unopened"
  "big|mmap,brk|STAT|error=ENOMEM+||unopened"
  "big|openat|OPEN|error=EACCES||released"
  "big|openat|OPEN|error=EMFILE||released"
  "small|openat|OPEN|error=ENFILE||"
  "big|read|READ|error=EIO||closed"
  "big|read|READ|retval=0||closed"
  "small|read|READ|error=EIO||"
  "big|close|CLOSE|error=EIO|fclose: Input/output error|closed"
  "big|close|CLOSE|error=ENOSPC|fclose: No space left on device|closed"
  "big|write|WRITE|error=EIO|write: Input/output error|closed"
  "big|write|WRITE|error=ENOSPC|write: No space left on device|closed"
  "small|write|WRITE|error=EPIPE|write: Broken pipe|"
)
injected=0
for row in "${rows[@]}"; do
  IFS='|' read -r which call marker fault expected order <<<"$row"
  frame=$dir/$which.raw
  case $marker in
    STAT) marker="^newfstatat\(.*\"$frame\"" ;;
    OPEN) marker="^openat\(.*\"$frame\"" ;;
    READ) marker="^read\([0-9]+<$frame>" ;;
    CLOSE) marker="^close\([0-9]+<$frame>" ;;
    WRITE) marker='^write\(1<' ;;
  esac
  traced_run
  IFS=, read -r -a calls <<<"$call"
  faults=()
  for name in "${calls[@]}"; do
    nth=$(ordinal_after "$name" "$marker")
    [[ -n $nth ]] || { fail "no $name call found in a run without faults"; continue 2; }
    [[ $fault != *+ ]] || nth+=+
    faults+=("$name:${fault%+}:when=$nth")
  done
  traced_run "${faults[@]}"
  grep -q -E "^(${call//,/|})\(.*\(INJECTED\)" "$dir/trace" || fail "the fault was not injected"
  [[ ! -s $dir/out ]] || fail "standard output: $(cat "$dir/out")"
  [[ $(cat "$dir/err") == "$expected" ]] || fail "standard error: '$(cat "$dir/err")', expected '$expected'"
  ((status == 1)) || fail "status $status"
  [[ -z $order ]] || check_order "$order"
  injected=$((injected + 1))
done

# The heap path: a data limit of the small frame's size and one byte, which
# the loader fits in but the frame with the loader does not. A frame of 16
# bytes under the same limit must succeed, so that the limit is known to
# fail the frame's allocation, not the start.
row="heap allocation"
limit=$((kib * 1024))
head -c 16 /dev/zero >"$dir/tiny.raw"
[[ $(prlimit --data=$limit "$tool" -n "$dir/tiny.raw") == "16, 0" ]] || fail "a 16-byte frame failed under the data limit"
frame=$small status=0
strace -f -y -o "$dir/trace" prlimit --data=$limit -- "$tool" -n "$frame" >"$dir/out" 2>"$dir/err" || status=$?
[[ ! -s $dir/out && ! -s $dir/err ]] || fail "output: '$(cat "$dir/out")', '$(cat "$dir/err")'"
((status == 1)) || fail "status $status"
sed -i -E 's/^[0-9]+ +//' "$dir/trace"
check_order unopened
injected=$((injected + 1))

# Where the huge-page mapping cannot be had, the frame goes on the heap and
# is counted all the same.
row="huge-page mapping refused"
frame=$big
traced_run
traced_run "mmap:error=ENOMEM:when=$(ordinal_after mmap "^newfstatat\(.*\"$frame\"")"
grep -q -E '^mmap\(.*\(INJECTED\)' "$dir/trace" || fail "the fault was not injected"
[[ $(cat "$dir/out") == "$((kib * 1024)), 0" && ! -s $dir/err ]] || fail "output: '$(cat "$dir/out")', '$(cat "$dir/err")'"
((status == 0)) || fail "status $status"
injected=$((injected + 1))

# And so under an address-space limit that the frame's own size fits in but
# its huge-page reservation (up to 4 MiB more) does not: the limit is what a
# one-byte frame needs, found by bisection, plus the frame and 1 MiB, and
# the trace shows the reservation refused.
row="address-space limit"
head -c 1 /dev/zero >"$dir/one.raw"
fits() { prlimit --as=$(($1 * 1024)) "$tool" -n "$dir/one.raw" >/dev/null 2>&1; }
low=0 high=262144 # KiB
fits "$high" || fail "a one-byte frame fails under $high KiB"
while ((high - low > 16)); do
  mid=$(((low + high) / 2))
  if fits "$mid"; then high=$mid; else low=$mid; fi
done
frame=$dir/100mib.raw
truncate -s $((100 * 1048576 + 1)) "$frame"
limit=$((high + 100 * 1024 + 1024))
status=0
strace -f -e trace=mmap -o "$dir/trace" prlimit --as=$((limit * 1024)) -- "$tool" -n "$frame" \
  >"$dir/out" 2>"$dir/err" || status=$?
# The reservation, whatever its rounding: a mapping of at least the frame's
# size that the limit refused.
awk -v frame="$(stat -c %s "$frame")" '$2 ~ /^mmap\(NULL,$/ && $3 + 0 >= frame + 0 && / = -1 ENOMEM/ {found = 1} END {exit !found}' \
  "$dir/trace" || fail "the huge-page reservation was not refused under $limit KiB"
[[ $(cat "$dir/out") == "104857601, 0" && ! -s $dir/err ]] || fail "output: '$(cat "$dir/out")', '$(cat "$dir/err")'"
((status == 0)) || fail "status $status under $limit KiB"
injected=$((injected + 1))
rm -f "$frame"

echo "$injected faults injected, $failures failed"
((failures == 0))
