# Sourced by the scripts: a private Wine prefix and X display for this
# checkout. OSB_INSTANCE names an independent prefix/display pair so that
# several test runs can share a machine. OSB_DISPLAY names an X display to
# use (started if nothing answers there); without it Xvfb picks a free one.
# OSB_WINE_ARCH=aarch64 makes the instance one of ARM64 Wine (set-up's
# --aarch64 unpacks it; its programs run through qemu-aarch64): a server and
# prefixes of its own, beside the x86 ones (x86_64, i686 or unset) of the
# same OSB_INSTANCE.
#
#   wine_start      Xvfb + a fresh wineserver for the prefix (creating it once,
#                   as a copy of the prefix of OSB_INSTANCE=template if there is one);
#                   fails, saying why, when no X display can be had
#   wine_stop       stops what wine_start started
#   run_win ARCH EXE [ARGS...]   runs a Windows program of that architecture
#   wine_for ARCH   the Wine loader that run_win uses for it (fails for an
#                   architecture the instance cannot run)
#   wine_bounded SECONDS LOG COMMAND...   runs COMMAND with its output in LOG,
#                   ending the whole prefix if it outlives SECONDS (status 124)
#   wine_processes  what runs in the prefix, a line each; wine_leftovers: the
#                   part of it that is not Wine's own services
#
# A program that a Windows program starts inherits its standard handles, and
# Wine gives it a session of its own: a pipe from any Windows program into a
# Linux command stays open while such a descendant lives, and `timeout` never
# reaches it. So every Windows program writes to a file and runs under
# wine_bounded, whose bound ends every process of the prefix.

OSB_ROOT=${OSB_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
OSB_INSTANCE=${OSB_INSTANCE:-main}
if [ "${OSB_WINE_ARCH:-}" = aarch64 ]; then
    _osb_arch=-aarch64
    WINE64=$OSB_ROOT/.tools/wine-arm64/usr/lib/wine/wine64
    WINE32=
    WINESERVER=$OSB_ROOT/.tools/wine-arm64/usr/lib/wine/wineserver64
else
    _osb_arch=
    WINE64=/usr/lib/wine/wine64
    WINE32=/usr/lib/wine/wine
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
fi
# Prefix, display and logs of the instance: an ARM64 one's named apart.
_osb_instance=$OSB_INSTANCE$_osb_arch
export WINEPREFIX="$OSB_ROOT/.wine/$_osb_instance"
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono/Gecko install prompts; no sound driver, whose ALSA messages would mix into the output.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winealsa.drv=}
_osb_started_xvfb=

# Every bound of the scripts, for a machine slower than the ones they were
# measured on (OSB_TIME_SCALE=3 triples them).
bound() { echo $(( $1 * ${OSB_TIME_SCALE:-1} )); }

# Windows form of a Unix path (Wine maps / to drive Z:).
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }

