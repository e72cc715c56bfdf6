#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# The README's recipe for frames on many machines, run as written against
# two "machines" that are one OpenSSH server on 127.0.0.1 (two unprivileged
# ports, a host key and a client key made here, a configuration from here
# only), with the static program sent along so that the workers need nothing
# installed. Every line must equal the local result, a name with a blank must
# survive, and a frame that fails must fail the recipe.
#
#   tests/ssh_recipe_test.sh README.md STATIC_PROGRAM
#
# Exits 77 (skipped) where sshd, ssh, GNU parallel or rsync is missing; with
# RAWHIST_REQUIRE_SSH=1 that is a failure instead.
set -euo pipefail
readme=$1 program=$2

missing=()
for command in /usr/sbin/sshd ssh ssh-keygen parallel rsync; do
  command -v "$command" >/dev/null || missing+=("$command")
done
if ((${#missing[@]} > 0)); then
  why="not installed: ${missing[*]}"
  [[ ${RAWHIST_REQUIRE_SSH:-} != 1 ]] || { echo "FAIL: $why, and RAWHIST_REQUIRE_SSH=1"; exit 1; }
  echo "SKIPPED: $why"
  exit 77
fi
recipe=$(grep -m1 '^parallel --sshlogin cam-rig-1,cam-rig-2 ' "$readme") || { echo "no ssh recipe in $readme"; exit 1; }

work=$(mktemp -d)
stop() {
  [[ ! -s $work/sshd.pid ]] || kill "$(cat "$work/sshd.pid")" 2>/dev/null || true
  ssh -F "$work/ssh_config" -O exit cam-rig-1 2>/dev/null || true
  ssh -F "$work/ssh_config" -O exit cam-rig-2 2>/dev/null || true
  rm -rf "$work"
}
trap stop EXIT
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
# Root's server separates privileges into this directory.
((EUID != 0)) || mkdir -p /run/sshd

started=
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  cat >"$work/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
ListenAddress 127.0.0.1:$((port + 1))
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PidFile $work/sshd.pid
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
EOF
  if /usr/sbin/sshd -f "$work/sshd_config" -E "$work/sshd.log"; then
    for _ in $(seq 50); do [[ -s $work/sshd.pid ]] && break; sleep 0.1; done
    started=yes
    break
  fi
done
[[ -n $started ]] || { cat "$work/sshd.log"; echo "sshd did not start"; exit 1; }

cat >"$work/ssh_config" <<EOF
Host cam-rig-1 cam-rig-2
  HostName 127.0.0.1
  User $(id -un)
  IdentityFile $work/client_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking accept-new
  BatchMode yes
  LogLevel ERROR
  ControlMaster auto
  ControlPath $work/connection-%p
  ControlPersist 60
Host cam-rig-1
  Port $port
Host cam-rig-2
  Port $((port + 1))
EOF

mkdir "$work/run" "$work/run/frames"
cd "$work/run"
cp "$program" rawhist
head -c 640 /dev/zero >"frames/dark 1.uyvy" # a blank in the name, on purpose
head -c 1280 /dev/zero | tr '\0' '\377' >frames/bright-2.uyvy
head -c 614400 /dev/urandom >frames/vga-3.uyvy
cp "$(dirname "$readme")/samples/colorbars_320x240.uyvy" frames/colorbars.uyvy
: >frames/empty.uyvy # fails: status 1, no line

status=0
got=$(HOME=$work PARALLEL_SSH="ssh -F $work/ssh_config" timeout 180 bash -c "$recipe" | sort) || status=$?
want=$(for frame in frames/*.uyvy; do
  [[ $frame == frames/empty.uyvy ]] || printf '%s\t%s\n' "$frame" "$(./rawhist -f uyvy -n "$frame")"
done | sort)
printf 'through sshd:\n%s\n' "$got"
[[ $got == "$want" ]] || { printf 'want:\n%s\n' "$want"; exit 1; }
# GNU parallel's status is the number of jobs that failed.
((status == 1)) || { echo "recipe ended with status $status, want 1 for the empty frame"; exit 1; }
logins=$(grep -c 'Accepted publickey' "$work/sshd.log" || true)
((logins >= 2)) || { cat "$work/sshd.log"; echo "the jobs did not go through sshd"; exit 1; }
echo "ssh recipe: $(wc -l <<<"$got") lines through $logins sshd logins on two ports, status $status"
