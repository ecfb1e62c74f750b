#!/bin/bash
# Prints real PDF documents through the driver under a private CUPS
# scheduler (Debian's cupsd, the PDF-to-raster chain of cups-filters and
# Ghostscript, and the built filter) into a file: device, and checks every
# job: it completes, its stream is sound, job_params says what was asked,
# CUPS counts its pages, and every printed page shows the document's page.
#
# usage: cups_e2e_test.sh FILTER PPD DECODER PAGE_COMPARE SOURCE_DIR
set -euo pipefail

filter=$1 ppd=$2 decoder=$3 page_compare=$4 source_dir=$5

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
require_root "a private cupsd must start as root to run filters as lp"
require_tools cupsd lpadmin lp gs unshare setsid
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"

cupsd_pid=
# shellcheck source=tests/private_cupsd.sh
. "$source_dir/tests/private_cupsd.sh"
on_exit stop_private_cupsd
start_private_cupsd "$filter" "$source_dir/tests/lsan.supp"
work=$tmp/work
mkdir -p "$work"

lpadmin -h "$server" -p quillfern -E -v "file://$out/job.prn" -P "$ppd" 2>&1 |
  grep -v "deprecated" || true
lpstat -h "$server" -p quillfern | grep -q enabled || { echo "FAIL: queue not enabled"; exit 1; }

# --- The document and its reference rendering -------------------------------
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 \
  -sOutputFile="$work/document.pdf" "$source_dir/scripts/demo-document.ps"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r600 \
  -sOutputFile="$work/reference-%d.pbm" "$work/document.pdf"
chmod 0644 "$work/document.pdf"

