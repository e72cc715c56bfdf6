#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# The recipe in doc/recipes.md for frames on many machines, run as written against
# two "machines" that are one OpenSSH server on 127.0.0.1 (two unprivileged
# ports, a host key and a client key made here, a configuration from here
# only), with the static program sent along so that the workers need nothing
# installed. Every line must equal the local result, a name with a blank must
# survive, and a frame that fails must fail the recipe.
#
#   tests/ssh_recipe_test.sh doc/recipes.md STATIC_PROGRAM
#
# Exits 77 (skipped) where sshd, ssh, GNU parallel or rsync is missing; with
# RAWHIST_REQUIRE_SSH=1 that is a failure instead.
set -euo pipefail
recipes=$1 program=$2

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
recipe=$(grep -m1 '^parallel --sshlogin cam-rig-1,cam-rig-2 ' "$recipes") || { echo "no ssh recipe in $recipes"; exit 1; }

work=$(mktemp -d)
stop_server() {
  ssh -F "$work/ssh_config" -O exit cam-rig-1 2>/dev/null || true
  ssh -F "$work/ssh_config" -O exit cam-rig-2 2>/dev/null || true
  [[ ! -s $work/sshd.pid ]] || kill "$(cat "$work/sshd.pid")" 2>/dev/null || true
}
stop() {
  stop_server
  rm -rf "$work"
}
trap stop EXIT

# What went wrong, in the words of those who know: the logins' and GNU
# parallel's standard error, parallel's job log, and the server's log.
explain() {
  local file
  for file in "$work/login.err" "$work/parallel.err" "$work/joblog" "$work/sshd.log"; do
    if [[ -s $file ]]; then
      printf '== %s\n%s\n' "${file##*/}" "$(cat "$file")"
    elif [[ -e $file ]]; then
      printf '== %s: empty\n' "${file##*/}"
    fi
  done
  echo "FAIL: $*"
  exit 1
}

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
# Root's server separates privileges into this directory.
((EUID != 0)) || mkdir -p /run/sshd

# Two ports of one server, chosen at random. sshd starts as soon as it can
# bind one of its addresses, so a port that another process holds would not
# stop it: both ports are proven by a login through each before the recipe
# runs. Those logins also start both connection masters, so the recipe's
# jobs never race each other to become the master of a host, nor to add
# the host key to known_hosts, which is written here beforehand.
key=$(cut -d' ' -f1,2 "$work/host_key.pub")
started=
for attempt in 1 2 3 4 5; do
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
# The recipe opens many sessions at once; the defaults (10 sessions a
# connection, random refusals from 10 unauthenticated connections on) could
# turn some of them away.
MaxSessions 100
MaxStartups 100
EOF
  cat >"$work/ssh_config" <<EOF
Host cam-rig-1 cam-rig-2
  HostName 127.0.0.1
  User $(id -un)
  IdentityFile $work/client_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
  ConnectTimeout 20
  ControlMaster auto
  ControlPath $work/connection-%p
  ControlPersist 300
Host cam-rig-1
  Port $port
Host cam-rig-2
  Port $((port + 1))
EOF
  printf '[127.0.0.1]:%s %s\n' "$port" "$key" "$((port + 1))" "$key" >"$work/known_hosts"
  rm -f "$work/sshd.pid"
  if /usr/sbin/sshd -f "$work/sshd_config" -E "$work/sshd.log"; then
    # The pid file is written once the server listens and has gone into the
    # background.
    for _ in $(seq 100); do [[ -s $work/sshd.pid ]] && break; sleep 0.1; done
    if ssh -F "$work/ssh_config" cam-rig-1 true 2>>"$work/login.err" &&
      ssh -F "$work/ssh_config" cam-rig-2 true 2>>"$work/login.err"; then
      started=yes
      break
    fi
    echo "attempt $attempt: ports $port and $((port + 1)) do not both take a login"
    stop_server
  fi
done
[[ -n $started ]] || explain "no two free ports for sshd in five attempts"

mkdir "$work/run" "$work/run/frames"
cd "$work/run"
cp "$program" rawhist
head -c 640 /dev/zero >"frames/dark 1.uyvy" # a blank in the name, on purpose
head -c 1280 /dev/zero | tr '\0' '\377' >frames/bright-2.uyvy
head -c 614400 /dev/urandom >frames/vga-3.uyvy
cp "$(dirname "$0")/../samples/colorbars_320x240.uyvy" frames/colorbars.uyvy
: >frames/empty.uyvy # fails: status 1, no line

# The recipe as written. $PARALLEL only adds a job log (each job's exit
# status and time), for the report should it fail.
status=0
got=$(HOME=$work PARALLEL_SSH="ssh -F $work/ssh_config" PARALLEL="--joblog $work/joblog" timeout 180 \
  bash -c "$recipe" 2>"$work/parallel.err" | sort) || status=$?
want=$(for frame in frames/*.uyvy; do
  [[ $frame == frames/empty.uyvy ]] || printf '%s\t%s\n' "$frame" "$(./rawhist -f uyvy -n "$frame")"
done | sort)
printf 'through sshd:\n%s\n' "$got"
[[ $got == "$want" ]] || explain "$(printf 'those are not the lines of a local run:\n%s' "$want")"
# GNU parallel's status is the number of jobs that failed.
((status == 1)) || explain "recipe ended with status $status, want 1 for the empty frame"
# Every job ran on one of the two "machines", none on this one.
hosts=$(awk -F'\t' 'NR > 1 { print $2 }' "$work/joblog" | sort | uniq -c | awk '{ printf " %s on %s", $1, $2 }')
jobs=$(($(wc -l <"$work/joblog") - 1))
remote=$(awk -F'\t' 'NR > 1 && ($2 == "cam-rig-1" || $2 == "cam-rig-2")' "$work/joblog" | wc -l)
((jobs == 5 && remote == jobs)) || explain "want 5 jobs, all through sshd; the job log has$hosts"
echo "ssh recipe: $(wc -l <<<"$got") lines through sshd on two ports (jobs:$hosts), status $status"
