#!/usr/bin/env bash
# The Debian package: builds it from the build tree, checks that every installed file is in
# it, that its dependencies are declared, and that lintian, desktop-file-validate and
# appstreamcli find no error. As root it then installs the package without recommended
# packages, as `apt install --no-install-recommends` does, and checks that the window starts
# under Xvfb from what the package depends on alone, and that the service's user is made;
# the package is purged afterwards. Arguments: the build directory, then the programs it holds.
set -euo pipefail
build=$1
shift
programs=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"

status=0
expect() {
  if ! grep -qxF "$1" "$work/files"; then
    echo "missing from the package: $1"
    status=1
  fi
}
for p in "${programs[@]}"; do
  expect "/usr/bin/$p"
  expect "/usr/share/man/man1/$p.1.gz"
done
expect /usr/share/applications/uego-interface.desktop
expect /usr/share/metainfo/io.example.uego_interface.metainfo.xml
expect /usr/share/icons/hicolor/scalable/apps/uego-interface.svg
for size in 16 32 48 64 128 256; do
  expect "/usr/share/icons/hicolor/${size}x${size}/apps/uego-interface.png"
done
expect /usr/share/doc/uego-interface/copyright
expect /usr/share/doc/uego-interface/changelog.gz
expect /usr/share/doc/uego-interface/examples/uego-log@.service
expect /usr/share/lintian/overrides/uego-interface

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in fonts-wine fonts-liberation libqt6widgets6 qt6-qpa-plugins adduser; do
  if [[ "$depends" != *"$d"* ]]; then
    echo "missing dependency: $d"
    status=1
  fi
done
dpkg-deb -I "$deb" postinst >"$work/postinst" 2>&1 && grep -q 'adduser --system --group .* uego-log' "$work/postinst" ||
  { echo "the package's postinst does not make the service's user uego-log"; status=1; }
for field in Maintainer Section Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || { echo "empty control field $field"; status=1; }
done

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/uego-interface.desktop" || status=1
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.example.uego_interface.metainfo.xml" ||
  status=1
# The programs answer --help and --version without a display, each with the package's version.
package_version=$(dpkg-deb -f "$deb" Version)
for p in "${programs[@]}"; do
  printed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/$p" --version)
  [ "$printed" = "$p $package_version" ] ||
    { echo "$p --version printed '$printed', the package is $package_version"; status=1; }
done
# The service unit starts the package's uego-log.
grep -qF "ExecStart=/bin/sh -c 'exec /usr/bin/uego-log " "$work/root/usr/share/doc/uego-interface/examples/uego-log@.service" ||
  { echo "the packaged service unit does not start /usr/bin/uego-log"; status=1; }
changelog_version=$(zcat "$work/root/usr/share/doc/uego-interface/changelog.gz" | sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$package_version" ] ||
  { echo "the changelog's latest entry is $changelog_version, the package $package_version"; status=1; }
for p in "${programs[@]}"; do
  zcat "$work/root/usr/share/man/man1/$p.1.gz" | head -1 | grep -qF "\"UEGO Interface $package_version\"" ||
    { echo "the man page of $p is not of version $package_version"; status=1; }
done
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/uego-interface" --help |
  grep -q dialout || { echo "--help lacks the port numbering"; status=1; }

lintian --fail-on error --display-info --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1 ||
  { echo "lintian found errors:"; status=1; }
cat "$work/lintian.log"
# The programs are built as Debian builds its own: fortified, stack-protected, bound at start.
# Sanitizer and debug builds go without, so there the tags are expected.
if [ "${UEGO_HARDENED:-1}" = 1 ] && grep -q ' hardening-' "$work/lintian.log"; then
  echo "lintian finds the programs built without hardening"
  status=1
fi

# Installed without recommended packages, the window starts under Xvfb, and every Qt plugin
# it loads then (its platform plugin above all) comes from a package that the package depends
# on, directly or not: one that only a recommendation brings may be missing elsewhere. The
# libraries it links are the shared library dependencies' business.
if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: installing the package (needs root)"
  exit $status
fi
if dpkg-query -W -f='${Status}' uego-interface 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIPPED: installing the package: uego-interface is installed on this machine and would be replaced"
  exit $status
fi
had_user=$(getent passwd uego-log >/dev/null && echo 1 || echo 0)
had_group=$(getent group uego-log >/dev/null && echo 1 || echo 0)
xvfb_pid=""
gui_pid=""
uninstall() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null && wait "$gui_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -o DPkg::Lock::Timeout=600 uego-interface \
    >"$work/purge.log" 2>&1 || { echo "could not purge uego-interface:"; cat "$work/purge.log"; }
  [ "$had_user" = 1 ] || userdel uego-log 2>/dev/null || true
  [ "$had_group" = 1 ] || groupdel uego-log 2>/dev/null || true
  rm -rf "$work"
}
trap uninstall EXIT
cp "$deb" "$work/"
echo "apt install --no-install-recommends ./$(basename "$deb")"
installed=0
(cd "$work" && DEBIAN_FRONTEND=noninteractive apt install -y --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "./$(basename "$deb")") >"$work/apt.log" 2>&1 || installed=$?
grep -v '^WARNING: apt does not have a stable CLI' "$work/apt.log" | tail -4
if [ "$installed" != 0 ]; then
  echo "apt install failed with status $installed"
  cat "$work/apt.log"
  exit 1