# --- Printing ----------------------------------------------------------------
# Prints the document with the given options and waits for the job to end.
# Leaves the stream in $work/NAME.prn and the pages in $work/NAME/.
print_job() {
  local name=$1
  shift
  local request id
  request=$(lp -h "$server" -d quillfern -t "$name.pdf" "$@" "$work/document.pdf")
  id=${request#request id is quillfern-}
  id=${id%% *}
  if ! wait_for_job "$id"; then
    fail "$name: job $id did not complete"
    grep "\[Job $id\]" "$error_log" | grep -E "ERROR|stopped|aborted|exit|crashed" | tail -20
    # A stopped queue would fail every later job too.
    cupsenable -h "$server" quillfern 2>/dev/null || true
    cancel -h "$server" -a quillfern 2>/dev/null || true
    return 1
  fi
  cp "$out/job.prn" "$work/$name.prn"
  job_id=$id
  if ! "$decoder" --extract "$work/$name" "$work/$name.prn" >"$work/$name.txt" \
    2>"$work/$name.err"; then
    fail "$name: the stream is not sound: $(cat "$work/$name.err")"
    return 1
  fi
}

param() { grep -qx "  $2" "$work/$1.txt" || fail "$1: job_params lacks $2"; }

# The records as "first,last,pageno ..." from the decoder's table.
records() {
  awk '/^records:/ {table = 1; next} table && $1 ~ /^[0-9]+$/ {printf "%s%s,%s,%s", sep, $2, $3, $1; sep = " "}' \
    "$work/$1.txt"
}

expect_records() {
  local got
  got=$(records "$1")
  [ "$got" = "$2" ] || fail "$1: records $got, expected $2"
}

# Every printed page N shows reference page N (a blank page shows nothing).
expect_document() {
  local name=$1 count=$2 page
  for page in $(seq "$count"); do
    "$page_compare" "$work/$name/page-$page.pbm" "$work/reference-$page.pbm" ||
      fail "$name: page $page does not show the document's page $page"
  done
}

expect_blank() {
  grep -E "^ +$2 " "$work/$1.txt" | grep -q " 0.00%$" || fail "$1: record $2 is not blank"
}

# PAGE lines counted by CUPS for the job: the sum of the copies column.
impressions() {
  awk -v job="$1" '$2 == job && $4 == "total" {sum += $5} END {print sum + 0}' "$page_log"
}

echo "== defaults"
if print_job defaults; then
  expect_records defaults "1,0,1 0,0,2 0,1,3"
  param defaults "PageSize=A4"; param defaults "Duplex=None"; param defaults "copies=1"
  param defaults "DocName=defaults.pdf"
  expect_document defaults 3
  [ "$(impressions "$job_id")" = 3 ] || fail "defaults: CUPS counted $(impressions "$job_id") impressions"
fi

echo "== two-sided, three pages: a blank back side"
if print_job duplex -o sides=two-sided-long-edge; then
  expect_records duplex "1,0,1 0,0,2 0,0,3 0,1,4"
  param duplex "Duplex=DuplexNoTumble"
  expect_document duplex 3
  expect_blank duplex 4
fi

echo "== two-sided, uncollated"
if print_job uncollated -o sides=two-sided-long-edge -o Collate=False; then
  expect_records uncollated "1,0,1 0,0,2 0,0,3 0,1,4"
  param uncollated "Collate=False"
  grep -q "argv\[5\]=.*noCollate" "$error_log" || fail "uncollated: noCollate not passed"
  expect_document uncollated 3
fi

echo "== three copies: made by the printer"
if print_job copies -n 3; then
  expect_records copies "1,0,1 0,0,2 0,1,3"
  param copies "copies=3"
  expect_document copies 3
  [ "$(impressions "$job_id")" = 9 ] || fail "copies: CUPS counted $(impressions "$job_id") impressions, expected 9"
fi

echo "== A5 fed by its short edge: turned pages"
if print_job a5 -o PageSize=A5 -o FeedEdge=1; then
  param a5 "PageSize=A5"; param a5 "FeedEdge=1"
  sizes=$(awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {print $5 "x" $6}' "$work/a5.txt" | sort -u)
  [ "$sizes" = "4958x3500" ] || fail "a5: turned page sizes $sizes, expected 4958x3500"
fi

echo "== manual tray turns duplex off"
if print_job manual -o InputSlot=ManualTray -o sides=two-sided-long-edge; then
  param manual "InputSlot=ManualTray"; param manual "Duplex=None"
  expect_records manual "1,0,1 0,0,2 0,1,3"
fi

echo "== Legal turns duplex off"
if print_job legal -o media=Legal -o sides=two-sided-long-edge; then
  param legal "PageSize=Legal"; param legal "Duplex=None"
  expect_records legal "1,0,1 0,0,2 0,1,3"
  awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {print $5 "x" $6}' "$work/legal.txt" |
    grep -qx "5100x8400" || fail "legal: pages are not 5100x8400"
fi

echo "== 1200 dpi"
if print_job fine -o Resolution=1200dpi; then
  param fine "Resolution=1200dpi"
  awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {print $5}' "$work/fine.txt" |
    grep -qx "99[0-9][0-9]" || fail "fine: pages are not 1200 dpi wide"
fi

echo "== a password with a blank, as CUPS escapes it"
if print_job secret -o "AuthPassword='Qf7 Zr9'"; then
  # The decoder masks the password; the stream itself must carry it whole.
  grep -aq ", AuthPassword=Qf7 Zr9, " "$work/secret.prn" || fail "secret: the printer is not sent AuthPassword=Qf7 Zr9"
  # cupsd's own argv[5]= line is the scheduler's; every other line with the
  # job's number came from the filter.
  leaked=$(grep "\[Job $job_id\]" "$error_log" | grep -v '\] argv\[5\]=' | grep -E 'Qf7|Zr9' || true)
  [ -z "$leaked" ] || fail "secret: the filter logged the password: $leaked"
fi

if [ "$failures" -ne 0 ]; then
  echo "== the scheduler's log ends:"
  tail -40 "$error_log"
fi
finish_tests "all jobs printed as expected"
