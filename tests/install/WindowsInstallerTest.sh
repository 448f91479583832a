#!/usr/bin/env bash
# Installs the Windows installer silently into a fresh Wine prefix, for all
# users and then for the current user alone, and uses each installation as
# Windows would: the programs' folder with its uninstaller, the Start-menu
# entry, the entry of "Apps and features" (the Uninstall key) in the
# registry, the installed window program's first start, whose F2 saves the
# settings into %APPDATA%\Packetwright (never beside the installed program),
# where the installed companion reads them; then the silent uninstall that
# the registry names removes every installed file, the entry and the key, and
# leaves the user's settings. The stand-in archiver of the Windows build is
# registered as an installed archiver, as the zip's test does.
#
# With PW_INSTALLER_PICTURES=FOLDER it first goes through the installer's
# pages on the display and leaves a picture of each there.
#
# Usage: WindowsInstallerTest.sh SETUP_EXE WINDOWS_BUILD_DIR WORK_DIR
# Needs Wine, Xvfb, xdotool, openbox and ImageMagick's import (scripts/setup).
set -euo pipefail

usage="SETUP_EXE WINDOWS_BUILD_DIR WORK_DIR"
label="Windows installer (Wine)"
# shellcheck source=tests/install/WineSession.sh
source "$(dirname "$0")/WineSession.sh"
bounded "$@"
shift

setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
build=$(cd "$2" && pwd)
work=$(cd "$3" && pwd)
recorder=$build/tests/pw_recorder.exe

need
[ -f "$setup" ] || fail "no installer at $setup"
[ -f "$recorder" ] || fail "no stand-in archiver at $recorder"

# ---- A fresh prefix, a display and a window manager ---------------------------
fresh_prefix
start_display

mkdir -p "$drive/Tools"
cp "$recorder" "$drive/Tools/pw_recorder.exe"
cp "$setup" "$drive/setup.exe"
sed 's/$/\r/' >"$drive/archiver.reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\WinRAR.exe]
@="C:\\Tools\\pw_recorder.exe"
EOF
timeout 60 "$wine" regedit /S 'C:\archiver.reg' || fail "regedit could not register the archiver"

