#!/bin/sh
# The ABI of the built liborbilo_sdk.so.1 against the committed baseline: a
# removed, added or changed call or public type fails. A deliberate change
# updates the baseline in the same commit: make abi-baseline, which runs this
# with --update.
#
#   abi_check.sh LIBRARY HEADER BASELINE [--update]
set -u
library=$1 header=$2 baseline=$3 update=${4:-}
if ! command -v abidw > /dev/null || ! command -v abidiff > /dev/null; then
  echo "abidw and abidiff are missing (Debian's abigail-tools; make deps installs them)"
  exit 1
fi
current=$(mktemp) || exit 1
trap 'rm -f "$current"' EXIT
abidw --no-corpus-path --no-show-locs --no-comp-dir-path --exported-interfaces-only \
  --drop-private-types --header-file "$header" --out-file "$current" "$library" || exit 1
if [ "$update" = --update ]; then
  cp "$current" "$baseline" && echo "Wrote $baseline." && exit 0
  exit 1
fi
abidiff --no-show-locs --harmless "$baseline" "$current"
status=$?
if [ $status -ne 0 ]; then
  echo "The library's ABI differs from $baseline (abidiff status $status)."
  echo "If the change is deliberate, run make abi-baseline and commit the baseline with it."
  exit 1
fi
echo "The library's ABI matches $baseline."
