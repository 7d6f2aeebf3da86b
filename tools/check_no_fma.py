"""Fails when any of the given object files contains a fused multiply-add instruction."""
import re
import subprocess
import sys

# vfmadd231pd, vfnmsub132sd, vfmaddsub..., and the FMA4 forms vfmaddpd etc.
FMA = re.compile(r"\bv?f(n?m(add|sub)(sub|add)?\d*[ps][sd]|maddsub\d*p[sd]|msubadd\d*p[sd])\b")


def main(paths):
    bad = []
    for path in paths:
        out = subprocess.run(["objdump", "-d", "--no-show-raw-insn", path],
                             check=True, capture_output=True, text=True).stdout
        bad += [f"{path}: {line.strip()}" for line in out.splitlines() if FMA.search(line)]
    if bad:
        print("fused multiply-add instructions found:", *bad[:20], sep="\n  ")
        return 1
    print(f"no fused multiply-add in {len(paths)} object file(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