fi
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/uego-interface --version)
echo "installed: $printed"
[ "$printed" = "uego-interface $package_version" ] ||
  { echo "the installed uego-interface --version printed '$printed'"; status=1; }
passwd=$(getent passwd uego-log || true)
echo "service user: $passwd"
IFS=: read -r _ _ uid gid _ home shell <<<"$passwd" || true
[ -n "$passwd" ] && [ "$uid" -lt 1000 ] && [ "$(getent group uego-log | cut -d: -f3)" = "$gid" ] &&
  [ ! -e "$home" ] && [[ "$shell" == */nologin ]] ||
  { echo "the package did not make uego-log a system user in its own group without a home or shell"; status=1; }

mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 3>"$work/displayfd" &
xvfb_pid=$!
read -r display <"$work/displayfd" || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
mkdir -m 0700 "$work/home" "$work/runtime"
env -i PATH=/usr/bin:/bin DISPLAY=":$display" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  /usr/bin/uego-interface >"$work/gui.log" 2>&1 &
gui_pid=$!
until DISPLAY=":$display" xdotool search --onlyvisible --pid "$gui_pid" >/dev/null 2>&1 ||
  ! kill -0 "$gui_pid" 2>/dev/null; do
  sleep 0.1
done
if ! kill -0 "$gui_pid" 2>/dev/null; then
  echo "the installed uego-interface did not start under Xvfb:"
  cat "$work/gui.log"
  exit 1
fi
echo "the installed uego-interface shows its window on :$display"
# The packages the installed package needs, however deep.
apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances uego-interface 2>/dev/null |
  sed -n -e 's/^ *|\{0,1\}\(Pre\)\{0,1\}Depends: //p' -e 's/^\([^ ]\)/\1/p' |
  sed -e 's/[<>]//g' -e 's/:.*//' | sort -u >"$work/needed" || true
sed -n 's|^[^/]* \(/.*/qt6/plugins/.*\)$|\1|p' "/proc/$gui_pid/maps" | sort -u >"$work/mapped"
unowned=0
while read -r file; do
  owner=""
  for candidate in "$file" "${file#/usr}" "/usr$file"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | sed 's/,.*//') && [ -n "$owner" ] && break
  done
  [ -n "$owner" ] || continue
  if ! grep -qxF "$owner" "$work/needed"; then
    echo "the window loads $file of $owner, which the package does not depend on"
    unowned=$((unowned + 1))
  fi
done <"$work/mapped"
echo "Qt plugins the window loads: $(sed 's|.*/plugins/||' "$work/mapped" | tr '\n' ' ')"
echo "of them from packages the package does not depend on: $unowned"
[ "$unowned" = 0 ] || status=1
exit $status
