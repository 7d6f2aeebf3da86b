#!/usr/bin/env bash
# Builds the extension from two copies of the tracked sources in directories of
# different names and lengths, and fails unless both give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
VPY=${VPY:-.venv/bin/python}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for place in a "longer-directory-name/b"; do
  mkdir -p "$work/$place/src-copy"
  git ls-files -z | xargs -0 cp --parents -t "$work/$place/src-copy"
  "$VPY" -m pip wheel -q --no-build-isolation --no-deps -w "$work/$place/wheel" "$work/$place/src-copy" >/dev/null
  (cd "$work/$place/wheel" && "$OLDPWD/$VPY" -m zipfile -e ./*.whl unpacked)
done
a=$(find "$work/a/wheel/unpacked" -name 'pymorvel*.so')
b=$(find "$work/longer-directory-name/b/wheel/unpacked" -name 'pymorvel*.so')
if cmp -s "$a" "$b"; then
  echo "reproducible: $(sha256sum "$a" | cut -d' ' -f1)"
else
  echo "the two builds differ:"; cmp "$a" "$b" | head -5; exit 1
fi
