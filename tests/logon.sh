#!/usr/bin/env bash
# A logon as Wine makes one: wineserver ends, then wineboot starts the Run
# keys' entries and the user's Startup folder as a logon does. After "Power
# Bootup" only Windows' own entry starts; after "Normal Bootup" every entry
# starts again. Each starts the stand-in, which writes down each start: one
# entry in system32 (Windows' own), one in a folder of its own, and a script
# in the Startup folder. The x86_64 program, in a prefix of its own.
# Run by scripts/test; prints "PASS name" or "FAIL name" per check.
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"

dir=$TAVREL_SANDBOXES/logon-win64
mkdir -p "$dir"
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    start_xvfb 1024x768x24 || die "No screen for the logon"
    trap 'kill "$XVFB_PID" 2>/dev/null' EXIT
fi
(sandbox_prepare win64 "$dir" "$TAVREL_BUILD/x86_64/standin.exe") >/dev/null 2>&1 ||
    { echo "FAIL logon: sandbox prefix"; exit 0; }
sandbox_env win64 "$dir"
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
agent=$WINEPREFIX/drive_c/tavrel-logon/agent.exe
mkdir -p "${agent%/*}"
cp "$TAVREL_BUILD/x86_64/standin.exe" "$agent"
log=$dir/starts.log
export TAVREL_STANDIN_LOG="Z:${log//\//\\}"

verdict() { if [ "$2" -eq 0 ]; then echo "PASS logon: $1"; else echo "FAIL logon: $1${3:+ ($3)}"; fi; }
# Logs on, and prints the arguments of what started, sorted, one a line.
logon() {
    rm -f "$log"
    wineserver -k 2>/dev/null
    timeout 120 wine wineboot >/dev/null 2>&1
    # The entries start apart from wineboot: wait until all three, or 30 s.
    for _ in $(seq 150); do [ "$(cat "$log" 2>/dev/null | grep -c .)" -ge 3 ] && break; sleep 0.2; done
    tr -d '\r' <"$log" 2>/dev/null | cut -f2 | sed 's/.* //' | sort | tr '\n' ' '
}
# Its exit code as the shell sees it: the low 8 bits (3010 is 194).
tavrelc() {
    wine "$TAVREL_BUILD/x86_64/tavrelc.exe" "$@" >/dev/null 2>&1
    echo $?
}
restart_pending=$((3010 % 256))

wine reg delete "$run" /f >/dev/null 2>&1
wine reg delete "${run}Disabled" /f >/dev/null 2>&1
wine reg add "$run" /v Input /d 'C:\windows\system32\cleanmgr.exe own-entry' /f >/dev/null 2>&1
wine reg add "$run" /v Agent /d '"C:\tavrel-logon\agent.exe" other-entry' /f >/dev/null 2>&1
startup="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/StartUp"
mkdir -p "$startup"
printf '@"C:\\tavrel-logon\\agent.exe" folder-item\r\n' >"$startup/agent.bat"

got=$(logon)
[ "$got" = "folder-item other-entry own-entry " ]
verdict "every entry starts before the switch" $? "started: $got"
[ "$(tavrelc /PowerBootup /NoRestart)" = "$restart_pending" ]
verdict "Power Bootup parks all but Windows' own, and answers 3010" $?
[ ! -e "$startup/agent.bat" ]
verdict "the Startup folder's script is parked" $?
got=$(logon)
[ "$got" = "own-entry " ]
verdict "after Power Bootup only Windows' own entry starts" $? "started: $got"
[ "$(tavrelc /NormalBootup /NoRestart)" = "$restart_pending" ]
verdict "Normal Bootup brings the parked entry back" $?
got=$(logon)
[ "$got" = "folder-item other-entry own-entry " ]
verdict "after Normal Bootup every entry starts again" $? "started: $got"

wine reg delete "$run" /f >/dev/null 2>&1
rm -f "$startup/agent.bat"
wineserver -k 2>/dev/null
exit 0
