#!/bin/sh
# The built PPD passes cupstestppd with the filter on CUPS's filter path, and
# offers what the filter reads.
#
# usage: ppd_test.sh PPD FILTER
set -eu
ppd=$1 filter=$2
if ! command -v cupstestppd >/dev/null; then
  echo "SKIP: cupstestppd is not installed"
  exit 77
fi
serverbin=$(mktemp -d /tmp/quillfern-ppd.XXXXXX)
trap 'rm -rf "$serverbin"' EXIT
mkdir "$serverbin/filter"
cp "$filter" "$serverbin/filter/rastertoquillfern"
status=0
fail() { echo "FAIL: $*"; status=1; }

CUPS_SERVERBIN=$serverbin cupstestppd "$ppd" || fail "cupstestppd does not pass the PPD"
# Only the page size names may draw warnings: they are the names the printer
# takes in job_params, and full-sheet sizes are not named ".Fullbleed".
sizes='A4|A5|B5|16k|Letter|Statement|Legal|Executive|A6|B6|B5ISO|BANK1|BANK2'
warnings=$(CUPS_SERVERBIN=$serverbin cupstestppd -v "$ppd" | grep WARN |
  grep -vE "Size \"($sizes)\" should be the Adobe standard name" || true)
[ -z "$warnings" ] || fail "unexpected warnings: $warnings"

for line in '*cupsManualCopies: False' '*ColorDevice: False' '*DefaultResolution: 600dpi' \
  '*DefaultPageSize: A4' '*DefaultInputSlot: MainTray' '*DefaultDuplex: None' \
  '*DefaultFeedEdge: 0' '*DefaultMediaType: Plain' '*OpenUI *Collate/Collate: Boolean' \
  '*cupsFilter: "application/vnd.cups-raster 100 rastertoquillfern"'; do
  grep -qF "$line" "$ppd" || fail "the PPD lacks: $line"
done
for size in A4 A5 B5 16k Letter Statement Legal Executive A6 B6 B5ISO BANK1 BANK2; do
  for keyword in PageSize PageRegion ImageableArea PaperDimension; do
    grep -q "^\*$keyword $size/" "$ppd" || fail "no $keyword $size"
  done
done
grep -q '/cupsColorSpace 3' "$ppd" && grep -q '/cupsBitsPerColor 1' "$ppd" ||
  fail "the PPD does not ask for one-bit black raster"
[ "$status" = 0 ] && echo "the PPD passes and offers every choice the filter reads"
exit "$status"
