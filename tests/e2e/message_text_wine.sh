#!/bin/bash
# The program's message table under Wine: each entry's text as Event Viewer would render it
# from RUZivEr2.exe with sample strings (tests/windows/message_text.cpp), compared byte for byte.
#
#   message_text_wine.sh BITS PROGRAM MESSAGE_TEXT RUN_DIR PREFIX
#
# Both programs are copied into RUN_DIR and run from there, so that the program is loaded by its
# file name. RUN_DIR is kept for a look after a failure.
set -u
. "$(dirname "$0")/wine_env.sh"

[ $# -eq 5 ] || wine_fail "usage: $0 BITS PROGRAM MESSAGE_TEXT RUN_DIR PREFIX"
BITS=$1 PROGRAM=$2 MESSAGE_TEXT=$3 RUN_DIR=$4
wine_require_loader "$BITS"
wine_use_prefix "$5"
[ -f "$WINEPREFIX/system.reg" ] || wine_fail "no Wine prefix at $WINEPREFIX (the wine_prefix fixture makes it)"

rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR"
cp "$PROGRAM" "$RUN_DIR/RUZivEr2.exe"
cp "$MESSAGE_TEXT" "$RUN_DIR/message_text.exe"

# Renders message ID with the given strings and compares it with EXPECTED, a printf format.
# FormatMessage gives "\r\n" both for %n and for the line end that windmc keeps as "\n".
#   expect_text NAME EXPECTED ID [STRING...]
expect_text() {
    local name="$1" expected="$2"
    shift 2
    (cd "$RUN_DIR" &&
        wine_run "$BITS" 60 "$name.out" "$name.err" -- "$RUN_DIR/message_text.exe" RUZivEr2.exe "$@") ||
        wine_fail "message_text $* failed (exit $?): $(cat "$RUN_DIR/$name.err")"
    # shellcheck disable=SC2059  # the expected text is a format of its own
    printf "$expected" > "$RUN_DIR/$name.expected"
    cmp -s "$RUN_DIR/$name.out" "$RUN_DIR/$name.expected" ||
        wine_fail "message $1 renders as"$'\n'"$(od -c "$RUN_DIR/$name.out")"$'\n'"expected"$'\n'"$(od -c "$RUN_DIR/$name.expected")"
    echo "== $1: $(sed -z -e 's/\r/\\r/g' -e 's/\n/\\n/g' "$RUN_DIR/$name.out")"
}

expect_text service_error \
    'ZYN_NT_Horavex2 error: 1063\r\nStartServiceCtrlDispatcher failed.\r\n' \
    0 'ZYN_NT_Horavex2 error: 1063' 'StartServiceCtrlDispatcher failed.'
expect_text startup_failed \
    "ZYN NT Horavex Service2 stopped without starting, and the computer's clock is not kept: no reader board answered at any of the 22 addresses, in two passes 3 s apart (start-up failure 2).\r\n\r\n" \
    0xC0000001 2 'no reader board answered at any of the 22 addresses, in two passes 3 s apart' ''
expect_text clock_set \
    "The computer's clock (local time) was set to the reader board's time, 2026-03-01 12:34:56.080. It showed 2026-03-01 12:34:58.000, +1950 ms from the board. Corrections since the previous entry that were not recorded: 0.\r\n" \
    0x40000002 '2026-03-01 12:34:56.080' '2026-03-01 12:34:58.000' +1950 'local time' 0
expect_text clock_set_count \
    "ZYN NT Horavex Service2 set the computer's clock 29 more times within a minute of its last entry; they were not recorded one by one.\r\n" \
    0x40000006 29
expect_text adjustment_ignored \
    "The computer's clock did not follow the rate that ZYN NT Horavex Service2 set: another time service may be setting the clock, or the system ignores the change. A step is tried again after a wait that doubles each time; rates that are not followed give way to steps only, and are tried again in an hour.\r\n" \
    0x80000003 rate
expect_text time_service_peer \
    "Windows' time service (W32Time) may set this computer's clock too: it is not disabled, and its Type is NT5DS. The two services would fight over the clock, which would swing between them. To leave the clock to ZYN NT Horavex Service2, run w32tm /config /syncfromflags:NO /update as an administrator, or set the value Type under HKLM\\\\SYSTEM\\\\CurrentControlSet\\\\Services\\\\W32Time\\\\Parameters to NoSync, or disable the service.\r\n" \
    0x80000004 NT5DS
expect_text status_not_published \
    "ZYN NT Horavex Service2 could not publish its state under HKLM\\\\SYSTEM\\\\CurrentControlSet\\\\Services\\\\ZYN_NT_Horavex2\\\\Status: Access denied. (0x5) It keeps the clock all the same, and tries again every 5 s; this is recorded once.\r\n" \
    0x80000005 'Access denied. (0x5)'
expect_text precise_no_privilege \
    "ZYN NT Horavex Service2 cannot enable the clock privilege, so the precise mode only measures the clock and never changes it: Access denied. (0x5)\r\n" \
    0x80000007 'Access denied. (0x5)'
expect_text precise_limited \
    "The computer's clock runs +620.0 ppm off the board, more than the precise mode's rate can take back. ZYN NT Horavex Service2 keeps it within the slop by steps; the clock's oscillator may be failing.\r\n" \
    0x80000008 '+620.0 ppm'
expect_text precise_no_rate_call \
    "Neither of Windows' time adjustment calls moved the computer's clock when ZYN NT Horavex Service2 measured them. The precise mode keeps the clock within the slop by steps only.\r\n" \
    0x80000009 ''
expect_text precise_rival_rate \
    "Another program keeps a rate of its own on the computer's clock (+12.50 ppm). ZYN NT Horavex Service2 leaves it alone and keeps the clock within the slop by steps only; stop the other time service to let the precise mode hold the clock.\r\n" \
    0x8000000A '+12.50 ppm'
expect_text time_service_peer_policy \
    "Windows' time service (W32Time) may set this computer's clock too: it is not disabled, and Group Policy (\"Configure Windows NTP Client\", under HKLM\\\\SOFTWARE\\\\Policies\\\\Microsoft\\\\W32Time) sets its Type to NT5DS, which the service's own settings cannot change. The two services would fight over the clock, which would swing between them. To leave the clock to ZYN NT Horavex Service2, whoever owns the policy must set its Type to NoSync for this computer, or the service must be disabled.\r\n" \
    0x8000000B 'NT5DS'

echo "PASS"
