#!/usr/bin/env bash
# The uego-log service unit: systemd-analyze finds nothing to say against it, rates its
# exposure 4.0 or lower, and it restarts on a port failure but not on bad options (2) or an
# output fault (3). Skipped (77) where systemd-analyze is missing. Argument: the unit file.
set -uo pipefail
unit=$1
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is missing (scripts/setup installs systemd): skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() { # description, then 0 when it holds
  if [ "$2" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}

systemd-analyze verify "$unit" >"$work/verify" 2>&1
verified=$?
cat "$work/verify"
check "systemd-analyze verify: status $verified, or it has something to say" \
  "$([ "$verified" = 0 ] && [ ! -s "$work/verify" ] && echo 0 || echo 1)"

systemd-analyze security --offline=yes "$unit" >"$work/security" 2>&1
exposure=$(sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p' "$work/security")
echo "exposure: ${exposure:-none}"
check "exposure ${exposure:-not reported} above 4.0" \
  "$(awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 4.0) }' && echo 0 || echo 1)"
[ "$failed" = 0 ] || grep '✗' "$work/security"

setting() { sed -n "s/^$1=//p" "$unit"; }
check "Restart= is not on-failure" "$([ "$(setting Restart)" = on-failure ] && echo 0 || echo 1)"
check "RestartPreventExitStatus= is not '2 3'" \
  "$([ "$(setting RestartPreventExitStatus)" = "2 3" ] && echo 0 || echo 1)"
check "ExecStart= does not wait for the port" \
  "$(setting ExecStart | grep -q -- '--wait-for-port' && echo 0 || echo 1)"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
