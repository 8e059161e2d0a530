#!/usr/bin/env bash
# scripts/install-deps against stub dpkg-query, apt-get and sudo: it waits
# while another package manager holds the lock, and stops at once on any
# other failure of apt-get.
# Usage: install_deps_test.sh [PATH-OF-INSTALL-DEPS]
set -uo pipefail
install_deps=$(realpath "${1:-$(dirname "$0")/../../scripts/install-deps}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# Every package is installed but mbpoll.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
for last; do :; done
if [ "$last" = mbpoll ]; then
    echo "dpkg-query: no packages found matching mbpoll" >&2
    exit 1
fi
printf 'install ok installed'
STUB

# Logs its arguments to $CALLS, then fails as $APT_FAILS says:
#   lock N   another process holds the lists lock for the first N calls
#   denied   not allowed to take the lock (which is no reason to wait)
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$CALLS"
calls=$(wc -l <"$CALLS")
set -- $APT_FAILS
case "$1" in
lock)
    if [ "$calls" -le "$2" ]; then
        echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1234 (apt-get)" >&2
        echo "E: Unable to lock directory /var/lib/apt/lists/" >&2
        exit 100
    fi ;;
denied)
    echo "E: Could not open lock file /var/lib/apt/lists/lock - open (13: Permission denied)" >&2
    echo "E: Unable to lock directory /var/lib/apt/lists/" >&2
    exit 100 ;;
esac
exit 0
STUB

printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run FAILS WAIT: runs install-deps, sets $status, $err and $calls.
run() {
    : >"$work/calls"
    status=0
    PATH="$work/bin:$PATH" CALLS="$work/calls" APT_FAILS=$1 \
        DUVA_APT_LOCK_WAIT=$2 DUVA_APT_LOCK_RETRY=0.1 \
        timeout 30 bash "$install_deps" >"$work/out" 2>"$work/err" || status=$?
    err=$(cat "$work/err")
    calls=$(cat "$work/calls")
}

# The lock is freed after two tries of the update: both steps go on.
run "lock 2" 60
[[ $status -eq 0 ]] || fail "held lock, then freed: status $status, stderr: $err"
mapfile -t call <<<"$calls"
[[ ${#call[@]} -eq 4 && ${call[0]} == *update* && ${call[2]} == *update* &&
   ${call[3]} == *install*mbpoll ]] || fail "held lock, then freed: apt-get was called as
$calls"
[[ "$err" == *"waiting for another package manager"* ]] ||
    fail "held lock: no word of waiting in: $err"

# A lock never freed: tries again until the limit, then says why it stopped.
run "lock 1000" 2
[[ $status -ne 0 ]] || fail "lock never freed: status 0"
(($(wc -l <<<"$calls") >= 3)) || fail "lock never freed: apt-get tried only as: $calls"
[[ "$calls" != *install* ]] || fail "lock never freed: installed after a failed update"
[[ "$err" == *"gave up after 2 s"*"holds the lock"* ]] ||
    fail "lock never freed: no clear message in: $err"

# Refused the lock: not waited for.
run denied 60
[[ $status -ne 0 ]] || fail "lock refused: status 0"
[[ $(wc -l <<<"$calls") -eq 1 ]] || fail "lock refused: apt-get was called as: $calls"
[[ "$err" != *waiting* ]] || fail "lock refused: waited: $err"

((failures == 0)) && echo "install-deps: all cases pass"
exit $((failures > 0))
