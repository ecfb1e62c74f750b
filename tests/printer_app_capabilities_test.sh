#!/bin/bash
# What the printer advertises, printed: a table of jobs, one for each
# format and each advertised value that changes what is printed, and the
# values it does not have.  A printed job's pages are checked by content:
# how many, which page (each page of the test documents has one black mark
# at its top-left corner, page N's mark N times as wide as it is high), the
# page's size at the printed resolution, and where the mark lands.  A job
# the printer cannot print must end aborted with a message naming why,
# before anything reaches the device.
#
# usage: printer_app_capabilities_test.sh APP DECODER PAGE_COMPARE SOURCE_DIR
set -euo pipefail

app=$1 decoder=$2 page_compare=$3 source_dir=$4

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
require_root "the server runs as another user"
require_tools gs ipptool runuser unshare setsid
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"
# shellcheck source=tests/app_server.sh
. "$source_dir/tests/app_server.sh"
app_server_setup "$app" "$source_dir"

# --- Documents: marks.pdf (three A4 pages), a5.pdf and a3.pdf (one page) --
docs=$work/docs
cat >"$docs/marks.ps" <<'PS'
%!PS
% WIDTH LENGTH PAGES marks: PAGES pages of WIDTH x LENGTH points, page N
% with a mark 36 points high and N x 36 wide, 20 points from its top-left.
/marks {
  /pages exch def /length exch def /width exch def
  1 1 pages {
    /n exch def
    << /PageSize [width length] >> setpagedevice
    20 length 56 sub n 36 mul 36 rectfill showpage
  } for
} def
PS
make_pdf() {  # NAME WIDTH LENGTH PAGES
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile="$docs/$1.pdf" \
    "$docs/marks.ps" -c "$2 $3 $4 marks" >/dev/null
}
make_pdf marks 595 842 3
make_pdf a5 420 595 1
make_pdf a3 842 1191 1
# The same pages as clients render them: 8-bit gray and one-bit PWG raster.
pwg() {  # NAME PDF COLOR-SPACE BITS
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pwgraster -dcupsColorSpace="$3" -dcupsBitsPerColor="$4" \
    -r600 -sOutputFile="$docs/$1.pwg" "$docs/$2.pdf"
}
pwg marks marks 18 8
pwg marks-1bit marks 3 1
pwg a5 a5 18 8
pwg colour a5 19 8
printf 'plain text\n' >"$docs/note.txt"
chmod -R a+rX "$docs"

if ! start_app_server || ! add_printer q "file://$work/out"; then
  echo "FAIL: the server did not start; its log ends:"
  tail -20 "$log"
  exit 1
fi

# send NAME FILE TYPE ATTRIBUTES: Print-Job with the job attributes given as
# ipptool ATTR lines separated by ";"; sets $job_id.
send() {
  local name=$1 file=$2 type=$3 attributes=$4
  {
    echo "{ OPERATION Print-Job"
    echo "GROUP operation-attributes-tag"
    echo "ATTR charset attributes-charset utf-8"
    echo "ATTR naturalLanguage attributes-natural-language en"
    echo "ATTR uri printer-uri \$uri"
    echo "ATTR name requesting-user-name \$user"
    echo "ATTR name job-name $name"
    echo "ATTR mimeMediaType document-format $type"
    echo "GROUP job-attributes-tag"
    tr ';' '\n' <<<"$attributes"
    echo "FILE \$filename"
    echo "STATUS successful-ok STATUS successful-ok-ignored-or-substituted-attributes"
    echo "EXPECT job-id DISPLAY job-id }"
  } >"$work/$name.test"
  job_id=$(ipptool -t -f "$file" "ipp://localhost:$port/ipp/print/q" "$work/$name.test" |
    awk '/job-id \(integer\)/ {print $NF}')
  [ -n "$job_id" ] || { fail "$name: not accepted"; return 1; }
}

# near A B: within 6 pixels (renderers round a mark's edges differently).
near() { [ $(($1 > $2 ? $1 - $2 : $2 - $1)) -le 6 ]; }

