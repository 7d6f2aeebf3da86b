"""Runs the aarch64 wheel's module in the arm64 CPython under qemu: that it loads, fits on the worker pool, and unwinds through libgcc_s.

usage: wheel_smoke.py UNPACKED_WHEEL COMMAND...

COMMAND starts the interpreter (qemu and its options, then python3.11); each
check runs in a new one, with the unpacked wheel first on its path.

The bits are the bit driver's to compare; this checks what only the module
built for the wheel can get wrong: the interpreter loading it, a C++ failure
reaching Python as an exception, and a daemon thread still inside the module
when the interpreter exits (glibc unwinds it with libgcc_s, through our
frames).
"""
import os
import subprocess
import sys

WHEEL_DIR = os.path.abspath(sys.argv[1])

# Each case: a program for a new interpreter, and what it must print.
CASES = [
    ("import pymorvel; print(pymorvel.__file__.startswith(%r))" % WHEEL_DIR, "True"),
    # 120 points: a matrix large enough for the blocked LU to share out.
    ("import pymorvel\n"
     "x = [[i / 7.0, (i * 3 % 11) / 5.0] for i in range(120)]\n"
     "r = pymorvel.Rbf(x, [a * a - b for a, b in x])\n"
     "print(max(abs(p - (a * a - b)) for p, (a, b) in zip(r.predict(x), x)) < 1e-6)", "True"),
    ("import pymorvel\n"
     "try:\n"
     "    pymorvel.Rbf([[0.0], [1.0]], [1.0, 2.0], kernel_name='no such kernel')\n"
     "except ValueError as e:\n"
     "    print(type(e).__name__)", "ValueError"),
    ("import pymorvel\n"
     "try:\n"
     "    pymorvel.Rbf([[0.0]], [1.0, 2.0])\n"
     "except BaseException as e:\n"
     "    print(type(e).__name__)", "PanicException"),
    ("import threading, pymorvel\n"
     "x = [[i / 9.0] for i in range(60)]\n"
     "def fit_forever():\n"
     "    while True:\n"
     "        pymorvel.Rbf(x, [v[0] for v in x]).predict(x)\n"
     "for _ in range(2):\n"
     "    threading.Thread(target=fit_forever, daemon=True).start()\n"
     "print('exiting')", "exiting"),
]


def main(command):
    env = dict(os.environ, PYTHONPATH=WHEEL_DIR)
    failures = 0
    for program, expected in CASES:
        try:
            run = subprocess.run(command + ["-c", program], capture_output=True, text=True, timeout=300, env=env)
            got, status, errors = run.stdout.strip(), run.returncode, run.stderr
        except subprocess.TimeoutExpired:
            got, status, errors = "(timed out after 300 s)", None, ""
        if got != expected or status != 0:
            failures += 1
            print(f"FAILED (exit {status}): {program!r}\n  printed {got!r}, expected {expected!r}\n{errors}")
    print(f"{len(CASES) - failures} of {len(CASES)} checks of the module in {WHEEL_DIR} passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[2:]))
