#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (corpus/<target>/), in the input formats described
at the top of each target's source. Run it again after changing a format:
    python3 tests/fuzz/make_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- time_check_fuzz ----

def start(utc=False, console=False, era=3, when=0, slop=150, zone_minutes=60):
    """era 3: `when` is seconds from 2026-03-01 00:00:00; eras 0-2: `when` is the raw ms value."""
    setup = (1 if utc else 0) | (2 if console else 0) | era << 2
    if era == 3:
        clock = struct.pack("<iI", when, 0)
    else:
        clock = struct.pack("<Q", when)
    return bytes([setup, slop - 50]) + clock + struct.pack("<H", zone_minutes + 14 * 60)


def word(frame_kind=0, offset_ms=0, scale=0, raw=None, frame=None):
    """frame_kind 0: 0x00, 1: 0x10, 2: 0x10|frame, 3: frame. raw: 24-bit hh mm ss."""
    kind = frame_kind | (4 if raw is not None else 0) | scale << 3
    out = bytes([kind])
    if frame_kind in (2, 3):
        out += bytes([frame])
    if raw is not None:
        return out + struct.pack("<I", raw)[:3]
    return out + struct.pack("<h", offset_ms)


def tick(words, advance_ms=0, fail1=False, fail2=False, fail3=False, torn=False, set_fails=False,
         not_held=False):
    if advance_ms == 0:
        kind, advance = 0, b""
    elif advance_ms < 256:
        kind, advance = 1, bytes([advance_ms])
    elif advance_ms < 65536:
        kind, advance = 2, struct.pack("<H", advance_ms)
    else:
        kind, advance = 3, struct.pack("<I", advance_ms)
    flags = (fail1 | fail2 << 1 | fail3 << 2 | torn << 3 | set_fails << 4 | not_held << 5 | kind << 6)
    return bytes([flags]) + advance + b"".join(words)


def second(offset_ms=0, scale=0, advance_ms=949, **failures):
    """One pass of the frame byte: an arming tick 51 ms in, a firing tick at the second."""
    return (tick([word(1, offset_ms, scale)], advance_ms=advance_ms) +
            tick([word(0, offset_ms, scale)], advance_ms=51, **failures))


NOON = 12 * 3600
write("time_check_fuzz", "in_step_local", start(when=NOON) + b"".join(second() for _ in range(4)))
write("time_check_fuzz", "first_comparison_corrects_utc",
      start(utc=True, when=NOON) + second(offset_ms=-5000) + second() + second())
write("time_check_fuzz", "second_out_of_step_corrects",
      start(when=NOON, slop=60) + second() + second(offset_ms=300) + second(offset_ms=300) + second())
write("time_check_fuzz", "console_trace_and_beep",
      start(console=True, when=NOON + 59 * 60 + 57) + b"".join(second(offset_ms=2000) for _ in range(5)))
write("time_check_fuzz", "board_ahead_across_midnight",
      start(when=24 * 3600 - 3) + second(offset_ms=3000) + second(offset_ms=3000))
write("time_check_fuzz", "board_behind_across_midnight",
      start(utc=True, when=24 * 3600 - 2) + second(offset_ms=-5000) + second(offset_ms=-5000))
write("time_check_fuzz", "month_and_leap_day_end",
      start(when=-(1 * 24 * 3600 + 1)) + second(offset_ms=3000) + second(offset_ms=3000))
write("time_check_fuzz", "first_day_board_a_day_behind",
      start(era=1, when=1500) + second(offset_ms=-4000) + second(offset_ms=-4000))
write("time_check_fuzz", "last_day_board_a_day_ahead",
      start(era=2, when=1500) + second(offset_ms=3000) + second(offset_ms=3000))
write("time_check_fuzz", "board_twelve_hours_behind",
      start(when=1) + tick([word(1, raw=0x120001)]) + tick([word(0, raw=0x120001)], advance_ms=50))
write("time_check_fuzz", "board_twelve_hours_ahead",
      start(utc=True, when=NOON + 1) + tick([word(1, raw=0x000001)]) +
      tick([word(0, raw=0x000001)], advance_ms=50))
write("time_check_fuzz", "torn_and_failed_reads",
      start(when=NOON) +
      tick([word(1), word(0, 1000), word(1)], advance_ms=51, torn=True) +
      tick([word(0), word(0)], advance_ms=51, torn=True, fail2=True) +
      tick([word(0, 1000), word(1), word(0, 2000)], advance_ms=51, torn=True, fail3=True) +
      tick([word(0, 9000)], advance_ms=51, fail1=True))
