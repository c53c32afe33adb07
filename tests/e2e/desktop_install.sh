#!/usr/bin/env bash
# The desktop integration: `cmake --install` into a temporary prefix puts the
# program, the command-line program, the desktop entry and the icon where a
# Linux desktop finds them, and the installed program starts from the desktop
# entry's command line, in the per-user application directory, on a virtual X
# server (its first start opens the settings sheet).
#
# Usage: desktop_install.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/vexlo-install.XXXXXX)
trap 'pkill -P $$ 2>/dev/null || true; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/vexlo bin/vexlo-cli share/applications/vexlo.desktop \
         share/icons/hicolor/scalable/apps/vexlo.svg; do
    [ -s "$work/prefix/$f" ] || fail "not installed: $f"
done
exec_line=$(sed -n 's/^Exec=//p' "$work/prefix/share/applications/vexlo.desktop")
[ "$(sed -n 's/^Icon=//p' "$work/prefix/share/applications/vexlo.desktop")" = vexlo ] ||
    fail "the desktop entry names another icon"

for n in $(seq 40 99); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display QT_QPA_PLATFORM=xcb HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The desktop starts the entry's command from the user's home directory.
(cd "$HOME" && PATH=$work/prefix/bin:$PATH exec $exec_line >"$work/vexlo.log" 2>&1) &
for _ in $(seq 200); do
    xdotool search --name "Vexlo Program Settings" >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool search --name "Vexlo Program Settings" >/dev/null || fail "no settings sheet on first start"
[ -f "$XDG_DATA_HOME/vexlo/DATA/_SETUP.INI" ] || [ -d "$XDG_DATA_HOME/vexlo/DATA" ] ||
    fail "the per-user directory was not created"
[ ! -e "$HOME/DATA" ] || fail "the program worked in the home directory"
echo "installed: 4 files; the desktop entry's command started in $XDG_DATA_HOME/vexlo"
echo "1 passed, 0 failed"
