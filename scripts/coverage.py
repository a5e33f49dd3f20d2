#!/usr/bin/env python3
"""Lines run per reader source file, from the gcov notes and counts of a --coverage build.

usage: scripts/coverage.py BUILD_DIR

Each reader is a source file, less the functions that only write or that no outside bytes
reach by design (named below, by a pattern on their demangled names).
"""
import gzip
import json
import pathlib
import re
import subprocess
import sys

GOAL = 85.0

# (reader, source file, functions left out)
READERS = [
    ("hex codec", "core/support/hexcodec.cpp", None),
    ("flattened message", "core/message/umessage_serialize.cpp", None),
    ("key stream", "core/keystream/UKeyStream.cpp", None),
    ("key stream", "core/keystream/UKeyStreamUtils.cpp", None),
    ("job file", "core/job/BJobFile.cpp", None),
    ("job file", "core/job/BGroup.cpp", None),
    ("job file", "core/job/BDestination.cpp", None),
    ("job file", "core/job/BPageRange.cpp", None),
    ("job file", "core/job/BCheckSettingList.cpp", None),
    ("job file", "core/job/BCheckSettingDecode.cpp", None),
    ("job file", "core/job/BCheckSetting.cpp", r"^BCheckSetting::(?!Deserialise|NameTo)"),
    ("string table", "core/support/UAbstractParser.cpp", None),
    ("string table", "core/text/ustring_load.cpp", r"^(?!parseStringTable)"),
    ("host document", "apps/varnel-host/DocumentJson.cpp", None),
    ("host document", "apps/varnel-host/DocumentStore.cpp", r"DocumentStore::(save|close|create|current|find)\("),
    ("event", "platform/os/EventWire.cpp", r"AppendEvent|WriteAll"),
    ("reply", "plugin/link/replyQueue.cpp", None),
    ("reply", "plugin/link/menuHandler.cpp", None),
    ("reply", "plugin/document/VNIllustratorReplies.cpp", None),
]


def gcov_files(notes):
    """The per-source records gcov gives for one object's notes (and counts, if it ran)."""
    out = subprocess.run(["gcov", "--json-format", "--stdout", notes.name], cwd=notes.parent,
                         capture_output=True, check=True).stdout
    if out[:2] == b"\x1f\x8b":
        out = gzip.decompress(out)
    for line in out.splitlines():
        if line.strip():
            yield from json.loads(line)["files"]


def lines_of(build, source, left_out):
    """Line number -> whether it ran, over every object compiled from `source`."""
    ran = {}
    pattern = re.compile(left_out) if left_out else None
    for notes in build.glob(f"**/CMakeFiles/*.dir/**/{pathlib.Path(source).name}.gcno"):
        for record in gcov_files(notes):
            if not record["file"].endswith(source):
                continue
            names = {f["name"]: f["demangled_name"] for f in record["functions"]}
            for line in record["lines"]:
                if pattern and pattern.search(names.get(line.get("function_name"), "")):
                    continue
                number = line["line_number"]
                ran[number] = ran.get(number, False) or line["count"] > 0
    return ran


def main():
    if len(sys.argv) != 2 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if len(sys.argv) == 2 else 2
    build = pathlib.Path(sys.argv[1]).resolve()
    rows = []
    for reader, source, left_out in READERS:
        ran = lines_of(build, source, left_out)
        if not ran:
            print(f"{source}: not built in {build}", file=sys.stderr)
            return 1
        rows.append((reader, source, sum(ran.values()), len(ran)))
    print(f"{'reader':<18} {'source':<50} {'lines':>11} {'run':>7}")
    for reader, source, run, lines in rows:
        print(f"{reader:<18} {source:<50} {run:>5}/{lines:<5} {100 * run / lines:6.1f}%")
    total_run = sum(row[2] for row in rows)
    total = sum(row[3] for row in rows)
    share = 100 * total_run / total
    print(f"{'total':<69} {total_run:>5}/{total:<5} {share:6.1f}%")
    print(f"goal {GOAL:.0f}%: {'reached' if share >= GOAL else 'not reached'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
