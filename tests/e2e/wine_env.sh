# Shell helpers for the end-to-end tests that run Windows builds under Wine. Source it:
#
#   . "$(dirname "$0")/wine_env.sh"
#   wine_use_prefix "$prefix"              # every later Wine command uses this prefix
#   wine_run 32 30 out.txt err.txt -- prog.exe args...
#   wine_end_prefix
#
# Facts behind the helpers are in docs/wine-notes.md. In short: Wine's own
# processes (wineserver, services.exe) inherit the output of whatever started them and keep
# it open, so every Wine command here writes to files, never to a pipe, and reads nothing
# from the terminal; every run is bounded by `timeout`; and a prefix's processes are ended
# with `wineserver -k` for that prefix, never by process name.

# Seconds that creating a prefix may take (about 16 s when the machine is idle).
WINE_BOOT_SECONDS=${WINE_BOOT_SECONDS:-180}

# Prints a failure on stderr and ends the test.
wine_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Sets the prefix and quietens Wine for every Wine command that follows. Mono and Gecko are
# turned off so that no installer is offered while a prefix is made.
wine_use_prefix() {
    export WINEPREFIX="$1"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Wine's own tools (wineboot, reg, sc) run under the 64-bit loader, which every x86-64 machine
# can run; the 32-bit loader is needed only for 32-bit programs.
readonly WINE64=/usr/lib/wine/wine64

# The loader for a program of the given bitness. Debian's `wine` runs a 64-bit program as a
# child of a 32-bit start.exe, so 64-bit programs are started by wine64 directly.
wine_loader() {
    case "$1" in
        32) echo wine ;;
        64) echo "$WINE64" ;;
        *) wine_fail "unknown bitness '$1'" ;;
    esac
}

# Ends the test as skipped (exit 77, the tests' SKIP_RETURN_CODE) when the loader for BITS
# does not run here: a kernel built without 32-bit support refuses the 32-bit loader with
# "Exec format error", and then no 32-bit program can be tested, only reported as not run.
#   wine_require_loader BITS
wine_require_loader() {
    local loader
    loader=$(wine_loader "$1") || exit 1
    "$loader" --version > /dev/null 2>&1 < /dev/null && return 0
    echo "SKIP: the $1-bit Wine loader ($loader) does not run on this machine" >&2
    exit 77
}

# Makes a fresh prefix at $WINEPREFIX; wineboot's output goes to files in LOG_DIR.
#   wine_create_prefix LOG_DIR
wine_create_prefix() {
    local log_dir="$1"
    [ -n "$WINEPREFIX" ] || wine_fail "wine_create_prefix: no prefix (call wine_use_prefix first)"
    wine_end_prefix
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")" "$log_dir"
    timeout --kill-after=10 "$WINE_BOOT_SECONDS" "$WINE64" wineboot -i \
        > "$log_dir/wineboot.out" 2> "$log_dir/wineboot.err" < /dev/null \
        || wine_fail "wineboot -i failed (exit $?); see $log_dir/wineboot.err"
    # The registry reaches the disk when the server has written it out.
    timeout 60 wineserver -w > /dev/null 2>&1 < /dev/null
    [ -f "$WINEPREFIX/system.reg" ] || wine_fail "no system.reg in $WINEPREFIX after wineboot"
}

# Ends every process of $WINEPREFIX and waits for its server to go.
wine_end_prefix() {
    [ -d "$WINEPREFIX" ] || return 0
    timeout 30 wineserver -k > /dev/null 2>&1 < /dev/null
    timeout 30 wineserver -w > /dev/null 2>&1 < /dev/null
    return 0
}

# Runs a Windows program under the loader for BITS, for at most SECONDS, with its standard
# output and error in files. Returns the program's exit code (124 when it timed out).
#   wine_run BITS SECONDS OUT_FILE ERR_FILE -- PROGRAM [ARGS...]
wine_run() {
    local bits="$1" seconds="$2" out="$3" err="$4"
    shift 4
    [ "$1" = "--" ] && shift
    local loader
    loader=$(wine_loader "$bits") || exit 1
    timeout --kill-after=10 "$seconds" "$loader" "$@" > "$out" 2> "$err" < /dev/null
}

# Prints a file's lines without the carriage returns of Windows line ends.
wine_text() {
    tr -d '\r' < "$1"
}
