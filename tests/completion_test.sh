#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the bash completion: option letters, format words after -f, file
# names after -n, nothing after -w and -x.
set -u
completion=$(realpath "$1") || exit 1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch frame.uyvy frame.grey other.raw
# shellcheck source=/dev/null
source "$completion" || exit 1

failures=0
expect() {
    local line=$1 want=$2
    read -r -a COMP_WORDS <<<"$line"
    # A trailing blank means the word being completed is empty.
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _rawhist
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [[ $got != "$want" ]]; then
        printf 'completing "%s": got "%s", want "%s"\n' "$line" "$got" "$want"
        failures=$((failures + 1))
    fi
}

expect 'rawhist ' '-f -n -w -x '
expect 'rawhist -' '-f -n -w -x '
expect 'rawhist -n frame.uyvy -' '-f -n -w -x '
expect 'rawhist -f ' 'bayer rgb uyvy vyuy yuyv yvyu '
expect 'rawhist -f y' 'yuyv yvyu '
expect 'rawhist -f u' 'uyvy '
expect 'rawhist -n ' 'frame.grey frame.uyvy other.raw '
expect 'rawhist -f uyvy -n fr' 'frame.grey frame.uyvy '
expect 'rawhist -w ' ' '
expect 'rawhist -x 2' ' '

if ((failures > 0)); then
    exit 1
fi
echo "completion: all cases passed"
