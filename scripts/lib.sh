# Shared by scripts/run, scripts/test and scripts/wine-exec: installing what is
# missing, the Wine sandboxes, and the virtual display.
# shellcheck shell=bash

TAVREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TAVREL_BUILD=$TAVREL_ROOT/build
TAVREL_SANDBOXES=$TAVREL_BUILD/sandbox

say() { printf '%s\n' "$*" >&2; }

# Installs, from Debian's packages, whatever the build and tests need. Each
# check looks at the file itself: these scripts define shell functions named
# wine and wineserver, which "command -v" would find instead.
ensure_tools() {
    # Once per run: the scripts scripts/test starts find what it installed,
    # and a wine32 the mirror cannot give is not asked for again each time.
    [ -z "${TAVREL_TOOLS_CHECKED:-}" ] || return 0
    export TAVREL_TOOLS_CHECKED=1
    local missing=()
    need() { [ -x "$1" ] || missing+=("$2"); }
    need /usr/bin/cmake cmake
    need /usr/bin/ninja ninja-build
    need /usr/bin/i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32
    need /usr/bin/x86_64-w64-mingw32-g++-win32 g++-mingw-w64-x86-64-win32
    # wine32 and wine64 only recommend the package that holds these two.
    if [ ! -x /usr/bin/wine ] || [ ! -x /usr/bin/wineserver ]; then missing+=(wine); fi
    need /usr/lib/wine/wine64 wine64
    [ -d /usr/share/wine/fonts ] || missing+=(fonts-wine)
    need /usr/bin/Xvfb xvfb
    need /usr/bin/xauth xauth
    need /usr/bin/xdpyinfo x11-utils
    need /usr/bin/import imagemagick
    need /usr/bin/flock util-linux
    need /usr/bin/wixl wixl
    need /usr/bin/msiinfo msitools
    need /usr/bin/zip zip
    need /usr/bin/unzip unzip
    need /usr/bin/xmllint libxml2-utils
    need /usr/bin/osslsigncode osslsigncode
    need /usr/bin/openssl openssl
    [ -f /usr/lib/python3/dist-packages/yaml/__init__.py ] || missing+=(python3-yaml)
    [ -f /usr/lib/python3/dist-packages/jsonschema/__init__.py ] || missing+=(python3-jsonschema)
    [ -f /usr/include/doctest/doctest.h ] || missing+=(doctest-dev)
    local wine32=
    [ -x /usr/lib/wine/wine ] || wine32=wine32:i386
    [ ${#missing[@]} -eq 0 ] && [ -z "$wine32" ] && return 0

    local all=("${missing[@]}" $wine32)
    say "Installing: ${all[*]}"
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if [ -n "$wine32" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    # One index that fails (a mirror caught mid-sync) need not stop the
    # install: apt keeps the lists it has, and the install says what it lacks.
    $sudo apt-get update -qq || say "apt-get update did not fetch every index; installing from the lists it has"
    apt_install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
    if [ ${#missing[@]} -gt 0 ] && ! apt_install "${missing[@]}"; then
        die "Could not install ${missing[*]} with apt-get (see above)"
    fi
    # The i386 half needs i386 libraries of exactly the versions installed, so
    # a mirror's half-synced i386 index breaks it alone; the x86_64 leg goes on.
    if [ -n "$wine32" ] && ! apt_install "$wine32"; then
        say "Could not install $wine32 with apt-get (see above): the i686 programs are built but not run"
    fi
}

die() {
    say "$*"
    exit 1
}

# Whether this machine runs 32-bit x86 code: runs a 93-byte i386 Linux program
# that only exits. On failure the variable named by $1 says why.
probe_32bit() {
    local probe=$TAVREL_BUILD/.i386-probe.$$ out rc=0
    mkdir -p "$TAVREL_BUILD"
    # ELF header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80.
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80' >"$probe"
    printf '\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
    printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
    chmod +x "$probe"
    out=$("$probe" 2>&1) || rc=$?
    rm -f "$probe"
    out=${out##*: }
    [ "$rc" -eq 0 ] || printf -v "$1" '%s' "${out:-the test program failed}"
    return "$rc"
}

# Whether this machine runs 32-bit x86 code, found once by running a 93-byte
# i386 Linux program that only exits. A kernel without IA32 support refuses
# it ("Exec format error"), and then Wine's 32-bit loader cannot start either,
# nor can any i686 Windows program, even inside a 64-bit prefix.
# TAVREL_NO_32BIT=1 answers "no" without asking, to prove the fallback.
# Sets and exports TAVREL_32BIT=yes|no, and chooses Wine's loader (see wine()).
detect_32bit() {
    if [ -z "${TAVREL_32BIT:-}" ]; then
        local why
        if [ "${TAVREL_NO_32BIT:-}" = 1 ]; then
            TAVREL_32BIT=no why="TAVREL_NO_32BIT=1 says so"
        elif ! probe_32bit why; then
            TAVREL_32BIT=no
        elif [ ! -x /usr/lib/wine/wine ]; then
            TAVREL_32BIT=no why="it runs here, but Wine's 32-bit half, wine32:i386, is not installed"
        else
            TAVREL_32BIT=yes
        fi
        export TAVREL_32BIT
        if [ "$TAVREL_32BIT" = yes ]; then
            say "32-bit x86 code runs on this machine: the i686 and x86_64 programs both run under Wine."
        else
            say "No 32-bit x86 code under Wine here ($why): only the x86_64 program runs, under Wine's 64-bit loader; the i686 one is built but not run."
        fi
    fi
    # Debian's wine wrapper picks the 32-bit loader whenever wine32 is
    # installed, so without 32-bit code the 64-bit one is named outright.
    TAVREL_WINESERVER=/usr/bin/wineserver
    if [ "$TAVREL_32BIT" = yes ]; then
        TAVREL_WINE=/usr/bin/wine
    else
        TAVREL_WINE=/usr/lib/wine/wine64
        [ -x "$TAVREL_WINE" ] || die "Wine's 64-bit loader $TAVREL_WINE is missing: install wine64"
        export WINELOADER=$TAVREL_WINE
    fi
    local f
    for f in "$TAVREL_WINE" "$TAVREL_WINESERVER"; do
        [ -x "$f" ] || die "Wine is not installed: $f is missing (Debian's package wine)"
    done
}

# Every Wine program the scripts start goes through the loader chosen above,
# and every wineserver call through the one file.
wine() { "$TAVREL_WINE" "$@"; }
wineserver() { "$TAVREL_WINESERVER" "$@"; }

# Pins the calling shell, and so everything it starts from then on, to the
# first CPU it may use. On these machines a wake-up across CPUs costs about
# 55 us against 2 us on the same one, and every wineserver round trip pays
# it: Wine's work runs faster, and its timings repeat, on one CPU. Call it
# after compiling, which keeps every core. Sets TAVREL_PINNED to the CPU, or
# to nothing where taskset is missing or fails, and says so.
pin_to_one_cpu() {
    local list cpu
    TAVREL_PINNED=
    if [ ! -x /usr/bin/taskset ]; then
        say "taskset is missing (Debian's package util-linux): Wine runs on every CPU"
        return 0
    fi
    if list=$(/usr/bin/taskset -c -p "$BASHPID" 2>&1) && cpu=${list##*: } && cpu=${cpu%%[,-]*} &&
        /usr/bin/taskset -c -p "$cpu" "$BASHPID" >/dev/null 2>&1; then
        TAVREL_PINNED=$cpu
        say "Wine's work runs on CPU $cpu alone"
    else
        say "taskset could not pin this run to one CPU (${list##*: }): Wine runs on every CPU"
    fi
}

# The architecture whose programs run here: i686 where 32-bit code runs.
run_arch() { if [ "$TAVREL_32BIT" = yes ]; then echo i686; else echo x86_64; fi; }

# Configures and builds one architecture: i686 or x86_64. Further arguments
# go to the build, e.g. --target Tavrel.
build_arch() {
    local arch=$1
    if [ ! -f "$TAVREL_BUILD/$arch/build.ninja" ]; then
        cmake --preset "$arch" -S "$TAVREL_ROOT" >/dev/null
    fi
    cmake --build "$TAVREL_BUILD/$arch" "${@:2}"
}

# Points Wine and the XDG folders into one sandbox. Under Wine the recycle
# bin is $XDG_DATA_HOME/Trash, so HOME must never be the user's.
sandbox_env() {
    local winearch=$1 dir
    dir=$(realpath -m "$2")
    [ -n "${TAVREL_WINE:-}" ] || detect_32bit
    if [ "$winearch" = win32 ] && [ "$TAVREL_32BIT" = no ]; then
        die "The $winearch prefix in $dir needs 32-bit x86 code, which this machine cannot run"
    fi
    export WINEARCH=$winearch WINEPREFIX=$dir/prefix HOME=$dir/home
    export XDG_DATA_HOME=$dir/home/.local/share XDG_CONFIG_HOME=$dir/home/.config
    export XDG_CACHE_HOME=$dir/home/.cache
    export WINEDEBUG=${TAVREL_WINEDEBUG:--all}
    # No Gecko, Mono or menu entries. The stand-ins replace the programs Tavrel
    # starts: shutdown.exe and cleanmgr.exe by name, explorer by its full path,
    # so that the desktop's own explorer in system32 stays Wine's.
    export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe=d;c:\windows\explorer.exe,shutdown.exe,cleanmgr.exe=n'
}

# Raise this when the prefix set-up below changes: older prefixes are made anew.
TAVREL_SANDBOX_VERSION=2
# What a prefix's .ready holds: a 64-bit prefix made without 32-bit code has
# no 32-bit half, and Wine's 32-bit loader cannot use it, so it is made anew
# once 32-bit code runs.
sandbox_stamp() { echo "$TAVREL_SANDBOX_VERSION 32-bit:$TAVREL_32BIT"; }

# One step of making a prefix; on failure the half-made prefix goes.
# Output goes to a file: Wine's background processes would hold a pipe open.
prefix_step() {
    local dir=$1 rc=0 last
    shift
    "$@" >"$dir/prefix.log" 2>&1 </dev/null || rc=$?
    last=$(tail -n 1 "$dir/prefix.log")
    [ "$rc" -eq 0 ] || prefix_fail "$dir" "$*" "status $rc${last:+: $last}"
}
prefix_fail() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$1/.ready"
    die "Could not create the Wine prefix in $1: '$2' failed ($3)"
}

# Creates the sandbox's prefix on first use and installs the stand-ins.
# usage: sandbox_prepare win32|win64 DIR STANDIN.EXE
sandbox_prepare() {
    local winearch=$1 dir=$2 standin=$3
    sandbox_env "$winearch" "$dir"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    exec {lock}>"$dir/.lock"
    flock "$lock"
    if [ "$(cat "$dir/.ready" 2>/dev/null)" != "$(sandbox_stamp)" ]; then
        say "Creating the $winearch sandbox prefix in $dir (once)..."
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX" "$dir/.ready"
        # A step that fails leaves no half-made prefix behind: the next run
        # starts afresh.
        prefix_step "$dir" wine wineboot -i
        # Debian's Wine does not find its own fonts (Marlett draws the caption
        # buttons); a Windows system keeps them in its Fonts folder.
        prefix_step "$dir" cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
        # Every program runs in one virtual desktop, with its own taskbar and
        # notification area.
        prefix_step "$dir" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
        prefix_step "$dir" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
        prefix_step "$dir" wine reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' \
            /v EnableShell /t REG_DWORD /d 1 /f
        prefix_step "$dir" wineserver -w
        # wineserver writes the registry out when it ends.
        [ -f "$WINEPREFIX/system.reg" ] || prefix_fail "$dir" "wine wineboot -i" "it made no system.reg"
        sandbox_stamp >"$dir/.ready"
    fi
    local windows=$WINEPREFIX/drive_c/windows target
    for target in "$windows/explorer.exe" "$windows/system32/shutdown.exe" \
        "$windows/system32/cleanmgr.exe"; do
        cmp -s "$standin" "$target" || cp "$standin" "$target"
    done
    # A 32-bit program in a 64-bit prefix finds system32 redirected to
    # syswow64: the 32-bit stand-in goes there, or Wine's own shutdown.exe
    # would end the session.
    local standin32=$TAVREL_BUILD/i686/standin.exe
    if [ "$winearch" = win64 ] && [ -f "$standin32" ]; then
        for target in "$windows/syswow64/shutdown.exe" "$windows/syswow64/cleanmgr.exe"; do
            cmp -s "$standin32" "$target" || cp "$standin32" "$target"
        done
    fi
    exec {lock}>&-
}

# A few start-up entries under both Run keys and an item in each Startup
# folder, so the switch has real data.
seed_startup_entries() {
    local users=$WINEPREFIX/drive_c/users folder
    for folder in "$users/${USER:-$(id -un)}/AppData/Roaming" "$WINEPREFIX/drive_c/ProgramData"; do
        mkdir -p "$folder/Microsoft/Windows/Start Menu/Programs/StartUp"
        printf '@start "" "C:\\Notes\\notes.exe" --tray\r\n' \
            >"$folder/Microsoft/Windows/Start Menu/Programs/StartUp/Notes tray.cmd"
    done
    local run='Software\Microsoft\Windows\CurrentVersion\Run'
    wine reg add "HKLM\\$run" /v 'Volume Tray' /t REG_SZ \
        /d '"C:\Program Files\Volume Tray\voltray.exe" /background' /f >/dev/null 2>&1
    wine reg add "HKLM\\$run" /v 'Update Helper' /t REG_EXPAND_SZ \
        /d '%ProgramFiles%\Update Helper\updhelp.exe -silent' /f >/dev/null 2>&1
    wine reg add "HKCU\\$run" /v 'Notes Quickstart' /t REG_SZ \
        /d 'C:\Notes\notes.exe --minimized' /f >/dev/null 2>&1
    wine reg add "HKCU\\$run" /v 'Sync Agent' /t REG_EXPAND_SZ \
        /d '%APPDATA%\SyncAgent\agent.exe -q' /f >/dev/null 2>&1
}

# Starts Xvfb on a free display and exports DISPLAY; XVFB_PID is its process.
start_xvfb() {
    local n size=${1:-1024x768x24}
    for n in $(seq 91 160); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
        if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY=:$n
            return 0
        fi
    done
    say "Could not start Xvfb"
    return 1
}
