#!/usr/bin/env python3
"""Writes framework/CaseTable.inc: the upper-casing of every UTF-16 unit that has a one-unit
upper case, as runs of (first, last, stride, delta). The host build folds names with it the way
the platform's ordinal comparison does; the Windows build asks the platform itself."""

import sys
import unicodedata


def mappings():
    for unit in range(0x10000):
        if 0xD800 <= unit < 0xE000:
            continue
        upper = chr(unit).upper()
        if len(upper) == 1 and ord(upper) != unit and ord(upper) < 0x10000:
            yield unit, ord(upper)


def runs(items):
    i = 0
    while i < len(items):
        first, upper = items[i]
        delta = upper - first
        best_end, best_stride = i, 1
        for stride in (1, 2):
            j = i
            while (j + 1 < len(items) and items[j + 1][0] == items[j][0] + stride
                   and items[j + 1][1] - items[j + 1][0] == delta):
                j += 1
            if j > best_end:
                best_end, best_stride = j, stride
        yield first, items[best_end][0], best_stride, delta
        i = best_end + 1


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "framework/CaseTable.inc"
    lines = [f"// Made by scripts/make_case_table.py from Unicode {unicodedata.unidata_version}; "
             "do not edit.\n"]
    for first, last, stride, delta in runs(list(mappings())):
        lines.append(f"{{0x{first:04X}, 0x{last:04X}, {stride}, {delta}}},\n")
    with open(out, "w", encoding="ascii") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()
