#!/usr/bin/env bash
# The desktop program end to end, as a new user takes it: the real vexlo
# process on a virtual X server, driven only by key presses and mouse clicks
# (xdotool), against the INN fixture; results are read from the files it writes.
#
# Journey 1: first start in an empty directory opens the settings sheet; the
# server and 4 connections are entered; a group is added with the subfolder
# box, scanned and opened; three binaries are got and decoded on channels 1-3;
# the queue runs to the end; quit; every file matches its original; a second
# start finds the groups, queue, window size, maximized state, dock state and
# column widths as they were left.
# Journey 2: a download stopped in the middle with Stop Now, quit, restart,
# start again: the files still end identical.
#
# Usage: gui_journey.sh VEXLO VEXLO_CLI SEED_TOOL     ($VEXLO_INN_DIR: the fixture)
set -euo pipefail
vexlo=$1 cli=$2
export VEXLO_SEED=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
inn=${VEXLO_INN_DIR:?VEXLO_INN_DIR names the INN fixture}
work=$(mktemp -d /tmp/vexlo-e2e.XXXXXX)
app=$work/app
shots=$work/shots
mkdir -p "$app" "$work/dl" "$work/originals" "$shots"
port=$(cat "$inn/anon.port")
group=alt.binaries.e2e.t$$