# The Windows form of a folder the prefix names, and its place on this disk.
windows_folder() {
  timeout 60 "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'
}
unix_path() {
  local path=${1#[Cc]:}
  printf '%s%s' "$drive" "${path//\\//}"
}
appdata=$(windows_folder APPDATA)
[ -n "$appdata" ] && [ "$appdata" != "%APPDATA%" ] || fail "Wine names no APPDATA"
settings="$appdata\\Packetwright\\Packetwright.dat"

# ---- The installer's pages, for the pictures ----------------------------------
if [ -n "${PW_INSTALLER_PICTURES:-}" ]; then
  pictures=$(mkdir -p "$PW_INSTALLER_PICTURES" && cd "$PW_INSTALLER_PICTURES" && pwd)
  # Each page adds its own words to the caption.
  title='^Packetwright 1\.0 Setup'
  (cd "$drive" && "$wine" 'C:\setup.exe' >"$work/setup-pages.log" 2>&1) &
  until_true 60 shown "$title" || fail "the installer showed no window"
  picture() {
    local id
    sleep 1
    id=$(window "$title")
    [ -n "$id" ] || fail "no installer window for the $1 page"
    import -window "$id" -frame "$pictures/installer-$1.png" 2>/dev/null ||
      import -window "$id" "$pictures/installer-$1.png" || fail "no picture of the $1 page"
  }
  # Alt+N is each page's Next button, Alt+I the folder page's Install.
  picture welcome
  press "$title" alt+n 3 true || fail "no welcome page to leave"
  picture users
  press "$title" alt+n 3 true || fail "no page of the users to leave"
  picture folder
  press "$title" alt+i 3 true || fail "no folder page to leave"
  sleep 8
  picture finished
  press "$title" alt+f 3 true || true
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  ok "pictures of the installer's pages in $pictures"
fi

# ---- One installation, used and removed --------------------------------------
# installed MODE ROOT FOLDER START_MENU: MODE is AllUsers or CurrentUser, ROOT
# the registry root that keeps its entry, FOLDER the programs' folder and
# START_MENU the folder of the Start-menu entry, both in Windows' form.
installed() {
  local mode=$1 key="$2\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Packetwright"
  local folder=$3 menu=$4 programs
  programs=$(unix_path "$folder")
  timeout 120 "$wine" 'C:\setup.exe' /S "/$mode" >"$work/setup.log" 2>&1 ||
    fail "the silent install ($mode) failed: $(cat "$work/setup.log")"
  timeout 60 "$wineserver" -w || fail "the installer's processes did not end"
  for f in Packetwright.exe packetwright-cli.exe Uninstall.exe Packetwright.html \
    Qt6Widgets.dll platforms/qwindows.dll Packetwright-help; do
    [ -e "$programs/$f" ] || fail "the installation ($mode) lacks $folder\\$f"
  done
  [ ! -e "$programs/README.txt" ] || fail "the installation holds the zip's README.txt"
  find "$programs" | sort >"$work/installed.list"
  ok "the silent install for $mode put the programs into $folder"

  local link
  link=$(unix_path "$menu")/Packetwright.lnk
  [ -f "$link" ] || fail "no Start-menu entry at $menu\\Packetwright.lnk"
  # A shortcut keeps its target's path in UTF-16 or in the code page.
  strings -el "$link" | grep -qiF 'Packetwright.exe' || strings "$link" | grep -qiF 'Packetwright.exe' ||
    fail "the Start-menu entry does not start Packetwright.exe"
  ok "the Start-menu entry $menu\\Packetwright.lnk"

  timeout 60 "$wine" reg query "$key" >"$work/key" 2>&1 || fail "no uninstall key $key: $(cat "$work/key")"
  tr -d '\r' <"$work/key" >"$work/key.txt"
  value() {
    sed -n "s/^ *$1 *REG_[A-Z]* *//p" "$work/key.txt"
  }
  [ "$(value DisplayName)" = Packetwright ] || fail "DisplayName: $(cat "$work/key.txt")"
  [ "$(value DisplayVersion)" = 1.0 ] || fail "DisplayVersion: $(value DisplayVersion)"
  [ "$(value DisplayIcon)" = "$folder\\Packetwright.exe,0" ] || fail "DisplayIcon: $(value DisplayIcon)"
  [ "$(value UninstallString)" = "\"$folder\\Uninstall.exe\" /$mode" ] ||
    fail "UninstallString: $(value UninstallString)"
  quiet=$(value QuietUninstallString)
  [ "$quiet" = "\"$folder\\Uninstall.exe\" /$mode /S" ] || fail "QuietUninstallString: $quiet"
  ok "\"Apps and features\" lists Packetwright 1.0 in $key"

  if [ "$mode" = AllUsers ]; then
    # The first start offers the archiver it finds; F2 saves the settings.
    (cd "$drive" && "$wine" "$folder\\Packetwright.exe" >"$work/window.log" 2>&1) 2>/dev/null &
    local app=$!
    until_true 90 shown '^Archiver Found$' ||
      fail "the installed program's first start showed no archiver choice: $(cat "$work/window.log")"
    main='^Packetwright [0-9.]+$'
    press '^Archiver Found$' Return 10 shown "$main" || fail "Enter did not close the archiver choice"
    local file
    file=$(unix_path "$settings")
    press "$main" F2 10 test -s "$file" || fail "F2 did not write $settings"
    [ ! -e "$programs/Packetwright.dat" ] || fail "F2 wrote a settings file beside the installed program"
    ok "the installed program's F2 saved $settings"
    "$wineserver" -k 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    (cd "$drive" && timeout 60 "$wine" "$folder\\packetwright-cli.exe" show) 2>"$work/err" |
      tr -d '\r' >"$work/show" || fail "the installed companion's show: $(cat "$work/err")"
    grep -qxF "Settings file:      $settings" "$work/show" ||
      fail "the installed companion reads $(head -1 "$work/show")"
    ok "the installed companion reads the same settings"
  fi

  # The uninstall as "Apps and features" starts it, silently. The uninstaller
  # goes on from a copy of itself, so the prefix's processes are waited for.
  local words
  eval "words=($quiet)"
  timeout 120 "$wine" "${words[@]}" >"$work/uninstall.log" 2>&1 ||
    fail "the silent uninstall ($mode) failed: $(cat "$work/uninstall.log")"
  timeout 60 "$wineserver" -w || fail "the uninstaller's processes did not end"
  until_true 30 test ! -e "$programs" || fail "the uninstall left $(find "$programs" | head -5)"
  [ ! -e "$link" ] || fail "the uninstall left the Start-menu entry"
  if timeout 60 "$wine" reg query "$key" >/dev/null 2>&1; then fail "the uninstall left $key"; fi
  ok "the silent uninstall for $mode removed the programs, the entry and the key"
}

installed AllUsers HKLM 'C:\Program Files\Packetwright' \
  'C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
[ -s "$(unix_path "$settings")" ] || fail "the uninstall took the user's settings $settings"
ok "the user's settings stay: $settings"
installed CurrentUser HKCU "$(windows_folder LOCALAPPDATA)\\Programs\\Packetwright" \
  "$appdata\\Microsoft\\Windows\\Start Menu\\Programs"
[ -s "$(unix_path "$settings")" ] || fail "the uninstall took the user's settings $settings"

echo "Windows installer (Wine): $passed passed, 0 failed, in $((SECONDS - started)) s"
succeeded=1
