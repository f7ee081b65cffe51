#!/usr/bin/env python3
"""Writes detection/ParasiteTables.cpp from the table text.

Usage: extract_parasite_tables.py TABLE_TEXT [OUTPUT]

The table text names each table on a line of its own ("`ParasiteSizes`: 172 entries, ..."),
and the next line that is not empty holds its numbers, separated by commas, ending with a
full stop. Both tables are checked (count as announced, ascending, distinct, 31-bit) before
anything is written; OUTPUT defaults to ParasiteTables.cpp beside this script. The build
never runs this script: the file it writes is part of the sources.
"""
import os
import re
import sys

TABLES = [("ParasiteSizes", "ParasiteSizeTable"), ("ParasiteChecksums", "ParasiteChecksumTable")]


def read_table(lines, name):
    head = re.compile(r"^`%s`:\s*(\d+)\s+entries" % re.escape(name))
    for i, line in enumerate(lines):
        m = head.match(line.strip())
        if not m:
            continue
        count = int(m.group(1))
        for body in lines[i + 1:]:
            body = body.strip()
            if not body:
                continue
            values = [int(v) for v in re.findall(r"\d+", body)]
            if len(values) != count:
                sys.exit("%s: %d numbers where %d are announced" % (name, len(values), count))
            if any(b <= a for a, b in zip(values, values[1:])):
                sys.exit("%s: the numbers are not strictly ascending" % name)
            if any(v > 2147483647 for v in values):
                sys.exit("%s: a number does not fit in 31 bits" % name)
            return values
    sys.exit("%s: no such table in the text" % name)


def rows(values, per_line=8):
    out = []
    for i in range(0, len(values), per_line):
        out.append("    " + " ".join("%d," % v for v in values[i:i + per_line]))
    return "\n".join(out)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.read().splitlines()
    out_path = sys.argv[2] if len(sys.argv) == 3 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "ParasiteTables.cpp")
    parts = [
        "// The fingerprints of known parasite modules: file sizes and checksums, each table",
        "// ascending and without repeats. Written by extract_parasite_tables.py; do not edit.",
        '#include "detection/ParasiteTables.h"',
        "",
        "namespace velmora {",
        "",
        "namespace {",
    ]
    for name, function in TABLES:
        values = read_table(lines, name)
        parts += [
            "",
            "constexpr std::int32_t k%s[] = {" % name,
            rows(values),
            "};",
            "static_assert(sizeof(k%s) / sizeof(k%s[0]) == %d);" % (name, name, len(values)),
        ]
    parts += ["", "}  // namespace", ""]
    for name, function in TABLES:
        parts.append("std::span<const std::int32_t> %s() { return k%s; }" % (function, name))
    parts += ["", "}  // namespace velmora", ""]
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
