#!/usr/bin/env bash
# Checks the Debian package as dpkg and a user meet it: its fields and
# contents, lintian's verdict, an installation into a throwaway root (its own
# dpkg database, so that the machine's stays as it was), the installed
# programs started by root and by an ordinary user, each with a home folder of
# its own, keeping their settings there and nothing beside the programs, and a
# removal that leaves nothing but those users' own files. As root the ordinary
# user is nobody; otherwise both runs are by the user running the test.
#
# Usage: DebPackageTest.sh DEB
set -euo pipefail
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
started=$SECONDS

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
[ -f "$deb" ] || fail "no package at $deb"

# nobody must reach the installation, so it is not made under a private TMPDIR.
work=$(mktemp -d /tmp/pw-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# ---- The package's fields and contents -----------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "packetwright_${version}_$arch.deb" ] || fail "the package's name: $(basename "$deb")"
[ "$(field Package)" = packetwright ] || fail "Package: $(field Package)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
description=$(field Description)
[ "$(wc -l <<<"$description")" -gt 3 ] || fail "the description has no long text: $description"
# The dependencies are the libraries' packages, with the versions they need.
depends=$(field Depends)
for package in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6dbus6 libicu72; do
  [[ ", $depends," == *", $package "* ]] || fail "Depends lacks $package: $depends"
done
[ "$(field Recommends)" = 7zip ] || fail "Recommends: $(field Recommends)"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|/$||' | sort >"$work/contents"
for f in usr/bin/Packetwright usr/bin/packetwright-cli usr/share/applications/packetwright.desktop \
  usr/share/icons/hicolor/scalable/apps/packetwright.svg usr/share/icons/hicolor/48x48/apps/packetwright.png \
  usr/share/doc/packetwright/Packetwright.html usr/share/doc/packetwright/copyright \
  usr/share/doc/packetwright/changelog.gz usr/share/man/man1/packetwright-cli.1.gz \
  usr/share/man/man1/Packetwright.1.gz; do
  grep -qxF "./$f" "$work/contents" || fail "the package lacks /$f"
done
outside=$(grep -v -e '^\.$' -e '^\./usr$' -e '^\./usr/' "$work/contents" || true)
[ -z "$outside" ] || fail "the package puts files outside /usr: $outside"
zcat <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/packetwright/changelog.gz) |
  head -1 | grep -qF "packetwright ($version) " || fail "the changelog's latest entry is not $version"

dpkg-deb -x "$deb" "$work/unpacked"
for program in Packetwright packetwright-cli; do
  sections=$(readelf -SW "$work/unpacked/usr/bin/$program")
  if grep -qE '\.(debug_info|symtab) ' <<<"$sections"; then
    fail "/usr/bin/$program is not stripped"
  fi
done
rm -rf "$work/unpacked"
echo "ok: the package's fields and contents"

if command -v lintian >/dev/null; then
  # Run as root, lintian wants to be told that this is meant.
  lintian --fail-on error --allow-root --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 ||
    fail "lintian: $(cat "$work/lintian")"
  echo "ok: lintian, no errors and $(grep -c '^W:' "$work/lintian" || true) warnings"
else
  echo "lintian is not installed (scripts/setup installs it): its check is left out" >&2
fi

# ---- Installed into a throwaway root ---------------------------------------------
# The machine's own libraries serve the programs there; what they depend on is
# the machine's, so dpkg's own database of that root is told not to ask.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
as_dpkg=()
[ "$(id -u)" -eq 0 ] || as_dpkg=(--force-not-root)
dpkg_root() {
  dpkg --root="$root" --log="$work/dpkg.log" --force-depends --force-script-chrootless "${as_dpkg[@]}" "$@"
}
dpkg_root -i "$deb" >"$work/dpkg.out" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.out")"
[ -x "$root/usr/bin/Packetwright" ] || fail "dpkg installed no /usr/bin/Packetwright"
echo "ok: installed into $root"

owner_home=$work/root-home
user_home=$work/user-home
mkdir "$owner_home" "$user_home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown "$(id -u nobody):$(id -g nobody)" "$user_home"
  as_user=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
fi
# start HOME COMMAND...: the command as that home's user, in a clean
# environment but for the sanitizers' options of a checked build.
start() {
  local home=$1 who=()
  shift
  [ "$home" = "$owner_home" ] || who=("${as_user[@]}")
  (cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    "${who[@]}" "$@")
}
for home in "$owner_home" "$user_home"; do
  settings=$home/.config/Packetwright/Packetwright.dat
  start "$home" "$root/usr/bin/Packetwright" --save-and-quit >"$work/out" 2>"$work/err" ||
    fail "Packetwright --save-and-quit: $(cat "$work/err")"
  grep -qxF "Settings file: $settings" "$work/out" || fail "the window's settings: $(cat "$work/out")"
  grep -qxF "Help: $root/usr/share/doc/packetwright/Packetwright.html" "$work/out" ||
    fail "the window's help: $(cat "$work/out")"
  [ -s "$settings" ] || fail "the window saved nothing into $settings"
  start "$home" "$root/usr/bin/packetwright-cli" show >"$work/out" 2>"$work/err" ||
    fail "packetwright-cli show: $(cat "$work/err")"
  grep -qxF "Settings file:      $settings" "$work/out" || fail "show: $(head -1 "$work/out")"
done
MANPATH=$root/usr/share/man man -w packetwright-cli >/dev/null 2>&1 ||
  fail "man finds no page of packetwright-cli in the installation"
echo "ok: root and $( [ "$(id -u)" -eq 0 ] && echo nobody || id -un) keep their settings in their own ~/.config/Packetwright/"

# ---- Removed ------------------------------------------------------------------------
dpkg_root -r packetwright >"$work/dpkg.out" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.out")"
left=$(cd "$root" && find . -path ./var/lib/dpkg -prune -o -print | sed '/^\.$/d;/^\.\/var$/d;/^\.\/var\/lib$/d')
[ -z "$left" ] || fail "the removal left behind: $left"
for home in "$owner_home" "$user_home"; do
  [ -s "$home/.config/Packetwright/Packetwright.dat" ] || fail "the removal took $home's settings"
done
echo "ok: removed, leaving only the users' settings, in $((SECONDS - started)) s"
