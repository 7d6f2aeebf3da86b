#!/usr/bin/env bash
# Builds the extension from a copy of the sources in a directory of another name and length, and fails unless it gives the bytes of a reference build.
#
#   tools/check_reproducible_build.sh REFERENCE.so   the copy against a build at hand (make reproducible-build: .venv's)
#   tools/check_reproducible_build.sh                two copies against each other
#
# The copies hold the files git tracks and those it would track, as the
# reference build saw them.
set -euo pipefail
cd "$(dirname "$0")/.."
VPY=${VPY:-.venv/bin/python}
reference=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build_copy() {  # build_copy PLACE: prints the path of the extension built there
  mkdir -p "$work/$1/src-copy"
  git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/$1/src-copy"
  "$VPY" -m pip wheel -q --no-build-isolation --no-deps -w "$work/$1/wheel" "$work/$1/src-copy" >/dev/null
  (cd "$work/$1/wheel" && "$OLDPWD/$VPY" -m zipfile -e ./*.whl unpacked)
  find "$work/$1/wheel/unpacked" -name 'pymorvel*.so'
}

[ -n "$reference" ] || reference=$(build_copy a)
copy=$(build_copy "longer-directory-name/b")
if cmp -s "$reference" "$copy"; then
  echo "reproducible: $(sha256sum "$copy" | cut -d' ' -f1)"
else
  echo "the two builds differ:"; cmp "$reference" "$copy" | head -5; exit 1
fi