# check_pages NAME PAGE...: one PAGE a page, WIDTH:HEIGHT:LEFT:TOP:MARK-WIDTH
# in pixels.
check_pages() {
  local name=$1 page=0 expected_page box
  shift
  rm -rf "$work/out/$name"
  "$decoder" --extract "$work/out/$name" "$work/out/$name.prn" >/dev/null 2>&1 ||
    { fail "$name: the stream is not sound"; return; }
  [ "$(records "$work/out/$name.prn" | wc -w)" = $# ] ||
    fail "$name: records $(records "$work/out/$name.prn"), expected $# pages"
  for expected_page in "$@"; do
    page=$((page + 1))
    read -r -a box <<<"$("$page_compare" --box "$work/out/$name/page-$page.pbm")"
    IFS=: read -r -a want <<<"$expected_page"
    if [ "${#box[@]}" -ne 6 ] || ! near "${box[0]}" "${want[0]}" || ! near "${box[1]}" "${want[1]}" ||
      ! near "${box[2]}" "${want[2]}" || ! near "${box[3]}" "${want[3]}" ||
      ! near $((box[4] - box[2] + 1)) "${want[4]}"; then
      fail "$name: page $page is '${box[*]}' (size, ink box), expected $expected_page"
    fi
  done
}

# The table: NAME FILE TYPE ATTRIBUTES EXPECTED, where EXPECTED is the pages
# (check_pages's pages, and "Key=Value" job parameters the stream must
# carry) or "aborted: TEXT" for a job refused with TEXT in its message.
# At 600 dpi: an A4 sheet is 4958 x 7017 pixels as the application renders
# it and 4960 x 7016 as a client does; a mark 20 points in is 167 pixels
# in, 300 pixels high, 300 per page number wide.
a4="4958:7017:167:167"
cases=(
  "pdf marks.pdf application/pdf
   | $a4:300 $a4:600 $a4:900 PageSize=A4"
  "pdf-ranges marks.pdf application/pdf ATTR rangeOfInteger page-ranges 2-3
   | $a4:600 $a4:900"
  "pdf-range-past-end marks.pdf application/pdf ATTR rangeOfInteger page-ranges 3-9
   | $a4:900"
  "pdf-range-no-page marks.pdf application/pdf ATTR rangeOfInteger page-ranges 5-6
   | aborted: page-ranges 5-6"
  "raster marks.pwg image/pwg-raster
   | 4960:7016:167:167:300 4960:7016:167:167:600 4960:7016:167:167:900"
  "raster-ranges marks.pwg image/pwg-raster ATTR rangeOfInteger page-ranges 2-3
   | 4960:7016:167:167:600 4960:7016:167:167:900"
  "raster-range-no-page marks.pwg image/pwg-raster ATTR rangeOfInteger page-ranges 4-4
   | aborted: page-ranges 4"
  "a5-none a5.pdf application/pdf ATTR keyword print-scaling none
   | 4958:7017:896:1196:300"
  "a5-auto a5.pdf application/pdf ATTR keyword print-scaling auto
   | 4958:7017:896:1196:300"
  "a5-auto-fit a5.pdf application/pdf ATTR keyword print-scaling auto-fit
   | 4958:7017:896:1196:300"
  "a5-fit a5.pdf application/pdf ATTR keyword print-scaling fit
   | 4958:7017:236:236:425"
  "a5-fill a5.pdf application/pdf ATTR keyword print-scaling fill
   | 4958:7017:236:236:425"
  "a3-auto a3.pdf application/pdf ATTR keyword print-scaling auto
   | 4958:7017:118:118:212"
  "a3-by-name a3.pdf application/pdf ATTR keyword media iso_a3_297x420mm
   | 4958:7017:118:118:212 PageSize=A4"
  "16k-by-name marks.pdf application/pdf ATTR keyword media om_16k_195x270mm;ATTR rangeOfInteger page-ranges 1-1
   | PageSize=16k"
  "16k-by-size marks.pdf application/pdf ATTR collection media-col { MEMBER collection media-size { MEMBER integer x-dimension 19500 MEMBER integer y-dimension 27000 } };ATTR rangeOfInteger page-ranges 1-1
   | PageSize=16k"
  "bank1-by-size marks.pdf application/pdf ATTR collection media-col { MEMBER collection media-size { MEMBER integer x-dimension 21000 MEMBER integer y-dimension 9900 } };ATTR rangeOfInteger page-ranges 1-1
   | PageSize=CUS_1"
  "bank2-by-name marks.pdf application/pdf ATTR keyword media custom_bank2_210x140mm;ATTR rangeOfInteger page-ranges 1-1
   | PageSize=CUS_2"
  "a5-raster a5.pwg image/pwg-raster ATTR keyword media iso_a5_148x210mm
   | 3496:4960:167:167:300 PageSize=A5"
  "raster-wrong-size a5.pwg image/pwg-raster
   | aborted: the job's paper is iso_a4_210x297mm"
  "one-bit-raster marks-1bit.pwg image/pwg-raster
   | aborted: one-bit raster"
  "colour-raster colour.pwg image/pwg-raster
   | aborted: in colour"
  "tray-9 marks.pdf application/pdf ATTR collection media-col { MEMBER keyword media-size-name iso_a4_210x297mm MEMBER keyword media-source tray-9 }
   | aborted: the printer has no tray named tray-9"
  "glossy marks.pdf application/pdf ATTR collection media-col { MEMBER keyword media-size-name iso_a4_210x297mm MEMBER keyword media-type photographic-glossy }
   | aborted: the printer has no media type named photographic-glossy"
  "text note.txt text/plain
   | aborted: the printer cannot print documents of type text/plain"
)

echo "== every capability that changes what is printed, and what the printer has not"
for entry in "${cases[@]}"; do
  read -r name file type attributes <<<"${entry%%|*}"
  expected=$(echo ${entry#*|})
  rm -f "$work/out/$name.prn"
  send "$name" "$docs/$file" "$type" "$attributes" || continue
  wait_job q
  case $expected in
    aborted:*)
      [ "$job_state" = aborted ] || { fail "$name: $job_state ($job_message), expected aborted"; continue; }
      [[ $job_message == *"${expected#aborted: }"* ]] || fail "$name: job-state-message '$job_message'"
      [ -s "$work/out/$name.prn" ] && fail "$name: bytes reached the device"
      ;;
    *)
      [ "$job_state" = completed ] || { fail "$name: $job_state ($job_message)"; continue; }
      read -r -a words <<<"$expected"
      pages=() params=()
      for word in "${words[@]}"; do
        if [[ $word == *=* ]]; then params+=("$word"); else pages+=("$word"); fi
      done
      [ "${#pages[@]}" -eq 0 ] || check_pages "$name" "${pages[@]}"
      for param in "${params[@]}"; do
        grep -qx "  $param" <<<"$(decoded "$work/out/$name.prn")" || fail "$name: job_params lacks $param"
      done
      ;;
  esac
  echo "$name: $job_state${job_message:+ ($job_message)}"
done

echo "== every size by its exact name and by its exact dimensions: the same PageSize"
# The printer's sizes as it advertises them; dimensions in hundredths of mm
# from each PWG name ("iso_a4_210x297mm", "na_letter_8.5x11in").
sizes=$(ipptool -tv "ipp://localhost:$port/ipp/print/q" get-printer-attributes.test |
  sed -n 's/^ *media-supported (1setOf keyword) = //p' | tr ',' ' ')
[ "$(wc -w <<<"$sizes")" = 13 ] || fail "media-supported: '$sizes', expected 13 sizes"
page_size() { decoded "$work/out/$1.prn" | sed -n 's/^  PageSize=//p'; }
for size in $sizes; do
  read -r width length < <(awk -v n="$size" 'BEGIN {
    split(n, part, "_"); d = part[length(part)]; unit = (d ~ /in$/) ? 2540 : 100
    sub(/(mm|in)$/, "", d); split(d, wl, "x"); printf "%d %d\n", wl[1] * unit + 0.5, wl[2] * unit + 0.5 }')
  by_name="ATTR keyword media $size;ATTR rangeOfInteger page-ranges 1-1"
  by_size="ATTR collection media-col { MEMBER collection media-size { MEMBER integer x-dimension $width MEMBER integer y-dimension $length } };ATTR rangeOfInteger page-ranges 1-1"
  for way in name size; do
    attributes=$by_name; [ $way = size ] && attributes=$by_size
    send "$size-$way" "$docs/marks.pdf" application/pdf "$attributes" || continue
    wait_job q
    [ "$job_state" = completed ] || fail "$size by $way: $job_state ($job_message)"
  done
  [ -n "$(page_size "$size-name")" ] && [ "$(page_size "$size-name")" = "$(page_size "$size-size")" ] ||
    fail "$size: PageSize '$(page_size "$size-name")' by name, '$(page_size "$size-size")' by dimensions"
  [ "$size" = iso_a4_210x297mm ] || [ "$(page_size "$size-name")" != A4 ] || fail "$size printed on A4"
done

if [ "$failures" -ne 0 ]; then
  cp "$log" "$PWD/printer-app-capabilities.log" 2>/dev/null || true
fi
finish_tests "every capability printed as advertised or refused with its reason"
