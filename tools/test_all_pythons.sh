#!/usr/bin/env bash
# Builds pymorvel and runs the Python test suite on every CPython >= 3.9 that pyenv lists (or those named in PYTHONS).
#
#   tools/test_all_pythons.sh                 every pyenv CPython >= 3.9
#   PYTHONS="3.9 3.13" tools/test_all_pythons.sh
#
# One venv per version, .venv-pyXY, so that the versions never share a build or
# site-packages. NumPy is installed where a wheel exists; the tests that need
# it skip without it. Exits non-zero if any version fails to build or test.
set -uo pipefail
cd "$(dirname "$0")/.."

JOBS=${JOBS:-2}
export CMAKE_BUILD_PARALLEL_LEVEL=$JOBS

versions=()
if [ -n "${PYTHONS:-}" ]; then
  read -r -a versions <<<"$PYTHONS"
else
  if ! command -v pyenv >/dev/null; then
    echo "pyenv not found: name the versions in PYTHONS, e.g. PYTHONS='3.9 3.13'" >&2
    exit 2
  fi
  # Plain CPython releases only: no "system", no other implementations, no
  # free-threaded or debug variants.
  while read -r v; do
    if [[ $v =~ ^3\.([0-9]+)\.[0-9]+$ ]] && (( BASH_REMATCH[1] >= 9 )); then versions+=("$v"); fi
  done < <(pyenv versions --bare)
fi
[ ${#versions[@]} -gt 0 ] || { echo "no CPython >= 3.9 found" >&2; exit 2; }

interpreter_for() {
  local v=$1 root
  root=$(pyenv root 2>/dev/null || true)
  if [ -n "$root" ] && [ -x "$root/versions/$v/bin/python" ]; then
    echo "$root/versions/$v/bin/python"
  elif command -v "python$v" >/dev/null; then
    command -v "python$v"
  else
    return 1
  fi
}

declare -A outcome
failed=0
for v in "${versions[@]}"; do
  echo "=== CPython $v"
  if ! py=$(interpreter_for "$v"); then
    outcome[$v]="no interpreter"; failed=1; continue
  fi
  tag=$("$py" -c 'import sys; print("%d%d" % sys.version_info[:2])')
  venv=.venv-py$tag
  log=build/all-pythons/py$tag.log
  mkdir -p build/all-pythons
  # (An && chain: `set -e` would be ignored inside a `||` list.)
  { { [ -x "$venv/bin/python" ] || "$py" -m venv "$venv"; } &&
    "$venv/bin/python" -m pip install -q --upgrade pip &&
    "$venv/bin/python" -m pip install -q "scikit-build-core>=0.11" cmake ninja pytest mpmath
  } >"$log" 2>&1 || { outcome[$v]="set-up failed (see $log)"; failed=1; continue; }
  if "$venv/bin/python" -m pip install -q --only-binary=:all: numpy >>"$log" 2>&1; then
    numpy=$("$venv/bin/python" -c 'import numpy; print("numpy", numpy.__version__)')
  else
    numpy="no numpy wheel"
  fi
  if ! "$venv/bin/python" -m pip install -q --no-build-isolation . >>"$log" 2>&1; then
    outcome[$v]="build failed (see $log)"; failed=1; continue
  fi
  if (cd tests/python && "../../$venv/bin/python" -m pytest -q -p no:cacheprovider) 2>&1 | tee -a "$log" | tail -n 3; then
    outcome[$v]="passed ($numpy): $(grep -E '(passed|failed|skipped)' "$log" | tail -n 1)"
  else
    outcome[$v]="TESTS FAILED ($numpy; see $log)"; failed=1
  fi
done

echo
echo "=== summary"
for v in "${versions[@]}"; do printf '  CPython %-8s %s\n' "$v" "${outcome[$v]}"; done
exit $failed
