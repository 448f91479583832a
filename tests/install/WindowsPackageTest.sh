#!/usr/bin/env bash
# Unpacks the Windows zip into a fresh Wine prefix and uses it as a person
# would on a computer where nothing else is installed: the window program's
# first start offers the archiver it finds in the registry (the stand-in
# archiver, registered there as WinRAR), F1 in the Options asks the system's
# browser for that dialog's section of the help beside the program, F2 saves
# the settings file beside the program, where the companion from the zip
# reads it back, and Run Current starts the archiver in the directory with
# exactly the arguments of the call line that the companion shows. Only the
# zip's programs run from the package; the build folder gives the stand-in
# archiver alone, which lies in C:\Tools like any other installed archiver.
# Leaves a picture of the main window in WORK_DIR/windows-under-wine.png.
#
# Usage: WindowsPackageTest.sh ZIP WINDOWS_BUILD_DIR WORK_DIR
# Needs Wine, Xvfb, xdotool, openbox and ImageMagick's import (scripts/setup).
set -euo pipefail

usage="ZIP WINDOWS_BUILD_DIR WORK_DIR"
label="Windows package (Wine)"
# shellcheck source=tests/install/WineSession.sh
source "$(dirname "$0")/WineSession.sh"
bounded "$@"
shift

zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(cd "$2" && pwd)
work=$(cd "$3" && pwd)
recorder=$build/tests/pw_recorder.exe

need cmake
[ -f "$zip" ] || fail "no zip at $zip"
[ -f "$recorder" ] || fail "no stand-in archiver at $recorder"
# Wine takes the list of browsers apart at commas.
case $work in *,*) fail "the work folder's path holds a comma: $work" ;; esac

# ---- A fresh prefix, a display and a window manager ---------------------------
fresh_prefix "$work/unpacked" "$work/browser.log" "$work/windows-under-wine.png"
ok "a fresh Wine prefix in $WINEPREFIX"
start_display

# ---- The package ----------------------------------------------------------------

mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
top=$(find "$work/unpacked" -mindepth 1 -maxdepth 1)
if [ "$(wc -l <<<"$top")" -ne 1 ] || [ ! -d "$top" ]; then
  fail "the zip holds not one folder but: $top"
fi
mv "$top" "$drive/Packetwright"
rmdir "$work/unpacked"
for f in Packetwright.exe packetwright-cli.exe Packetwright.html platforms/qwindows.dll; do
  [ -f "$drive/Packetwright/$f" ] || fail "the package lacks $f"
done
ok "unpacked into C:\\Packetwright"

# The archiver, where an installation would put it, and the data to archive.
mkdir -p "$drive/Tools" "$drive/Data/My Docs"
cp "$recorder" "$drive/Tools/pw_recorder.exe"
echo text >"$drive/Data/My Docs/letter.txt"
echo scratch >"$drive/Data/My Docs/draft.tmp"

# The browser that Wine's winebrowser starts: notes what it was asked to show.
cat >"$work/browser.sh" <<EOF
#!/bin/sh
printf '%s\n' "\$@" >>"$work/browser.log"
EOF
chmod +x "$work/browser.sh"
# The archiver is registered as WinRAR registers itself.
sed 's/$/\r/' >"$drive/setup.reg" <<EOF
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe]
@="C:\\\\Tools\\\\pw_recorder.exe"

[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]
"Browsers"="$work/browser.sh"
EOF
timeout 60 "$wine" regedit /S 'C:\setup.reg' || fail "regedit could not register the archiver"

cli() {
  (cd "$drive/Packetwright" && timeout 60 "$wine" 'C:\Packetwright\packetwright-cli.exe' "$@")
}
settings=$drive/Packetwright/Packetwright.dat

status=0
cli show >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -ne 1 ] ||
  ! grep -qF 'Settings file not found: C:\Packetwright\Packetwright.dat' "$work/err"; then
  fail "before any save, show ended with $status: $(cat "$work/err")"
fi
ok "before any save, the companion looks for the settings beside the program"

# One directory with a rule that leaves files out, and no archiver yet: the
# window offers the one it finds.
cat >"$work/settings.json" <<'EOF'
{"PacketwrightSettings": 1, "OutputPath": "C:\\Archives", "ArchiverExeFileName": "",
 "Rules": [{"Name": "No drafts", "Category": "ecExclude",
            "Extensions": [{"Ext": "*.tmp"}, {"Ext": "~*"}]}],
 "Directories": [{"Path": "C:\\Data\\My Docs", "NeedArchive": true, "RuleName": "No drafts"}]}
EOF
cli import 'C:\Packetwright\Packetwright.dat' <"$work/settings.json" 2>"$work/err" ||
  fail "import: $(cat "$work/err")"
[ -s "$settings" ] || fail "import wrote no settings file"
ok "the companion imported one directory and no archiver"

# ---- The window -----------------------------------------------------------------


