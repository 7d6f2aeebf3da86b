"""The FMA scan (tools/check_no_fma.py) finds every fused multiply-add of x86-64 and aarch64, and nothing else."""
import importlib.util
import pathlib
import re
import shutil
import subprocess

import pytest

TOOL = pathlib.Path(__file__).resolve().parents[2] / "tools" / "check_no_fma.py"

if not TOOL.exists():
    pytest.skip("tools/check_no_fma.py is not beside these tests", allow_module_level=True)
_spec = importlib.util.spec_from_file_location("check_no_fma", TOOL)
check_no_fma = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_no_fma)

# (assembler, instruction, fused): each alone in a function of its own.
INSTRUCTIONS = [
    ("aarch64", "fmadd d0, d1, d2, d3", True),
    ("aarch64", "fmsub d0, d1, d2, d3", True),
    ("aarch64", "fnmadd d0, d1, d2, d3", True),
    ("aarch64", "fnmsub s0, s1, s2, s3", True),
    ("aarch64", "fmla v0.2d, v1.2d, v2.2d", True),
    ("aarch64", "fmls v0.2d, v1.2d, v2.d[1]", True),
    # A negated product and the separate operations are rounded once each.
    ("aarch64", "fnmul d0, d1, d2", False),
    ("aarch64", "fmul v0.2d, v1.2d, v2.2d", False),
    ("aarch64", "fsub d0, d1, d2", False),
    ("aarch64", "fmov d0, d1", False),
    ("x86_64", "vfmadd231pd %ymm2, %ymm1, %ymm0", True),
    ("x86_64", "vfnmsub132sd %xmm2, %xmm1, %xmm0", True),
    ("x86_64", "vmulpd %ymm2, %ymm1, %ymm0", False),
]

ASSEMBLERS = {"aarch64": "aarch64-linux-gnu-as", "x86_64": "as"}
OBJDUMPS = {"aarch64": "aarch64-linux-gnu-objdump", "x86_64": "objdump"}


def assemble(tmp_path, arch, functions):
    """An object file with one function per (name, instruction)."""
    for tool in (ASSEMBLERS[arch], OBJDUMPS[arch]):
        if shutil.which(tool) is None:
            pytest.skip(f"{tool} is not installed (make aarch64-deps)")
    lines = [".text"]
    for name, instruction in functions:
        lines += [f".globl {name}", f".type {name}, %function", f"{name}:", instruction, "ret"]
    source = tmp_path / f"{arch}.s"
    source.write_text("\n".join(lines) + "\n")
    obj = tmp_path / f"{arch}.o"
    subprocess.run([ASSEMBLERS[arch], "-o", str(obj), str(source)], check=True)
    return obj


@pytest.mark.parametrize("arch, instruction, fused", INSTRUCTIONS,
                         ids=[f"{a}-{i.split()[0]}-{'fused' if f else 'plain'}" for a, i, f in INSTRUCTIONS])
def test_each_fused_instruction_is_found(tmp_path, arch, instruction, fused):
    obj = assemble(tmp_path, arch, [("compute", instruction)])
    bad, exempted = check_no_fma.scan(str(obj), None)
    assert (len(bad), exempted) == ((1, 0) if fused else (0, 0)), bad


@pytest.mark.parametrize("arch, instruction", [("aarch64", "fmadd d0, d1, d2, d3"),
                                               ("x86_64", "vfmadd231sd %xmm2, %xmm1, %xmm0")])
def test_only_the_allowed_functions_are_exempt(tmp_path, arch, instruction):
    obj = assemble(tmp_path, arch, [("_ZN18pymorvel_llvm_libc3expEd", instruction),
                                    ("_ZN8pymorvel6kernelEd", instruction)])
    bad, exempted = check_no_fma.scan(str(obj), re.compile("18pymorvel_llvm_libc"))
    assert exempted == 1
    assert len(bad) == 1 and "_ZN8pymorvel6kernelEd" in bad[0]
