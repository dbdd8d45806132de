#!/usr/bin/python3
"""Checks -status's forms for machines against its text form, taken one after the other.

  check_status_forms.py TEXT JSON PROMETHEUS

The JSON form must parse as JSON and carry the schema, the exit status and its word, and
what the text form says of the service, the settings, the published state and Windows' time
service; the Prometheus form must parse with the client library's parser of the text format,
end in a newline, hold no carriage return and no time stamp, and carry the same. Values
that move between the runs (ages, counts) are checked for presence and kind only.
"""
import json
import re
import sys

from prometheus_client.parser import text_string_to_metric_families


def fail(message):
    sys.exit("FAIL: " + message)


def text_lines(path):
    with open(path, encoding="ascii") as f:
        return [line.rstrip("\r\n") for line in f]


def line_after(lines, prefix):
    for line in lines:
        if line.startswith(prefix):
            return line[len(prefix):]
    fail(f"the text form has no line starting {prefix!r}")


def check_json(lines, form):
    if form.get("schema") != "ruziver2-status" or form.get("version") != 1:
        fail(f"schema {form.get('schema')!r} version {form.get('version')!r}")
    status = re.fullmatch(r"(\d) (\w+), (.*)", line_after(lines, "Status: "))
    if (form["status"], form["status_word"], form["reason"]) != (int(status[1]), status[2], status[3]):
        fail(f"status {form['status']} {form['status_word']} {form['reason']!r}, text says {status[0]!r}")
    state = lines[0].split("): ", 1)[1].split(",")[0]
    if form["service"]["state"] != state:
        fail(f"service state {form['service']['state']!r}, text says {state!r}")
    settings = re.fullmatch(r"(UTC|local time), slop (\d+) ms, (\w+) mode.*", line_after(lines, "Settings: "))
    expected = ("UTC" if settings[1] == "UTC" else "local", int(settings[2]), settings[3])
    got = (form["settings"]["time_base"], form["settings"]["slop_ms"], form["settings"]["mode"])
    if got != expected:
        fail(f"settings {got}, text says {expected}")
    published = re.fullmatch(r"[\d.]+ s ago(, stale)?, (\w+) mode, board (.*)", line_after(lines, "Published: "))
    p = form["published"]
    if (p["mode"], p["board"]) != (published[2], published[3]) or not isinstance(p["age_s"], float):
        fail(f"published {p}, text says {published[0]!r}")
    for name in ("comparisons", "out_of_step_comparisons", "corrections", "unrecorded_corrections"):
        if not isinstance(p[name], int):
            fail(f"published {name} is {p[name]!r}")
    peer = line_after(lines, "Windows Time (W32Time): ")
    w = form["windows_time"]
    if w["sets_clock"] != ("it may set this clock" in peer) or w["installed"] != (peer != "not installed"):
        fail(f"windows_time {w}, text says {peer!r}")
    if w["installed"] and w["decided_by"] == "policy" and "Group Policy decides" not in peer:
        fail(f"windows_time decided by the policy, text says {peer!r}")
    return form


def check_prometheus(raw, form):
    if not raw.endswith("\n") or "\r" in raw:
        fail("the Prometheus form does not end in a newline, or holds a carriage return")
    samples = {}
    for family in text_string_to_metric_families(raw):
        for sample in family.samples:
            if sample.timestamp is not None:
                fail(f"{sample.name} has a time stamp")
            samples[sample.name] = sample
    for name in ("ruziver2_up", "ruziver2_status", "ruziver2_slop_seconds", "ruziver2_info",
                 "ruziver2_published_age_seconds", "ruziver2_comparisons_total", "ruziver2_corrections_total",
                 "ruziver2_windows_time_sets_clock"):
        if name not in samples:
            fail(f"no {name}")
    expected = {
        "ruziver2_up": 1.0 if form["service"]["state"] == "RUNNING" else 0.0,
        "ruziver2_status": float(form["status"]),
        "ruziver2_slop_seconds": form["settings"]["slop_ms"] / 1000,
        "ruziver2_windows_time_sets_clock": 1.0 if form["windows_time"]["sets_clock"] else 0.0,
    }
    for name, value in expected.items():
        if samples[name].value != value:
            fail(f"{name} is {samples[name].value}, expected {value}")
    if samples["ruziver2_status"].labels != {"word": form["status_word"]}:
        fail(f"ruziver2_status labels {samples['ruziver2_status'].labels}")
    info = samples["ruziver2_info"].labels
    if (info["mode"], info["board"]) != (form["published"]["mode"], form["published"]["board"]):
        fail(f"ruziver2_info labels {info}")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    lines = text_lines(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        raw_json = f.read()
    if b"\r" in raw_json:
        fail("the JSON form holds a carriage return")
    form = check_json(lines, json.loads(raw_json.decode("utf-8")))
    with open(sys.argv[3], "rb") as f:
        check_prometheus(f.read().decode("utf-8"), form)
    print("the forms agree with the text form")


main()
