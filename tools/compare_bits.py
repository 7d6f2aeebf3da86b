"""Compares two outputs of the bit driver (tests/bits/bit_driver.cpp) and fails on a single differing bit.

usage: compare_bits.py EXPECTED GOT [--label TEXT]

Each output is a header line ("# kernel shapes option n workers") per case,
then one value per line as the 16 hex digits of its bits, or the failure the
case ended in. Every line must match: a differing value, a failure in one
output only, or a case missing from one are all differences.
"""
import argparse
import sys


def read(path):
    with open(path, encoding="ascii") as f:
        return f.read().splitlines()


def compare(expected, got):
    """The number of values compared and the differences, each with its case."""
    values, differences, case = 0, [], "(before the first case)"
    for number, (want, have) in enumerate(zip(expected, got), start=1):
        if want.startswith("# "):
            case = want[2:]
        elif not want.startswith(("fit ", "predict ")):
            values += 1
        if want != have:
            differences.append(f"line {number}, {case}: {want} != {have}")
    if len(expected) != len(got):
        differences.append(f"{len(expected)} lines != {len(got)} lines")
    return values, differences


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("expected")
    parser.add_argument("got")
    parser.add_argument("--label", default="")
    args = parser.parse_args(argv)
    expected = read(args.expected)
    values, differences = compare(expected, read(args.got))
    cases = sum(line.startswith("# ") for line in expected)
    label = f"{args.label}: " if args.label else ""
    if differences:
        print(f"{label}{len(differences)} of {values} values differ in bits:", *differences[:10], sep="\n  ")
        return 1
    if values == 0:
        print(f"{label}no values to compare")
        return 1
    print(f"{label}{values} values in {cases} cases compared: the same bits")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
