#!/usr/bin/python3
"""check_status_forms.py TEXT JSON PROMETHEUS: -status's forms for machines, taken right after
its text form, parse (json; the Prometheus client library's parser) and say what it says.
Values that move between the runs (ages, counts) are checked for their kind only."""
import json
import re
import sys

from prometheus_client.parser import text_string_to_metric_families


def expect(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def line(lines, prefix):
    found = [l[len(prefix):] for l in lines if l.startswith(prefix)]
    expect(found, f"the text form has no {prefix!r} line")
    return found[0]


lines = open(sys.argv[1], encoding="ascii").read().splitlines()
raw_json, raw_prom = (open(path, "rb").read().decode("utf-8") for path in sys.argv[2:4])
expect("\r" not in raw_json + raw_prom and raw_prom.endswith("\n"), "a carriage return, or no final newline")
f = json.loads(raw_json)
expect((f["schema"], f["version"]) == ("ruziver2-status", 1), f"schema {f['schema']} {f['version']}")
status = re.fullmatch(r"(\d) (\w+), (.*)", line(lines, "Status: "))
expect((f["status"], f["status_word"], f["reason"]) == (int(status[1]), status[2], status[3]), f"status {f['status']}")
expect(f["service"]["state"] == lines[0].split("): ", 1)[1].split(",")[0], f"state {f['service']['state']}")
settings = re.fullmatch(r"(UTC|local) (?:time, )?slop (\d+) ms, (\w+) mode.*", line(lines, "Settings: ").replace("UTC,", "UTC"))
s = f["settings"]
expect((s["time_base"], s["slop_ms"], s["mode"]) == (settings[1], int(settings[2]), settings[3]), f"settings {s}")
published = re.fullmatch(r"[\d.]+ s ago(, stale)?, (\w+) mode, board (.*)", line(lines, "Published: "))
p = f["published"]
expect((p["mode"], p["board"]) == (published[2], published[3]) and isinstance(p["age_s"], float), f"published {p}")
expect(all(isinstance(p[n], int) for n in ("comparisons", "out_of_step_comparisons", "corrections")), "counts")
peer, w = line(lines, "Windows Time (W32Time): "), f["windows_time"]
expect(w["sets_clock"] == ("it may set this clock" in peer) and w["installed"] == (peer != "not installed"), f"{w}")

samples = {}
for family in text_string_to_metric_families(raw_prom):
    for sample in family.samples:
        expect(sample.timestamp is None, f"{sample.name} has a time stamp")
        samples[sample.name] = sample
expected = {"ruziver2_up": float(f["service"]["state"] == "RUNNING"), "ruziver2_status": float(f["status"]),
            "ruziver2_slop_seconds": s["slop_ms"] / 1000, "ruziver2_windows_time_sets_clock": float(w["sets_clock"])}
for name, value in expected.items():
    expect(name in samples and samples[name].value == value, f"{name}: {samples.get(name)}, expected {value}")
expect(samples["ruziver2_status"].labels == {"word": f["status_word"]}, "ruziver2_status's word")
info = samples["ruziver2_info"].labels
expect((info["mode"], info["board"]) == (p["mode"], p["board"]), f"ruziver2_info {info}")
for name in ("ruziver2_published_age_seconds", "ruziver2_comparisons_total", "ruziver2_corrections_total"):
    expect(name in samples, f"no {name}")
print("the forms agree with the text form")
