#!/usr/bin/env bash
# The uego-log service unit: systemd-analyze finds nothing to say against it and rates its
# exposure 2.0 or lower; it restarts on a port failure but not on bad options (2) or an
# output fault (3); installed under any prefix it starts the uego-log of that prefix; it runs
# as the system user uego-log, and a log its ExecStart writes (as that user, with the unit's
# umask, into a state directory of the unit's mode) is read by a member of the group
# uego-log and by no one else. That last part makes users, so it needs root; without root
# it is skipped with a message. Skipped (77) where systemd-analyze is missing.
# Arguments: the unit file configured in the build tree, then the build directory.
set -uo pipefail
unit=$1
build=$2
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is missing (scripts/setup installs systemd): skipped"
  exit 77
fi
work=$(mktemp -d)
made_users=()
pids=()
cleanup() {
  local p u
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null && wait "$p" 2>/dev/null
  done
  # Users last made first: the service's own user goes after the users in its group.
  for ((u = ${#made_users[@]} - 1; u >= 0; u--)); do
    userdel "${made_users[u]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
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
check "exposure ${exposure:-not reported} above 2.0" \
  "$(awk -v e="$exposure" 'BEGIN { exit !(e != "" && e + 0 <= 2.0) }' && echo 0 || echo 1)"
[ "$failed" = 0 ] || grep '✗' "$work/security"

setting() { sed -n "s/^$1=//p" "$2"; }
check "Restart= is not on-failure" "$([ "$(setting Restart "$unit")" = on-failure ] && echo 0 || echo 1)"
check "RestartPreventExitStatus= is not '2 3'" \
  "$([ "$(setting RestartPreventExitStatus "$unit")" = "2 3" ] && echo 0 || echo 1)"
check "ExecStart= does not wait for the port" \
  "$(setting ExecStart "$unit" | grep -q -- '--wait-for-port' && echo 0 || echo 1)"

# The README names the user and the group whose members read the logs.
check "the unit runs as a dynamic user, whose logs only root reads" \
  "$([ -z "$(setting DynamicUser "$unit")" ] && echo 0 || echo 1)"
user=$(setting User "$unit")
group=$(setting Group "$unit")
check "User= is '$user', Group= is '$group', not uego-log" \
  "$([ "$user" = uego-log ] && [ "$group" = uego-log ] && echo 0 || echo 1)"

# Installed under a prefix of its own, the unit starts that prefix's uego-log.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; check "cmake --install failed" 1; }
installed=$prefix/share/doc/uego-interface/examples/uego-log@.service
program=$(setting ExecStart "$installed" | sed -n "s|^/bin/sh -c 'exec \([^ ]*\) .*|\1|p")
echo "installed under $prefix, the unit starts ${program:-nothing}"
check "the unit installed under $prefix starts '$program', not $prefix/bin/uego-log" \
  "$([ "$program" = "$prefix/bin/uego-log" ] && [ -x "$program" ] && echo 0 || echo 1)"

# Who reads the logs: the unit's ExecStart run as its user, with its umask and state directory.
if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: who may read the service's logs (making users for it needs root)"
elif [ "$failed" != 0 ]; then
  echo "SKIPPED: who may read the service's logs (the unit has faults above)"
else
  nologin=$(command -v nologin || echo /usr/sbin/nologin)
  if ! getent group "$group" >/dev/null; then
    if getent passwd "$user" >/dev/null; then
      groupadd --system "$group"
    else
      useradd --system --user-group --no-create-home --home-dir /nonexistent --shell "$nologin" "$user"
      made_users+=("$user")
    fi
  elif ! getent passwd "$user" >/dev/null; then
    useradd --system --gid "$group" --no-create-home --home-dir /nonexistent --shell "$nologin" "$user"
    made_users+=("$user")
  fi
  reader=uegotest-r$$
  outsider=uegotest-o$$
  useradd --user-group --no-create-home --shell "$nologin" --groups "$group" "$reader"
  made_users+=("$reader")
  useradd --user-group --no-create-home --shell "$nologin" "$outsider"
  made_users+=("$outsider")

  chmod 0755 "$work"
  mkdir "$work/bin" "$work/config" "$work/lib"
  cp "$build/uego-log" "$build/uego-sim" "$work/bin/"
  chown "$user:$group" "$work/config"
  # What systemd makes of StateDirectory= and StateDirectoryMode= before it starts the unit.
  state=$work/lib/$(setting StateDirectory "$unit")
  mkdir "$state"
  chown "$user:$group" "$state"
  chmod "$(setting StateDirectoryMode "$unit" | grep . || echo 0755)" "$state"
  umask=$(setting UMask "$unit" | grep . || echo 0022)

  as() { # user, then the command: becomes it, run as that user with the user's groups
    local who=$1
    shift
    exec setpriv --reuid="$who" --regid="$(id -g "$who")" --init-groups \
      env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_CONFIG_HOME="$work/config" "$@"
  }
  (as "$user" "$work/bin/uego-sim" --port 7 >"$work/sim.out" 2>&1) &
  sim=$!
  pids+=("$sim")
  until grep -q "offered as COM7" "$work/sim.out" || ! kill -0 "$sim" 2>/dev/null; do
    sleep 0.1
  done
  cat "$work/sim.out"
  check "uego-sim, as $user, did not offer COM7" \
    "$(grep -q "offered as COM7" "$work/sim.out" && echo 0 || echo 1)"

  # systemd's unescaping of ExecStart ($$ and %% halved, %i the instance), with the copied program.
  command_line=$(setting ExecStart "$unit" | sed -e 's/\$\$/$/g' -e 's/%i/7/g' -e 's/%%/%/g' \
    -e "s|exec [^ ]*/uego-log |exec $work/bin/uego-log |")
  echo "ExecStart: $command_line"
  (as "$user" STATE_DIRECTORY="$state" /bin/sh -c "umask $umask; eval \"exec \$0\"" "$command_line" \
    2>"$work/log.err") &
  logger=$!
  pids+=("$logger")
  log=""
  until [ -n "$log" ] && [ "$(wc -l <"$log")" -ge 2 ] || ! kill -0 "$logger" 2>/dev/null ||
    ! kill -0 "$sim" 2>/dev/null; do
    sleep 0.1
    log=$(find "$state" -name 'COM7-*.csv' | head -1)
  done
  kill -TERM "$logger"
  wait "$logger"
  stopped=$?
  cat "$work/log.err"
  check "the logger ended with status $stopped on SIGTERM, or wrote no log with a record" \
    "$([ "$stopped" = 0 ] && [ -n "$log" ] && [ "$(wc -l <"$log")" -ge 2 ] && echo 0 || echo 1)"
  if [ -n "$log" ]; then
    ls -ld "$state" "$log"
    check "the log is owned by $(stat -c %U:%G "$log"), not $user:$group" \
      "$([ "$(stat -c %U:%G "$log")" = "$user:$group" ] && echo 0 || echo 1)"
    (as "$reader" /bin/cat "$log") >"$work/read" 2>"$work/read.err"
    read_status=$?
    cat "$work/read.err"
    check "$reader (in group $group) could not read the log: status $read_status" \
      "$([ "$read_status" = 0 ] && cmp -s "$work/read" "$log" && echo 0 || echo 1)"
    (as "$reader" /bin/ls "$state") >"$work/list" 2>&1
    check "$reader (in group $group) could not list $state" \
      "$(grep -qxF "$(basename "$log")" "$work/list" && echo 0 || echo 1)"
    (as "$outsider" /bin/cat "$log") >/dev/null 2>&1
    check "$outsider (not in group $group) read the log" "$([ $? != 0 ] && echo 0 || echo 1)"
    (as "$outsider" /bin/ls "$state") >/dev/null 2>&1
    check "$outsider (not in group $group) listed $state" "$([ $? != 0 ] && echo 0 || echo 1)"
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
