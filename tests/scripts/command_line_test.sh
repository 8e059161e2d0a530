#!/usr/bin/env bash
# --help and --version of both programs as GNU programs answer them (on
# standard output, status 0, a write error is a failure), answered without
# a display; duva-config refuses every other argument, duva-sim a wrong one.
# Usage: command_line_test.sh BIN-DIR VERSION
set -uo pipefail
bin=$1
version=$2

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run PROGRAM ARGS...: sets $status, $out and $err, with no display at hand.
run() {
    local program=$1
    shift
    status=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$bin/$program" "$@" \
          2>"$errors") || status=$?
    err=$(cat "$errors")
}

run duva-config --version
[[ $status -eq 0 && -z "$err" && "$out" == "duva-config $version"$'\n'"Copyright (C) "* ]] ||
    fail "duva-config --version: status $status, out '$out', err '$err'"
run duva-config --help
[[ $status -eq 0 && -z "$err" && "$out" == "Usage: duva-config [OPTION]"$'\n'* &&
   "$out" == *"      --help     display this help and exit"* &&
   "$out" == *"      --version  output version information and exit"* &&
   "$out" == *"Report bugs to: "* ]] ||
    fail "duva-config --help: status $status, out '$out', err '$err'"

# Nothing else is taken, not even one of Qt's own options.
for args in "--verbose" "-platform offscreen" "SETDUVA.\$\$\$" "-- --help"; do
    read -r -a a <<<"$args"
    run duva-config "${a[@]}"
    [[ $status -eq 2 && -z "$out" && "$err" == "duva-config: "*$'\n'"Try 'duva-config --help' for more information." ]] ||
        fail "duva-config $args: status $status, out '$out', err '$err'"
done
run duva-config --verbose
[[ "$err" == "duva-config: unrecognized option '--verbose'"$'\n'* ]] || fail "duva-config --verbose: '$err'"
run duva-config -- --help
[[ "$err" == "duva-config: extra operand '--help'"$'\n'* ]] || fail "duva-config -- --help: '$err'"

run duva-sim --version
[[ $status -eq 0 && -z "$err" &&
   "$out" == "duva-sim (DUVA configuration program) $version"$'\n'"Copyright (C) "* ]] ||
    fail "duva-sim --version: status $status, out '$out', err '$err'"
run duva-sim --help
[[ $status -eq 0 && -z "$err" && "$out" == "Usage: duva-sim --link PATH [OPTION]..."$'\n'* &&
   "$out" == *$'\n'"      --link=PATH             Make PATH a link to the line."$'\n'* &&
   "$out" == *$'\n'"  -h, --help                  display this help and exit"$'\n'* ]] ||
    fail "duva-sim --help: status $status, out '$out', err '$err'"
run duva-sim --link x --bogus
[[ $status -eq 2 && "$err" == "duva-sim: Unknown option 'bogus'."$'\n'"Try 'duva-sim --help' for more information." ]] ||
    fail "duva-sim --bogus: status $status, err '$err'"

# A --version that cannot be written is a failure, not a silent success.
for program in duva-config duva-sim; do
    status=0
    "$bin/$program" --version >/dev/full 2>/dev/null || status=$?
    [[ $status -eq 1 ]] || fail "$program --version >/dev/full: status $status"
done

((failures == 0)) && echo "command line: all cases pass"
exit $((failures > 0))