fail() {
    echo "FAIL: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -window root "$shots/failure.png" 2>/dev/null &&
        echo "  screen: $shots/failure.png" >&2
    exit 1
}
cleanup() {
    pkill -P $$ -f "$vexlo" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    [ "${keep:-0}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# ------------------------------------------------------------ the display
for n in $(seq 40 99); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# ------------------------------------------------------------ helpers
# Waits until the command succeeds (up to $2 seconds, default 20).
wait_for() {
    local what=$1 seconds=${2:-20}
    for _ in $(seq $((seconds * 10))); do eval "$what" && return 0; sleep 0.1; done
    fail "timed out waiting for: $what"
}
# The window whose caption contains $1, focused.
focus_window() {
    local wid
    wait_for "xdotool search --name '$1' >/dev/null"
    wid=$(xdotool search --name "$1" | tail -1)
    xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
    echo "$wid"
}
keys() { xdotool key --delay 60 "$@"; sleep 0.2; }
# Opens a menu of the main window with a click on its title, then presses keys
# in it. ("&Archivo" and "&Ayuda" share their mnemonic, so Alt+A alternates
# between them; a click is unambiguous.) The window is focused first: without a
# window manager a closed dialog leaves the keyboard focus nowhere.
ARCHIVO=32 GRUPO=121
menu() {
    local main
    main=$(focus_window "No Group Open|$group")
    xdotool mousemove --window "$main" "$1" 9 click 1
    sleep 0.3
    shift
    keys "$@"
}
type_text() { xdotool type --delay 15 "$1"; sleep 0.1; }
start_vexlo() {
    (cd "$app" && exec "$vexlo" >>"$work/vexlo.log" 2>&1) &
    vexlo_pid=$!
    wait_for "xdotool search --name 'Vexlo|No Group Open|$group' >/dev/null"
    sleep 0.5
}
# Stops processing: Archivo > Parar Descarga (Elegantemente), the immediate stop.
stop_now() { menu $ARCHIVO p; sleep 0.5; }
# Quits through the File menu ("Salir" is its last item).
quit_vexlo() {
    menu $ARCHIVO Up Return
    wait_for "! kill -0 $vexlo_pid 2>/dev/null" 30
}
profile() { tr -d '\r' <"$app/DATA/_SETUP.INI" | grep -E "^$1=" | head -1 | cut -d= -f2-; }
section() { tr -d '\r' <"$app/DATA/_SETUP.INI" | sed -n "/^\\[$1\\]/,/^\\[/p" | grep -v '^\['; }

# ------------------------------------------------------------ the posts
"$root/scripts/inn-test-server" newgroup --dir "$inn" "$group" >/dev/null
for i in 1 2 3; do
    head -c $((150000 + i * 40000)) /dev/urandom >"$work/originals/file$i.bin"
    "$root/scripts/inn-test-server" seed --dir "$inn" --instance anon --group "$group" \
        --binary "$work/originals/file$i.bin" --parts $((2 + i)) \
        --poster "E2E Poster <e2e@example.com>" >/dev/null
done

# ============================================================ journey 1
mkdir -p "$app/DATA"
printf '[Settings]\r\nLVCWQ=60:200:64:75:50:300:150:200\r\n' >"$app/DATA/_SETUP.INI"
start_vexlo
# A first start opens the settings sheet: server, port, 4 connections, OK.
focus_window "Vexlo Program Settings" >/dev/null
type_text 127.0.0.1
keys Tab ctrl+a
type_text "$port"
keys Tab 4 Return
wait_for "[ \"\$(profile Conn)\" = 4 ]"
[ "$(profile Server)" = 127.0.0.1 ] || fail "server not stored"

# Add the group with the subfolder box: Grupo > Añadir Nuevo Grupo.
menu $GRUPO g
sleep 0.5
type_text "$group"
keys Tab
type_text "$work/dl"
keys Tab Tab space Return
sleep 0.3

# Scan every group, then start: Grupo > Escanear Todos, Archivo > Iniciar Descarga.
menu $GRUPO a
menu $ARCHIVO d
wait_for "[ -s '$app/DATA/$group.BIN' ]" 60
sleep 1

# Open the group: a double click on its row in the group bar (the window's
# layout is fixed by its default size and the installed fonts).
main=$(focus_window "No Group Open")
xdotool mousemove --window "$main" 60 183 click --repeat 2 --delay 80 1
wait_for "xdotool search --name '$group' >/dev/null" 20
# The header view: click the first binary, then select them all (Ctrl+A).
xdotool mousemove --window "$main" 300 170 click 1
keys ctrl+a
# Archivo > Obtener Y Decodificar: the dialog asks for folder and channels.
menu $ARCHIVO o Return
focus_window "Obtener Y Decodificar" >/dev/null
mkdir -p "$work/dl/chosen"
keys ctrl+a
type_text "$work/dl/chosen"
keys alt+2
keys alt+3
keys Return
# The agent runs since the scan: the three tasks run on channels 1-3.
queue_done() {
    [ "$("$cli" -C "$app" queue list 2>/dev/null | grep -c ' OK ')" -ge "$1" ]
}
for i in 1 2 3; do
    wait_for "cmp -s '$work/originals/file$i.bin' '$work/dl/chosen/file$i.bin'" 60
done
sleep 1
stop_now
# The user makes the window smaller before quitting.
xdotool windowsize "$(focus_window "$group")" 1000 660
sleep 0.5
quit_vexlo
queue_done 4 || fail "the queue does not end with OK on every row: $("$cli" -C "$app" queue list)"
[ "$("$cli" -C "$app" queue list | grep DECODE | grep -c ' 1/2/3 ')" = 3 ] ||
    fail "the downloads did not get channels 1-3"
echo "journey 1: three files decoded and identical, every row OK"

# A second start finds everything as it was left: closing again without a
# change writes the same groups, queue and window state.
snapshot() {
    for key in Options LVCWH LVCWG LVCWQ; do echo "$key=$(profile "$key")"; done
    for s in GroupBar QueueBar GroupBar-SCBar-123 QueueBar-SCBar-125; do section "$s"; done
    md5sum <"$app/DATA/_GROUPS.DAT"
    "$cli" -C "$app" queue list 2>/dev/null
}
snapshot >"$work/first"
grep -q '^FrameSize=1000,660' <(section GroupBar) || fail "the window's size was not saved"
grep -q '^LVCWQ=60:200:64' "$work/first" || fail "the queue's column widths were not kept"
[ -n "$(section GroupBar)" ] && [ -n "$(section QueueBar-SCBar-125)" ] || fail "no window state saved"
start_vexlo
sleep 1
quit_vexlo
snapshot >"$work/second"
diff "$work/first" "$work/second" >&2 || fail "the second start did not restore the window as it was"
grep -q "^$group" <("$cli" -C "$app" group list) || fail "the group is gone"
echo "journey 1: groups, queue, window size, maximized state, docks and widths restored"

# ============================================================ journey 2
# Slow channels (the speed limit) so Stop Now meets a download in the middle.
"$cli" -C "$app" set OPT_LIMIT_SPEED on ChanMaxBPS 20 >/dev/null
"$cli" -C "$app" queue clear >/dev/null
"$cli" -C "$app" get "$group" --all --dir "$work/dl/second" --channels 1,2,3 >/dev/null
start_vexlo
menu $ARCHIVO d
wait_for "[ -s '$work/dl/second/file3.bin' ]" 60
stop_now
cmp -s "$work/originals/file3.bin" "$work/dl/second/file3.bin" && fail "the download was not stopped in the middle"
quit_vexlo
"$cli" -C "$app" set OPT_LIMIT_SPEED off >/dev/null
start_vexlo
menu $ARCHIVO d
for i in 1 2 3; do
    wait_for "cmp -s '$work/originals/file$i.bin' '$work/dl/second/file$i.bin'" 60
done
sleep 1
stop_now
quit_vexlo
echo "journey 2: stopped in the middle, restarted, files identical"
echo "1 passed, 0 failed"
