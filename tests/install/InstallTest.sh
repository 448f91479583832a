#!/usr/bin/env bash
# Installs the build in BUILD_DIR into a temporary prefix and runs the installed
# programs there with a home folder of their own: they start, keep their
# settings in ~/.config/Packetwright (or $XDG_CONFIG_HOME/Packetwright) and find
# their help, both when run by the prefix's owner, who could write beside them
# (root in /usr/local, anyone in a prefix of their own), and by a user who may
# not write there. Nothing of theirs lands in the prefix. Builds nothing. As
# root, where permissions stop no write, that user is nobody.
#
# Usage: InstallTest.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# nobody must be able to reach the folder, so it is not made under a TMPDIR
# that may be private to root.
if [ "$(id -u)" -eq 0 ]; then
  work=$(mktemp -d /tmp/pw-install.XXXXXX)
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/pw-install.XXXXXX")
fi
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
home=$work/home
mkdir "$home"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2
  fail "cmake --install"
}

# ---- What the installation holds ----------------------------------------------
for f in bin/Packetwright bin/packetwright-cli share/applications/packetwright.desktop \
  share/icons/hicolor/scalable/apps/packetwright.svg share/icons/hicolor/48x48/apps/packetwright.png \
  share/doc/packetwright/Packetwright.html share/man/man1/packetwright-cli.1.gz share/man/man1/Packetwright.1.gz; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/Packetwright" ] && [ -x "$prefix/bin/packetwright-cli" ] || fail "programs not executable"
[ ! -e "$prefix/bin/Packetwright.html" ] || fail "the help is beside the program on Linux"

desktop-file-validate "$prefix/share/applications/packetwright.desktop" || fail "desktop entry"
grep -qx 'Exec=Packetwright' "$prefix/share/applications/packetwright.desktop" || fail "Exec"
grep -qx 'Icon=packetwright' "$prefix/share/applications/packetwright.desktop" || fail "Icon"

# A PNG's width and height are the two big-endian words after "IHDR".
png=$prefix/share/icons/hicolor/48x48/apps/packetwright.png
[ "$(od -An -tx1 -j12 -N12 "$png" | tr -d ' \n')" = 494844520000003000000030 ] ||
  fail "the PNG icon is not 48 by 48"

page=$prefix/share/man/man1/packetwright-cli.1.gz
warnings=$(zcat "$page" "$prefix/share/man/man1/Packetwright.1.gz" | groff -ww -z -man 2>&1)
[ -z "$warnings" ] || fail "groff warnings in the manual page: $warnings"
text=$(MANWIDTH=80 man -l "$page" 2>&1 | cat)
for word in show commands bat run export import history --settings --all --wait --json \
  --version "Exit status" "128+N" XDG_CONFIG_HOME Packetwright.journal; do
  grep -qF -- "$word" <<<"$text" || fail "the manual page does not mention $word"
done
grep -q "EXIT STATUS" <<<"$text" || fail "the manual page has no EXIT STATUS section"
# cron looks in /usr/bin and /bin only: its example names the program by its full path.
grep -qE "^ *30 2 \\* \\* \\* +$prefix/bin/packetwright-cli --settings [^ ]+ run --wait" <<<"$text" ||
  fail "the manual page's cron line does not name the installed program by its full path"