# Starts Xvfb, on OSB_DISPLAY or on a display it picks itself, and exports
# DISPLAY once the server answers.
_osb_start_xvfb() {
    local log="$OSB_ROOT/.wine/xvfb-$_osb_instance.log" numfile="$OSB_ROOT/.wine/xvfb-$_osb_instance.display" n
    mkdir -p "$OSB_ROOT/.wine"
    : >"$numfile"
    if [ -n "${OSB_DISPLAY:-}" ]; then
        Xvfb "$OSB_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 </dev/null &
        _osb_started_xvfb=$!
        echo "${OSB_DISPLAY#:}" >"$numfile"
    else
        # -displayfd: the server takes the first free display and writes its
        # number once it accepts connections; a stale lock cannot stop it.
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >"$log" 2>&1 </dev/null &
        _osb_started_xvfb=$!
    fi
    for _ in $(seq 600); do
        n=$(head -n1 "$numfile" 2>/dev/null)
        if [ -n "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
            export DISPLAY=":$n"
            return 0
        fi
        kill -0 "$_osb_started_xvfb" 2>/dev/null || break
        sleep 0.1
    done
    echo "no X display: Xvfb did not come up; its output:" >&2
    sed 's/^/    /' "$log" >&2
    kill "$_osb_started_xvfb" 2>/dev/null
    _osb_started_xvfb=
    return 1
}

wine_start() {
    if [ -n "${OSB_DISPLAY:-}" ] && xdpyinfo -display "$OSB_DISPLAY" >/dev/null 2>&1; then
        export DISPLAY=$OSB_DISPLAY
    else
        _osb_start_xvfb || return 1
    fi
    echo "X display $DISPLAY" >&2
    # A wineserver started before the display exists keeps windows off it.
    wine_kill
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        local template="$OSB_ROOT/.wine/template$_osb_arch"
        if [ "$OSB_INSTANCE" != template ] && [ -f "$template/system.reg" ]; then
            # The system folders hold a gigabyte of libraries that Wine only
            # reads: hard links to the template's; the rest is copied.
            mkdir -p "$WINEPREFIX"
            (cd "$template" && tar -c --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 .) \
                | tar -x -C "$WINEPREFIX"
            cp -al "$template/drive_c/windows/system32" "$template/drive_c/windows/syswow64" "$WINEPREFIX/drive_c/windows/"
        else
            echo "creating Wine prefix $WINEPREFIX" >&2
            mkdir -p "$WINEPREFIX"
            local log="$OSB_ROOT/.wine/wineboot-$_osb_instance.log"
            # A program that crashes ends with its backtrace in its output,
            # instead of waiting for someone to close Wine's crash dialog.
            if ! wine_bounded "$(bound 300)" "$log" "$WINE64" wineboot -i \
                    || ! wine_bounded "$(bound 60)" "$log.reg" "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' \
                         /v ShowCrashDialog /t REG_DWORD /d 0 /f; then
                echo "wineboot failed; its output:" >&2
                tail -n 40 "$log" "$log.reg" | sed 's/^/    /' >&2
                return 1
            fi
            wine_kill
        fi
    fi
    wine_services
}

# A new wineserver for the prefix, with its services up (on the X display
# that wine_start chose): what one program left cannot meet the next.
wine_restart() {
    wine_kill
    wine_services
}

wine_services() {
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    # Started now, the services hold no output handle of a program to come.
    wine_bounded "$(bound 120)" /dev/null "$WINE64" cmd /c exit || true
}

# Ends every process of the prefix and its wineserver, and waits for them, a
# minute at most.
wine_kill() {
    timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null
    timeout -k 5 30 "$WINESERVER" -w >/dev/null 2>&1 </dev/null && return
    # A server too slow to end them (a loaded machine): the processes go at once.
    local pids
    pids=$(wine_processes | cut -d' ' -f1)
    [ -z "$pids" ] || kill -9 $pids 2>/dev/null
    return 0
}

wine_processes() {
    local env pid cmdline
    for env in $(grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${env#/proc/} && pid=${pid%/environ}
        # Wine's programs (32-bit and ARM64 ones through qemu), not the scripts around them.
        case $(readlink "/proc/$pid/exe" 2>/dev/null) in *wine*|*qemu-i386*|*qemu-aarch64*) ;; *) continue ;; esac
        cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | sed 's/ *$//')
        # An empty one: the process is ending.
        [ -z "$cmdline" ] || printf '%s %s\n' "$pid" "$cmdline"
    done
}

wine_leftovers() {
    local system='[A-Z]:\\windows\\(system32|syswow64)\\'
    wine_processes | grep -vE "^[0-9]+ (\S*qemu-(i386 \S*/wine|aarch64( \S*/wine64)?) )?(\S*/wineserver(64)? |start\.exe /exec\$|${system}((services|winedevice|plugplay|svchost|rpcss|conhost)\.exe|explorer\.exe /desktop\$))"
}

wine_bounded() {  # SECONDS LOG COMMAND...
    local limit=$1 log=$2 started=$SECONDS status
    shift 2
    timeout -k 10 "$limit" "$@" >"$log" 2>&1 </dev/null
    status=$?
    [ "$status" = 124 ] || [ "$status" = 137 ] || return "$status"
    # Told in the log, which the caller shows (or on stderr, without one).
    [ "$log" != /dev/null ] || log=/dev/stderr
    {
        echo "stopped after $((SECONDS - started)) s, its bound: $(basename "$1") ${*:2}"
        echo "still running in the prefix, now ended:"
        wine_processes | sed 's/^/    /'
    } >>"$log"
    wine_kill
    return 124
}

wine_stop() {
    wine_kill
    if [ -n "$_osb_started_xvfb" ]; then
        kill "$_osb_started_xvfb" 2>/dev/null || true
        wait "$_osb_started_xvfb" 2>/dev/null || true
    fi
}

# The Wine loader for programs of that architecture.
wine_for() {
    case ${_osb_arch:-x86}:$1 in
        x86:i686) echo "$WINE32" ;;
        x86:x86_64|-aarch64:aarch64) echo "$WINE64" ;;
        *) echo "wine_for: no $1 programs in this Wine instance (OSB_WINE_ARCH=${OSB_WINE_ARCH:-})" >&2; return 1 ;;
    esac
}

run_win() {
    local arch=$1 wine; shift
    wine=$(wine_for "$arch") && "$wine" "$@"
}
