# Sourced by the scripts: a private Wine prefix and X display for this
# checkout. OSB_INSTANCE names an independent prefix/display pair so that
# several test runs can share a machine; OSB_DISPLAY picks the display.
#
#   wine_start      Xvfb + a fresh wineserver for the prefix (creating it once)
#   wine_stop       stops what wine_start started
#   run_win ARCH EXE [ARGS...]   runs a Windows program of that architecture

OSB_ROOT=${OSB_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
OSB_INSTANCE=${OSB_INSTANCE:-main}
OSB_DISPLAY=${OSB_DISPLAY:-:90}
export WINEPREFIX="$OSB_ROOT/.wine/$OSB_INSTANCE"
export WINEDEBUG=${WINEDEBUG:--all}
export DISPLAY=$OSB_DISPLAY
# No Mono/Gecko install prompts.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
_osb_started_xvfb=

# Windows form of a Unix path (Wine maps / to drive Z:).
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }

wine_start() {
    local n=${DISPLAY#:}
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
        Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        _osb_started_xvfb=$!
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
    # A wineserver started before the display exists keeps windows off it.
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        local template="$OSB_ROOT/.wine/template"
        if [ "$OSB_INSTANCE" != template ] && [ -f "$template/system.reg" ]; then
            mkdir -p "$WINEPREFIX" && cp -a "$template/." "$WINEPREFIX/"
        else
            echo "creating Wine prefix $WINEPREFIX (a few minutes the first time)" >&2
            mkdir -p "$WINEPREFIX"
            "$WINE64" wineboot -i >/dev/null 2>&1
            "$WINESERVER" -w
        fi
    fi
    "$WINESERVER" -p 2>/dev/null || true
    # Bring up the prefix's services now, detached from any output pipe.
    "$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true
    # The shell of os.execute/io.popen: the native 64-bit cmd.exe, named by its
    # Unix location so that 32-bit programs are not redirected to the 32-bit
    # one, which costs a minute per start under qemu.
    "$WINE64" reg add 'HKCU\Environment' /v ComSpec /d "$(winpath "$WINEPREFIX/drive_c/windows/system32/cmd.exe")" /f \
        >/dev/null 2>&1 </dev/null || true
}

wine_stop() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    if [ -n "$_osb_started_xvfb" ]; then
        kill "$_osb_started_xvfb" 2>/dev/null || true
        wait "$_osb_started_xvfb" 2>/dev/null || true
    fi
}

run_win() {
    local arch=$1; shift
    if [ "$arch" = i686 ]; then "$WINE32" "$@"; else "$WINE64" "$@"; fi
}