# The schedule comes first, before any line written by hand.
examples=${text#*EXAMPLES}
[[ ${examples%%30 2 *} == *"packetwright-cli schedule set --at 02:30"* ]] ||
  fail "the manual page's examples do not begin with schedule set"

find "$prefix" | sort >"$work/installed.list"
cli=$prefix/bin/packetwright-cli
window=$prefix/bin/Packetwright

# ---- The installed programs, by their owner, who may write there ---------------
# A clean environment, but for the sanitizers' options of a checked build.
run_as_owner() {
  (cd "$1" && env -i PATH=/usr/bin:/bin HOME="$1" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    "${@:2}")
}
owner=$work/owner
mkdir "$owner"
run_as_owner "$owner" "$window" --save-and-quit >"$work/out" 2>"$work/err" ||
  fail "the owner's Packetwright --save-and-quit: $(cat "$work/err")"
grep -qxF "Settings file: $owner/.config/Packetwright/Packetwright.dat" "$work/out" ||
  fail "the owner's settings: $(cat "$work/out")"
[ -s "$owner/.config/Packetwright/Packetwright.dat" ] || fail "the owner's window saved nothing"
# A file beside the installed program, as an earlier version left one, is no
# longer every user's settings.
cp "$owner/.config/Packetwright/Packetwright.dat" "$prefix/bin/Packetwright.dat"
run_as_owner "$owner" "$cli" show >"$work/out" 2>"$work/err" || fail "the owner's show: $(cat "$work/err")"
grep -qxF "Settings file:      $owner/.config/Packetwright/Packetwright.dat" "$work/out" ||
  fail "the installed companion read $(head -1 "$work/out")"
rm "$prefix/bin/Packetwright.dat"
find "$prefix" | sort | diff "$work/installed.list" - >&2 ||
  fail "the owner's programs wrote into the installation"

# ---- The installed programs, by a user who cannot write there ------------------
chmod -R a-w "$prefix"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown "$(id -u nobody):$(id -g nobody)" "$home"
  as_user=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
fi
# A clean environment, but for the sanitizers' options of a checked build.
run() {
  (cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    "$@" "${as_user[@]}" "${program[@]}")
}

program=(sh -c "echo > '$prefix/bin/probe'")
if run 2>/dev/null; then fail "the user can write into the installation; this test proves nothing"; fi

settings=$home/.config/Packetwright/Packetwright.dat

program=("$cli" --version)
run | grep -q '^packetwright-cli ' || fail "packetwright-cli --version"

# Before any save the companion names the file it looked for.
program=("$cli" show)
status=0
run >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 1 ] || fail "show without settings ended with $status"
grep -qxF "packetwright-cli: Settings file not found: $settings" "$work/err" ||
  fail "show without settings: $(cat "$work/err")"

program=("$window" --save-and-quit)
run >"$work/out" 2>"$work/err" || fail "Packetwright --save-and-quit: $(cat "$work/err")"
grep -qxF "Settings file: $settings" "$work/out" || fail "window's settings: $(cat "$work/out")"
grep -qxF "Help: $prefix/share/doc/packetwright/Packetwright.html" "$work/out" ||
  fail "window's help: $(cat "$work/out")"
[ -s "$settings" ] || fail "the window saved nothing into $settings"
[ ! -e "$prefix/bin/Packetwright.dat" ] || fail "a settings file beside the installed program"

program=("$cli" show)
run >"$work/out" 2>"$work/err" || fail "show: $(cat "$work/err")"
grep -qxF "Settings file:      $settings" "$work/out" || fail "show: $(head -1 "$work/out")"

# A run journals beside the settings file in use: a directory that cannot be
# entered is one record there.
program=("$cli" export)
run >"$work/settings.json" || fail "export"
sed 's|"Directories": *\[\]|"Directories": [{"Path": "/nonexistent/pw-dir", "NeedArchive": true}]|' \
  "$work/settings.json" >"$work/with-dir.json"
cp "$work/with-dir.json" "$home/with-dir.json"
[ "$(id -u)" -ne 0 ] || chown "$(id -u nobody)" "$home/with-dir.json"
program=(sh -c "'$cli' import '$settings' < '$home/with-dir.json'")
run 2>"$work/err" || fail "import: $(cat "$work/err")"
program=("$cli" run 1)
run >/dev/null 2>&1 || true
[ -s "$home/.config/Packetwright/Packetwright.journal" ] || fail "no journal beside the settings file"

# XDG_CONFIG_HOME names the user's folder, when it is absolute.
program=("$window" --save-and-quit)
run XDG_CONFIG_HOME="$home/cfg" >"$work/out" 2>"$work/err" || fail "with XDG_CONFIG_HOME: $(cat "$work/err")"
[ -s "$home/cfg/Packetwright/Packetwright.dat" ] || fail "nothing saved under XDG_CONFIG_HOME"
program=("$cli" show)
run XDG_CONFIG_HOME=relative >"$work/out" 2>&1 || fail "show with a relative XDG_CONFIG_HOME"
grep -qxF "Settings file:      $settings" "$work/out" || fail "a relative XDG_CONFIG_HOME was used"

find "$prefix" | sort | diff "$work/installed.list" - >&2 || fail "the programs wrote into the installation"

echo "Installed into a read-only prefix: the programs keep their settings in the home folder."
