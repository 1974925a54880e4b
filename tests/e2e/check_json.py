#!/usr/bin/env python3
"""Checks the object that qirn --json wrote against the run's own output.

Usage: check_json.py JSON STATUS OUT EXPECTED_OUT EXPECTED_ERR
STATUS is the code --exit-code gives for the run; OUT its standard output;
EXPECTED_OUT and EXPECTED_ERR what the run prints without --json (standard
error without the line that names the input file of a stop). The
verdict must match the code, and a printed cycle must be the witness. The
line must be the printed line that decides the verdict, and the last line of
a stop's message the last line printed on standard error: qirn-batch and
qirn-shrink read the run from these fields alone.
"""
import json
import re
import sys

CYCLE_HEADER = "Find a consistency violation:"
VIOLATION_LINES = {"find cycle", "has violation!", "no path can be found!", "before add arc!",
                   "before add go arc!"}
PASS_LINES = {"no cycle!", "no violation!"}
WRITE_TO = "Find a write-to consistency violation"


def printed_verdict(out):
    """The last violation line; else a cycle header; else the last pass line."""
    lines = out.split("\n")
    for kind, chosen in (("violation", [l for l in lines if l in VIOLATION_LINES]),
                         ("violation", [l for l in lines if l == CYCLE_HEADER]),
                         ("pass", [l for l in lines if l in PASS_LINES])):
        if chosen:
            return chosen[-1], kind
    return None, "none"


def last_line(text):
    """The last line that is not blank, without the blanks that end it."""
    text = text.rstrip(" \t\r\n")
    return text[text.rfind("\n") + 1:]


def line_problems(report, expected_out, expected_err):
    if report["error"] is not None:
        if report["line"] is not None:
            return ["a line beside an error"]
        message = last_line(report["error"]["message"])
        wanted = last_line(expected_err)
        return [] if message == wanted else [f"error message {message!r}, printed {wanted!r}"]
    if last_line(expected_err) == WRITE_TO:
        wanted = (WRITE_TO, "violation")
    else:
        wanted = printed_verdict(expected_out)
    got = (report["line"], report["verdict"])
    return [] if got == wanted else [f"line and verdict {got}, printed {wanted}"]


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def main():
    path, status = sys.argv[1], int(sys.argv[2])
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    out, expected_out, expected_err = (read_text(name) for name in sys.argv[3:6])
    problems = line_problems(report, expected_out, expected_err)
    if report["status"] != status:
        problems.append(f"status {report['status']}, expected {status}")
    verdicts = {0: {"pass", "none"}, 1: {"violation"}, 2: {"error", "none"}, 3: {"error", "none"}}
    usage_error = status == 2 and report["error"] is None  # the run went on
    if not usage_error and report["verdict"] not in verdicts[status]:
        problems.append(f"verdict {report['verdict']} with status {status}")
    if (report["error"] is not None) != (report["verdict"] == "error"):
        problems.append("an error object exactly when the verdict is an error")
    cycles = [line for line in out.splitlines() if ")<-" in line]
    witness = report["witness"]
    if cycles and status == 1:
        if witness is None or witness["kind"] != "cycle":
            problems.append("a printed cycle but no cycle witness")
        else:
            printed = set(re.findall(r"\([^()]*\)", cycles[-1]))
            drawn = {node["text"] for node in witness["nodes"]}
            if drawn != printed:
                problems.append(f"witness {sorted(drawn)} against printed {sorted(printed)}")
    for problem in problems:
        print("--- json: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