# The archiver's working directory and arguments land in C:\record.txt.
# Started from C:\, so that the directory the archiver finds itself in is
# not the window's.
# The clean-up's wineserver -k ends it; its shell's report of that is not ours.
(cd "$drive" && PW_RECORD='C:\record.txt' "$wine" 'C:\Packetwright\Packetwright.exe' \
  >"$work/window.log" 2>&1) 2>/dev/null &
app=$!

until_true 90 shown '^Archiver Found$' ||
  fail "the first start showed no archiver choice ($(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' ',')): $(cat "$work/window.log")"
ok "the first start offers the archivers it found (window \"Archiver Found\")"

main='^Packetwright [0-9.]+$'
# Enter takes the one archiver found, which the dialog has chosen already.
press '^Archiver Found$' Return 10 shown "$main" || fail "Enter did not close the archiver choice"
ok "then the main window: \"$(xdotool getwindowname "$(window "$main")")\""

# F1 in the Options: the help's section of that dialog, from the package.
press "$main" ctrl+o 10 shown '^Options$' || fail "Ctrl+O showed no Options"
press '^Options$' F1 15 test -s "$work/browser.log" || fail "F1 in the Options asked for no help"
asked=$(head -1 "$work/browser.log")
# Wine hands the browser the address with the drive's path in either style.
page=${asked//\\//}
page=${page#file:}
while [ "${page#/}" != "$page" ]; do page=${page#/}; done
[ "$page" = "C:/Packetwright/Packetwright.html#context-12" ] ||
  fail "F1 in the Options asked for $asked, not C:\\Packetwright\\Packetwright.html#context-12"
ok "F1 in the Options opens $asked"
press '^Options$' Escape 10 gone '^Options$' || fail "Escape did not close the Options"

# F2: the settings file, now with the archiver chosen, beside the program.
before=$(cksum <"$settings")
changed() {
  [ "$(cksum <"$settings")" != "$before" ]
}
press "$main" F2 10 changed || fail "F2 did not write $settings"
ok "F2 saved C:\\Packetwright\\Packetwright.dat"

cli show 2>"$work/err" | tr -d '\r' >"$work/show" || fail "show: $(cat "$work/err")"
expect_line() {
  grep -qxF -- "$1" "$work/show" || fail "show has no line '$1':
$(cat "$work/show")"
}
expect_line 'Settings file:      C:\Packetwright\Packetwright.dat'
expect_line 'Archiver:           C:\Tools\pw_recorder.exe'
expect_line 'Parameters:         a -r'
expect_line 'Exclude switch:     -x'
expect_line 'Directories:        1'
expect_line '[1] [x] C:\Data\My Docs'
expect_line '    Rule: No drafts'
ok "the companion reads back the archiver chosen in the window and the directory"

# The call line's words, as the archiver's start-up code splits them (no
# backslash comes before a quote in this line).
call=$(sed -n 's/^ *call //p' "$work/show")
[ -n "$call" ] || fail "show has no call line"
words=()
word=
quoted=0
pending=0
for ((i = 0; i < ${#call}; i++)); do
  c=${call:i:1}
  if [ "$c" = '"' ]; then
    quoted=$((1 - quoted))
    pending=1
  elif [ "$c" = ' ' ] && [ "$quoted" -eq 0 ]; then
    [ "$pending" -eq 0 ] || words+=("$word")
    word=
    pending=0
  else
    word+=$c
    pending=1
  fi
done
[ "$pending" -eq 0 ] || words+=("$word")
[ "${words[0]}" = 'C:\Tools\pw_recorder.exe' ] || fail "the call line names ${words[0]}"
[ "${#words[@]}" -gt 4 ] || fail "the call line is short: $call"

# The window is taken before the run: the archiver's window takes the focus.
press "$main" Down 5 true
import -window "$(window "$main")" -frame "$work/windows-under-wine.png" 2>/dev/null ||
  import -window "$(window "$main")" "$work/windows-under-wine.png" ||
  fail "no picture of the main window"

# F9 runs the selected directory; Down again keeps the one row selected.
record=$drive/record.txt
press "$main" "Down F9" 20 test -s "$record" || fail "F9 started no archiver"
mapfile -t lines < <(head -n "${#words[@]}" "$record")
expected=('C:\Data\My Docs' "${words[@]:1}")
same=$([ "${#lines[@]}" -eq "${#expected[@]}" ] && echo 1 || echo 0)
for i in "${!expected[@]}"; do
  [ "${lines[i]:-}" = "${expected[i]}" ] || same=0
done
if [ "$same" -eq 0 ]; then
  fail "the archiver ran in and with
$(printf '  %s\n' "${lines[@]}")
but the call line asks for
$(printf '  %s\n' "${expected[@]}")"
fi
ok "Run Current started the archiver in C:\\Data\\My Docs with the call line's $((${#words[@]} - 1)) arguments"

echo "Windows package (Wine): $passed passed, 0 failed, in $((SECONDS - started)) s"
succeeded=1
