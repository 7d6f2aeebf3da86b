"""Fails when any of the given object files, x86-64 or aarch64, contains a fused multiply-add instruction.

usage: check_no_fma.py [--allow REGEX] FILE...

--allow exempts the functions whose symbol matches REGEX (searched in the
mangled name). It is for code whose result cannot depend on contraction: a
correctly rounded function returns the same double with or without FMA. A
stripped file has no function names, so nothing in it can be exempted.

aarch64 files are disassembled with aarch64-linux-gnu-objdump (Debian's
binutils-aarch64-linux-gnu), the others with objdump.
"""
import argparse
import re
import subprocess
import sys

# x86-64: vfmadd231pd, vfnmsub132sd, vfmaddsub..., and the FMA4 forms vfmaddpd etc.
X86_FMA = re.compile(r"\bv?f(n?m(add|sub)(sub|add)?\d*[ps][sd]|maddsub\d*p[sd]|msubadd\d*p[sd])\b")
# aarch64: fmadd, fmsub, fnmadd, fnmsub (scalar), fmla, fmls (vector and by
# element), and SVE's fnmla, fnmls, fmad, fmsb, fnmad, fnmsb.
AARCH64_FMA = re.compile(r"\tf(n?m(add|sub)|n?ml[as]|n?mad|n?msb)\b")
# e_machine in an ELF header.
EM_AARCH64 = 183
# "0000000000000150 <symbol>:" opens a function in objdump's listing.
FUNCTION = re.compile(r"^[0-9a-f]+ <(.+)>:$")


def is_aarch64(path):
    """Whether the file (an object, a shared object, or an archive of objects) is aarch64 code."""
    with open(path, "rb") as f:
        data = f.read(1 << 20)
    start = data.find(b"\x7fELF")  # an archive's first member follows its own header
    return start >= 0 and int.from_bytes(data[start + 18:start + 20], "little") == EM_AARCH64


def scan(path, allow):
    """The offending lines of one file, and how many FMAs were exempted."""
    aarch64 = is_aarch64(path)
    objdump = "aarch64-linux-gnu-objdump" if aarch64 else "objdump"
    fma = AARCH64_FMA if aarch64 else X86_FMA
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", path],
                         check=True, capture_output=True, text=True).stdout
    bad, exempted, function = [], 0, ""
    for line in out.splitlines():
        opened = FUNCTION.match(line)
        if opened:
            function = opened.group(1)
        elif fma.search(line):
            if allow and allow.search(function):
                exempted += 1
            else:
                bad.append(f"{path}: {function}: {line.strip()}")
    return bad, exempted


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--allow", type=re.compile)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args(argv)
    bad, exempted = [], 0
    for path in args.paths:
        file_bad, file_exempted = scan(path, args.allow)
        bad += file_bad
        exempted += file_exempted
    if bad:
        print("fused multiply-add instructions found:", *bad[:20], sep="\n  ")
        return 1
    note = f" outside the exempted functions ({exempted} inside)" if args.allow else ""
    print(f"no fused multiply-add in {len(args.paths)} object file(s){note}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