write("time_check_fuzz", "set_refused_privilege_not_held",
      start(when=NOON) + second(offset_ms=5000, not_held=True) + second(offset_ms=5000, set_fails=True) +
      second(offset_ms=5000))
write("time_check_fuzz", "board_names_no_time_of_day",
      start(when=NOON) + tick([word(1, raw=0x2A0910)]) + tick([word(0, raw=0x2A0910)], advance_ms=51) +
      tick([word(1, raw=0x99FF00)]) + tick([word(0, raw=0x99FF00)], advance_ms=51))
write("time_check_fuzz", "frame_bytes_and_excluded_seconds",
      start(when=NOON) + tick([word(2, frame=0x03)]) + tick([word(3, frame=0x07)]) +
      tick([word(0, raw=0x135959)]) + tick([word(1)]) + tick([word(0, raw=0x140000)]) +
      tick([word(1)], advance_ms=70000) + tick([word(0)], advance_ms=51))

# ---- command_line_fuzz ----

def command(arguments, setup=0):
    return bytes([setup, len(arguments)]) + b"\0".join(a.encode("latin-1") for a in arguments)


PROGRAM = "RUZivEr2.exe"
write("command_line_fuzz", "no_argument", command([PROGRAM]))
write("command_line_fuzz", "no_vector", command([]))
write("command_line_fuzz", "load_alone", command([PROGRAM, "-load"]))
write("command_line_fuzz", "load_utc_100", command([PROGRAM, "-load", "S", "100"]))
write("command_line_fuzz", "load_local_clamped", command([PROGRAM, "/LOAD", "L", "99999999999999999999999"]))
write("command_line_fuzz", "load_negative_with_space", command([PROGRAM, "-Load", "s", " \t-75ms", "x"]))
write("command_line_fuzz", "load_without_key_access", command([PROGRAM, "-load", "S", "+120"], setup=4))
write("command_line_fuzz", "load_write_refused_installed", command([PROGRAM, "-load", "L", "200"], setup=8 | 16))
write("command_line_fuzz", "unload_running", command([PROGRAM, "-unload", "extra"], setup=48))
write("command_line_fuzz", "unload_not_installed", command([PROGRAM, "/UnLoad"]))
write("command_line_fuzz", "debug_no_library", command([PROGRAM, "-debug"], setup=0))
write("command_line_fuzz", "debug_no_board", command([PROGRAM, "-DEBUG"], setup=1))
write("command_line_fuzz", "debug_stop_at_third_wait", command([PROGRAM, "/debug", "x"], setup=2 | 2 << 6))
write("command_line_fuzz", "non_ascii_and_empty",
      command([PROGRAM, "-l\xf6ad", "", "\xff\xfe", "-", "/", "", "S"]))
write("command_line_fuzz", "eight_arguments", command([PROGRAM, "-load", "S", "250", "a", "b", "c", "d"]))
write("command_line_fuzz", "load_delay_refused", command([PROGRAM, "-load", "L", "150", "precise", "41.2500"]))

# ---- settings_load_fuzz ----

def stored(data, value_type=4, present=True, no_access=False, console=False):
    setup = (1 if present else 0) | (2 if no_access else 0) | (4 if console else 0)
    return bytes([setup]) + struct.pack("<I", value_type) + bytes([len(data)]) + data


write("settings_load_fuzz", "dword_utc_100", stored(struct.pack("<I", 0xFFFF0064)))
write("settings_load_fuzz", "dword_low_slop", stored(struct.pack("<I", 0x00001210), console=True))
write("settings_load_fuzz", "absent", stored(b"", present=False, console=True))
write("settings_load_fuzz", "no_access", stored(struct.pack("<I", 0x96), no_access=True))
write("settings_load_fuzz", "string_two_bytes", stored(b"9\0", value_type=1))
write("settings_load_fuzz", "binary_three_bytes", stored(b"\xff\x00\x01", value_type=3))
write("settings_load_fuzz", "qword", stored(struct.pack("<Q", 0x100000096), value_type=11))
write("settings_load_fuzz", "multi_string", stored(b"S\x00100\x00\x00", value_type=7))
write("settings_load_fuzz", "none_one_byte", stored(b"\xc8", value_type=0))
write("settings_load_fuzz", "long_binary", stored(bytes(range(64)), value_type=3))
