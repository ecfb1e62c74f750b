#!/bin/bash
# The printer application behind CUPS, as a host's users meet it: a private
# cupsd makes a driverless queue for it (lpadmin -m everywhere), and
# documents printed through that queue reach the printer as the filter
# would send them: every size CUPS offers by its plain name (none
# borderless, A4 the default) with the filter's PageSize (16k, and CUS_1 and
# CUS_2 for the bank slips) and the same duplex rules, and print-quality
# draft and normal at 600 dpi, high at 1200.
#
# usage: printer_app_cups_test.sh APP DECODER PAGE_COMPARE SOURCE_DIR
set -euo pipefail

app=$1 decoder=$2 page_compare=$3 source_dir=$4

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
require_root "cupsd and the server run as other users"
require_tools cupsd lpadmin lp gs ipptool runuser unshare setsid curl
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"
# shellcheck source=tests/app_server.sh
. "$source_dir/tests/app_server.sh"
app_server_setup "$app" "$source_dir"
cupsd_pid=
# shellcheck source=tests/private_cupsd.sh
. "$source_dir/tests/private_cupsd.sh"
on_exit stop_private_cupsd

docs=$work/docs
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -dLastPage=1 \
  -sOutputFile="$docs/page.pdf" "$source_dir/scripts/demo-document.ps"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r600 \
  -sOutputFile="$docs/reference.pbm" "$docs/page.pdf"
chmod -R a+rX "$docs"

if ! start_app_server || ! add_printer q "file://$work/out" || ! start_private_cupsd; then
  echo "FAIL: the servers did not start"
  exit 1
fi
lpadmin -h "$server" -p ev -E -v "ipp://localhost:$port/ipp/print/q" -m everywhere 2>&1 | tee /dev/stderr |
  grep -v deprecated || true
# cupsd writes the queue's PPD from the printer's attributes after lpadmin
# has returned.
ppd=$tmp/etc/ppd/ev.ppd
for attempt in $(seq 300); do
  grep -q '^\*DefaultPageSize' "$ppd" 2>/dev/null && break
  sleep 0.1
done
[ -f "$ppd" ] || { echo "FAIL: CUPS made no queue"; tail -20 "$error_log"; exit 1; }

# print_cups NAME [lp options...]: prints the page through the queue and
# waits until the application's stream $work/out/NAME.prn is whole.
print_cups() {
  local name=$1 request id attempt
  shift
  request=$(lp -h "$server" -d ev -t "$name" "$@" "$docs/page.pdf") || { fail "$name: lp failed"; return 1; }
  id=${request#request id is ev-}
  id=${id%% *}
  wait_for_job "$id" || { fail "$name: CUPS's job $id did not complete"; return 1; }
  for attempt in $(seq 300); do
    decoded "$work/out/$name.prn" | grep -q "stream OK" && return 0
    sleep 0.2
  done
  fail "$name: the application's stream is not whole: $(decoded "$work/out/$name.prn" | tail -3)"
  return 1
}
param() { grep -qx "  $2" <<<"$(decoded "$work/out/$1.prn")" || fail "$1: job_params lacks $2"; }
widths() {
  decoded "$work/out/$1.prn" | awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {print $5}' | sort -u
}

echo "== CUPS offers every size by its plain name, A4 the default"
sizes=$(sed -n 's/^\*PageSize \([^/:]*\).*/\1/p' "$ppd" | sort | tr '\n' ' ')
[ "$sizes" = "195x270mm 210x140mm 210x99mm A4 A5 A6 B5 B6 Executive ISOB5 Legal Letter Statement " ] ||
  fail "CUPS's sizes: $sizes"
grep -q '^\*DefaultPageSize: A4$' "$ppd" || fail "the default size is $(grep DefaultPageSize "$ppd")"

echo "== a default job: A4 at 600 dpi, the document's page"
print_cups default && {
  param default "PageSize=A4"; param default "Resolution=600dpi"
  "$decoder" --extract "$work/out/default" "$work/out/default.prn" >/dev/null &&
    "$page_compare" "$work/out/default/page-1.pbm" "$docs/reference.pbm" >/dev/null ||
    fail "default: the page does not show the document"
}

echo "== every size reaches the printer as the filter names it"
for size in A4:A4 A5:A5 A6:A6 B5:B5 B6:B6 Executive:Executive ISOB5:B5ISO Legal:Legal \
  Letter:Letter Statement:Statement 195x270mm:16k 210x99mm:CUS_1 210x140mm:CUS_2; do
  print_cups "size-${size%%:*}" -o media="${size%%:*}" && param "size-${size%%:*}" "PageSize=${size#*:}"
done

echo "== the duplex rules: 16K prints two-sided, a bank slip one-sided"
print_cups duplex-16k -o media=195x270mm -o sides=two-sided-long-edge &&
  param duplex-16k "Duplex=DuplexNoTumble"
print_cups duplex-bank -o media=210x140mm -o sides=two-sided-long-edge &&
  param duplex-bank "Duplex=None"

echo "== print-quality: draft and normal at 600 dpi, high at 1200"
for quality in 3:600:49 4:600:49 5:1200:99; do
  name=quality-${quality%%:*}
  resolution=${quality#*:}
  print_cups "$name" -o print-quality="${quality%%:*}" && {
    param "$name" "Resolution=${resolution%%:*}dpi"
    [[ $(widths "$name") == "${quality##*:}"[0-9][0-9] ]] || fail "$name: pages are $(widths "$name") wide"
  }
done

finish_tests "CUPS's driverless queue prints every size and quality as the filter would"
