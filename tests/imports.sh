#!/usr/bin/env bash
# Checks a built Tavrel.exe or tavrelc.exe: it imports only Windows system
# DLLs, it is marked terminal-server aware, the i686 build asks for subsystem
# 5.01 and imports nothing Windows XP SP3 lacks, and the console companion
# runs as invoked, never asking for elevation.
# usage: imports.sh OBJDUMP ARCH EXE
set -uo pipefail
objdump=$1 arch=$2 exe=$3
dump=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
fail=0
bad() { echo "FAIL: $*"; fail=1; }

major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$dump")
minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$dump")
echo "subsystem version: $major.$minor"
if [ "$arch" = i686 ] && { [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 1 ]; }; }; then
  bad "subsystem $major.$minor is above 5.01: Windows XP refuses to start it"
fi

# Without the flag a Remote Desktop server hands the program a per-user
# Windows folder the user can write to, and explorer.exe is started from it.
flags=$(awk '/^DllCharacteristics/ {print $2}' <<<"$dump")
echo "DllCharacteristics: ${flags:-missing}"
if ! [[ $flags =~ ^[0-9a-fA-F]+$ ]]; then
  bad "no DllCharacteristics found; objdump output changed?"
elif (( (16#$flags & 0x8000) == 0 )); then
  bad "not terminal-server aware: IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE (0x8000) is not set in DllCharacteristics $flags; link with --tsaware"
fi

if [ "$(awk '/^Subsystem/ {print $2}' <<<"$dump")" = 00000003 ] &&
  ! grep -aq 'requestedExecutionLevel level="asInvoker"' "$exe"; then
  bad "a console program whose manifest does not ask for asInvoker: a prompt would not get its output"
fi

# "DLL Name: X" opens a block of "vma  hint  name" lines.
imports=$(awk '/DLL Name:/ {dll=tolower($3); print dll; next}
               dll && NF==3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print dll ":" $3}
               /^$/ {dll=""}' <<<"$dump" | sort -u)
dlls=$(grep -v : <<<"$imports")
[ -n "$dlls" ] || bad "no imports found; objdump output changed?"
echo "imports from: $(tr '\n' ' ' <<<"$dlls")"

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|winmm|msvcrt|shlwapi|uuid|version|msimg32)\.dll$'
while read -r dll; do
  if [ "$dll" = uxtheme.dll ]; then
    bad "links uxtheme.dll at load time; load the theme library at run time instead"
  elif ! [[ $dll =~ $system_dlls ]]; then
    bad "imports $dll, which is not a Windows system DLL"
  fi
done <<<"$dlls"

if [ "$arch" = i686 ]; then
  # Functions that arrived after XP SP3; Vista-or-later calls must be looked
  # up at run time.
  newcomers='GetTickCount64|(Initialize|Sleep|Wake)ConditionVariable|WakeAllConditionVariable'
  newcomers+='|[A-Za-z]*SRWLock[A-Za-z]*|InitOnce[A-Za-z]*|Fls(Alloc|Free|GetValue|SetValue)'
  newcomers+='|(GetLocaleInfo|GetDateFormat|GetTimeFormat|CompareString|LCMapString|GetUserDefaultLocaleName|GetNumberFormat|GetCurrencyFormat|GetCalendarInfo|EnumSystemLocales|IsValidLocaleName|LocaleNameToLCID|LCIDToLocaleName|GetSystemDefaultLocaleName|ResolveLocaleName|FindNLSStringEx|GetStringScriptsEx)Ex'
  newcomers+='|RegGetValue[AW]?|RegDeleteTree[AW]?|RegCopyTree[AW]?|RegDeleteKeyEx[AW]?|RegSetKeyValue[AW]?'
  newcomers+='|GetFileInformationByHandleEx|SetFileInformationByHandle|GetSystemTimePreciseAsFileTime'
  newcomers+='|CreateSymbolicLink[AW]?|GetFinalPathNameByHandle[AW]?|QueryFullProcessImageName[AW]?'
  newcomers+='|CancelIoEx|CreateEventEx[AW]?|CreateMutexEx[AW]?|CreateSemaphoreEx[AW]?|GetErrorMode'
  newcomers+='|InitializeCriticalSectionEx|SetThreadStackGuarantee|GetProductInfo|Wow64DisableWow64FsRedirection|Wow64RevertWow64FsRedirection'
  while IFS=: read -r dll fn; do
    [ -n "$fn" ] || continue
    [[ $fn =~ ^($newcomers)$ ]] && bad "imports $dll!$fn, which Windows XP SP3 lacks"
  done <<<"$imports"
fi

count=$(grep -c : <<<"$imports")
[ "$count" -gt 0 ] || bad "no imported functions found; objdump output changed?"
[ $fail -eq 0 ] && echo "ok: $count imports, all present on the target" || exit 1
