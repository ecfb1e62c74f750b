#!/bin/bash
# Runs the golden jobs through FILTER and compares every output, log and
# work directory listing with tests/golden/.  With --update, rewrites
# tests/golden/ instead (only when the filter's behaviour is meant to change).
#
# usage: golden_check.sh [--update] SOURCE_TESTS_DIR FILTER RASTER_MAKER PPD
set -euo pipefail
update=
[ "${1:-}" = --update ] && { update=1; shift; }
tests=$1 filter=$2 maker=$3 ppd=$4
# Not under /tmp: the jobs run with a /tmp of their own.
actual=$(mktemp -d "$PWD/golden-actual.XXXXXX")
trap 'rm -rf "$actual"' EXIT
status=0
"$tests/golden_jobs.sh" "$filter" "$maker" "$ppd" "$actual" || status=$?
[ "$status" = 0 ] || exit "$status"
if [ -n "$update" ]; then
  rm -rf "$tests/golden"
  cp -r "$actual" "$tests/golden"
  chmod 0755 "$tests/golden"
  echo "golden jobs rewritten"
  exit 0
fi
if diff -r "$tests/golden" "$actual" >"$actual.diff"; then
  echo "every golden job gives the same output, log and scratch files"
  rm -f "$actual.diff"
  exit 0
fi
echo "FAIL: the filter differs from tests/golden:"
head -60 "$actual.diff"
rm -f "$actual.diff"
exit 1
