#!/usr/bin/env python3
"""Checks the object that qirn --json wrote against the run's own output.

Usage: check_json.py JSON STATUS OUT
STATUS is the code --exit-code gives for the run; OUT its standard output.
The verdict must match the code, and a printed cycle must be the witness.
"""
import json
import re
import sys


def main():
    path, status, out_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    with open(out_path, encoding="utf-8", errors="replace") as f:
        out = f.read()
    problems = []
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
