#!/usr/bin/env bash
# The Debian package: builds it from the build tree, checks that every installed file is in
# it, that its dependencies are declared, and that lintian, desktop-file-validate and
# appstreamcli find no error. Arguments: the build directory, then the programs it holds.
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
for d in fonts-wine fonts-liberation libqt6widgets6; do
  if [[ "$depends" != *"$d"* ]]; then
    echo "missing dependency: $d"
    status=1
  fi
done
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
exit $status
