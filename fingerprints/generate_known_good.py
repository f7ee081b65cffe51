#!/usr/bin/env python3
"""Writes fingerprints/GoodTables.cpp: the sizes and checksums of known-good modules.

Usage: generate_known_good.py --prefix WINEPREFIX [--wow64 DIR] [--out FILE] [--list FILE]

The modules are the Windows-side PE files of a freshly made Wine prefix (make a throw-away
one first: WINEPREFIX=/tmp/p WINEARCH=win64 wine64 wineboot -i), from its system32 and
syswow64 folders. Where the host cannot run 32-bit programs, syswow64 stays empty; --wow64
then names the folder of Wine's 32-bit PE modules that wineboot would have copied into it
(for instance /usr/lib/i386-linux-gnu/wine/i386-windows).

Each module's fingerprint is made by the program's own rules: the size is the file's length,
the checksum the 31-bit rotate-and-add walk over all its bytes. The tables keep their fixed
rows (below) and are filled from the modules, modules without a company name first, since
only those are ever looked up. Every value lies strictly inside the fixed first and last rows;
no size from 31745 to 32767; no checksum that is a parasite checksum and no size that is a
parasite size beyond the shared ones (the parasite tables are read from
detection/ParasiteTables.cpp). Each table comes out ascending and distinct. Where the modules
run out, a table stays short of its aim; the counts are printed.

The build never runs this script: the file it writes is part of the sources.
"""
import argparse
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# The fixed rows of the two tables.
SIZES_FIRST = [3584, 4096, 4608, 5120, 5632]
SIZES_LAST = [3792896, 4657152, 6369280, 12598440, 13244072]
SIZES_SHARED = [4096, 5632, 6144, 6656, 8704, 9728, 10752, 11264, 13312, 13824, 16384, 16896,
                17920, 18432, 18944, 20992, 23552, 24576, 25600, 27648, 33792, 36864, 43520,
                44032, 47104, 49152, 51712, 52736, 53248, 54272, 57344, 65536, 86016, 94208,
                143360, 147456, 163840, 172032, 191488, 204800, 225280]
SIZE_LARGEST_SMALL = 31744  # the largest size below 32768
CHECKSUMS_FIRST = [228221, 1612267, 4108130, 5485141, 5520735]
CHECKSUMS_LAST = [2142909427, 2144446872, 2146021194, 2147186337, 2147483647]

SIZE_COUNT, SIZE_SMALL_COUNT = 537, 69          # small: below 32768
CHECKSUM_COUNT, CHECKSUM_LOW_COUNT = 1045, 535  # low: below 2^30

PE_EXTENSIONS = {".exe", ".dll", ".sys", ".drv", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".com",
                 ".ds", ".msstyles", ".scr", ".tsp", ".mui"}


def checksum(data):
    """The 31-bit rotate-and-add checksum: rotate right by one bit within 31 bits, add the
    byte, and skip a byte whose sum would pass 2^31 - 1."""
    h = 0
    for b in data:
        s = (h >> 1) + ((h & 1) << 30) + b
        if s <= 0x7FFFFFFF:
            h = s
    return h


# --- version resource ------------------------------------------------------------------------

def _u16(d, o):
    return struct.unpack_from("<H", d, o)[0]


def _u32(d, o):
    return struct.unpack_from("<I", d, o)[0]


def version_resource(data):
    """The bytes of the first RT_VERSION resource of a PE image, or None."""
    try:
        if data[:2] != b"MZ":
            return None
        pe = _u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            return None
        sections = _u16(data, pe + 6)
        opt_size = _u16(data, pe + 20)
        opt = pe + 24
        magic = _u16(data, opt)
        dirs = opt + (96 if magic == 0x10B else 112)
        if (dirs - opt) + 8 * 3 > opt_size:
            return None
        res_rva = _u32(data, dirs + 16)
        if res_rva == 0:
            return None
        table = opt + opt_size
        spans = []
        for i in range(sections):
            s = table + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
            spans.append((va, max(vsize, rawsize), raw))

        def offset(rva):
            for va, size, raw in spans:
                if va <= rva < va + size:
                    return rva - va + raw
            return None

        root = offset(res_rva)
        if root is None:
            return None

        def entries(directory):
            named, ids = _u16(data, directory + 12), _u16(data, directory + 14)
            for i in range(named + ids):
                e = directory + 16 + 8 * i
                yield _u32(data, e), _u32(data, e + 4)

        for ident, target in entries(root):
            if ident != 16 or not target & 0x80000000:
                continue
            names = root + (target & 0x7FFFFFFF)
            for _, t2 in entries(names):
                node = root + (t2 & 0x7FFFFFFF)
                if t2 & 0x80000000:  # the language level
                    for _, t3 in entries(node):
                        if not t3 & 0x80000000:
                            node = root + t3
                            break
                    else:
                        continue
                rva, size = _u32(data, node), _u32(data, node + 4)
                start = offset(rva)
                if start is None:
                    return None
                return data[start:start + size]
        return None
    except (struct.error, IndexError):
        return None


