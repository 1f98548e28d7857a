#!/usr/bin/env bash
# The built programs' command lines without a display: uego-interface refuses a bad argument
# with a message and status 2 and answers --help and --version, whether Qt would pick no
# platform or X11; all three programs print the build's version.
# Arguments: the build directory, then the project's version.
set -uo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() { # description, condition result
  if [ "$2" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
    sed 's/^/  stdout: /' "$work/out"
    sed 's/^/  stderr: /' "$work/err"
  fi
}

# Runs the program with no display and the given platform ("" for none); sets $status.
run() {
  local platform=$1
  shift
  if [ -n "$platform" ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM="$platform" "$@" >"$work/out" 2>"$work/err"
  else
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$work/out" 2>"$work/err"
  fi
  status=$?
}

for platform in "" xcb; do
  for args in "--bogus" "-x" "--port=3" "run.csv" "--verbose --help"; do
    read -ra argv <<<"$args"
    run "$platform" "$build/uego-interface" "${argv[@]}"
    shown="${argv[0]}"
    check "uego-interface $args (platform '$platform'): status $status, not 2" \
      "$([ "$status" = 2 ] && echo 0 || echo 1)"
    check "uego-interface $args (platform '$platform'): no message naming '$shown'" \
      "$(grep -qF "'$shown'" "$work/err" && grep -qF -- "--help" "$work/err" && echo 0 || echo 1)"
    check "uego-interface $args (platform '$platform'): wrote to standard output" \
      "$([ ! -s "$work/out" ] && echo 0 || echo 1)"
  done
  run "$platform" "$build/uego-interface" --help
  check "uego-interface --help (platform '$platform'): status $status" \
    "$([ "$status" = 0 ] && grep -q dialout "$work/out" && echo 0 || echo 1)"
done

for program in uego-interface uego-log uego-sim; do
  run "" "$build/$program" --version
  check "$program --version: status $status, printed something else than '$program $version'" \
    "$([ "$status" = 0 ] && [ "$(cat "$work/out")" = "$program $version" ] && echo 0 || echo 1)"
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