def _block(res, p, limit):
    """One block: (key, type, value bytes, children start, end)."""
    if limit - p < 6:
        return None
    length, value_length, kind = struct.unpack_from("<HHH", res, p)
    if length < 6 or length > limit - p:
        return None
    end = p + length
    k = p + 6
    key = []
    while k + 1 < end:
        c = _u16(res, k)
        k += 2
        if c == 0:
            break
        key.append(chr(c))
    value = (k + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    children = min((value + value_bytes + 3) & ~3, end)
    return "".join(key), kind, res[min(value, end):end], value_length, children, end


def _children(res, start, end):
    p = start
    while p < end:
        b = _block(res, p, end)
        if not b:
            return
        yield b
        p = (b[5] + 3) & ~3


def company_name(data):
    """The "CompanyName" version string, read as the program reads it: from the string table
    of the first translation the resource names, else from its first string table."""
    res = version_resource(data)
    if not res:
        return ""
    root = _block(res, 0, len(res))
    if not root:
        return ""
    wanted = None
    tables = []
    for key, _, value, _, children, end in _children(res, root[4], root[5]):
        if key == "VarFileInfo":
            for k2, _, v2, _, _, _ in _children(res, children, end):
                if k2 == "Translation" and len(v2) >= 4 and wanted is None:
                    lang, cp = struct.unpack_from("<HH", v2, 0)
                    wanted = "%04x%04x" % (lang, cp)
        elif key == "StringFileInfo":
            tables += list(_children(res, children, end))
    if not tables:
        return ""
    chosen = tables[0]
    for t in tables:
        if wanted and t[0].lower() == wanted:
            chosen = t
            break
    for key, _, value, value_length, _, _ in _children(res, chosen[4], chosen[5]):
        if key == "CompanyName":
            if value_length == 0:
                return ""
            text = value.decode("utf-16-le", "replace")
            return text.split("\0", 1)[0]
    return ""


# --- modules ----------------------------------------------------------------------------------

def modules(folder, label):
    found = []
    if not folder or not os.path.isdir(folder):
        return found
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or os.path.splitext(name)[1].lower() not in PE_EXTENSIONS:
            continue
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"MZ":
            continue
        found.append({"name": label + "\\" + name, "size": len(data), "checksum": checksum(data),
                      "company": company_name(data)})
    return found


def parasite_tables():
    with open(os.path.join(ROOT, "detection", "ParasiteTables.cpp"), encoding="utf-8") as f:
        text = f.read()
    tables = {}
    for name in ("ParasiteSizes", "ParasiteChecksums"):
        m = re.search(r"k%s\[\] = \{(.*?)\};" % name, text, re.S)
        tables[name] = set(int(v) for v in re.findall(r"\d+", m.group(1)))
    return tables["ParasiteSizes"], tables["ParasiteChecksums"]


def fill(fixed, candidates, allowed, buckets, total):
    """The fixed values plus candidates in their order, each bucket (a test and a count) up
    to its count, then any bucket beyond its count while the table is short of its total."""
    chosen = set(fixed)
    counts = [sum(1 for v in chosen if test(v)) for test, _ in buckets]
    for overflow in (False, True):
        for v in candidates:
            if len(chosen) >= total:
                break
            if v in chosen or not allowed(v):
                continue
            i = next(i for i, (test, _) in enumerate(buckets) if test(v))
            if not overflow and counts[i] >= buckets[i][1]:
                continue
            chosen.add(v)
            counts[i] += 1
    return sorted(chosen)


def rows(values, per_line=8):
    return "\n".join("    " + " ".join("%d," % v for v in values[i:i + per_line])
                     for i in range(0, len(values), per_line))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--wow64", help="Wine's 32-bit PE modules, used where syswow64 is empty")
    ap.add_argument("--out", default=os.path.join(HERE, "GoodTables.cpp"))
    ap.add_argument("--list", help="also write every module's fingerprint to this file")
    args = ap.parse_args()

    windows = os.path.join(args.prefix, "drive_c", "windows")
    found = modules(os.path.join(windows, "system32"), "system32")
    wow = modules(os.path.join(windows, "syswow64"), "syswow64")
    if not wow and args.wow64:
        wow = modules(args.wow64, "syswow64")
    found += wow
    if not found:
        sys.exit("no modules found under %s" % windows)

    parasite_sizes, parasite_checksums = parasite_tables()
    shared = set(SIZES_SHARED)
    if not shared <= parasite_sizes:
        sys.exit("a shared size is not a parasite size")

    # Only modules without a company name are ever looked up, so they come first: before all
    # others those that the name rules would take for parasites (a program ending in "32.exe",
    # a module named se.dll), then sizes by how many such modules share them, then the
    # 32-bit modules (the program is a 32-bit one), then by name; checksums first of the
    # modules whose size made it into the table.
    bare = {}
    for m in found:
        if not m["company"]:
            bare[m["size"]] = bare.get(m["size"], 0) + 1

    def named_like_parasite(m):
        name = m["name"].lower()
        return name.endswith("32.exe") or name.endswith("\\se.dll")

    order = sorted(found, key=lambda m: (m["company"] != "", not named_like_parasite(m), -bare.get(m["size"], 0),
                                         not m["name"].startswith("syswow64"), m["name"].lower()))
    sizes = fill(
        SIZES_FIRST + SIZES_LAST + SIZES_SHARED + [SIZE_LARGEST_SMALL],
        [m["size"] for m in order],
        lambda s: SIZES_FIRST[-1] < s < SIZES_LAST[0] and not SIZE_LARGEST_SMALL < s < 32768
        and s not in parasite_sizes,
        [(lambda s: s < 32768, SIZE_SMALL_COUNT), (lambda s: s >= 32768, SIZE_COUNT - SIZE_SMALL_COUNT)],
        SIZE_COUNT)
    listed = set(sizes)
    order = sorted(order, key=lambda m: (m["company"] != "", m["size"] not in listed, not named_like_parasite(m)))
    checksums = fill(
        CHECKSUMS_FIRST + CHECKSUMS_LAST,
        [m["checksum"] for m in order],
        lambda c: CHECKSUMS_FIRST[-1] < c < CHECKSUMS_LAST[0] and c not in parasite_checksums,
        [(lambda c: c < 1 << 30, CHECKSUM_LOW_COUNT),
         (lambda c: c >= 1 << 30, CHECKSUM_COUNT - CHECKSUM_LOW_COUNT)],
        CHECKSUM_COUNT)

    assert sizes == sorted(set(sizes)) and checksums == sorted(set(checksums))
    assert set(sizes) & parasite_sizes == shared
    assert not set(checksums) & parasite_checksums

    header = [
        "// The fingerprints of known-good modules: file sizes and checksums, each table ascending",
        "// and without repeats. Written by generate_known_good.py from the Windows-side modules",
        "// of a fresh Wine prefix; do not edit.",
        '#include "fingerprints/GoodTables.h"',
        "",
        "namespace velmora {",
        "",
        "namespace {",
        "",
        "constexpr std::int32_t kGoodSizes[] = {",
        rows(sizes),
        "};",
        "static_assert(sizeof(kGoodSizes) / sizeof(kGoodSizes[0]) == %d);" % len(sizes),
        "",
        "constexpr std::int32_t kGoodChecksums[] = {",
        rows(checksums),
        "};",
        "static_assert(sizeof(kGoodChecksums) / sizeof(kGoodChecksums[0]) == %d);" % len(checksums),
        "",
        "}  // namespace",
        "",
        "std::span<const std::int32_t> GoodSizeTable() { return kGoodSizes; }",
        "std::span<const std::int32_t> GoodChecksumTable() { return kGoodChecksums; }",
        "",
        "}  // namespace velmora",
        "",
    ]
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(header))
    if args.list:
        with open(args.list, "w", encoding="utf-8") as f:
            for m in found:
                f.write("%s\t%d\t%d\t%s\n" % (m["name"], m["size"], m["checksum"], m["company"]))

    without = [m for m in found if not m["company"]]
    covered = sum(1 for m in without if m["size"] in sizes and m["checksum"] in checksums)
    print("modules: %d (%d without a company name, %d of them covered by both tables)"
          % (len(found), len(without), covered))
    flagged = [m for m in without if named_like_parasite(m)]
    print("named like parasites: %d, covered: %d" % (len(flagged), sum(
        1 for m in flagged if m["size"] in sizes and m["checksum"] in checksums)))
    print("sizes: %d (%d below 32768, %d multiples of 512)"
          % (len(sizes), sum(s < 32768 for s in sizes), sum(s % 512 == 0 for s in sizes)))
    print("checksums: %d (%d below 2^30)" % (len(checksums), sum(c < 1 << 30 for c in checksums)))


if __name__ == "__main__":
    main()
