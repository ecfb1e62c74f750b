#!/bin/bash
# The printer application as a print server is used when things go wrong:
# several printers printing at once, jobs sent together to one printer, a
# network printer that takes one connection at a time and one that is down,
# bad documents, an encoder that leaves garbage, a device that fails, a
# cancel during a long job, the server killed during a job and started
# again, and stopping it.  Every job must be printed whole and right or reported failed,
# no process may be left behind, and scratch space stays within a few pages.
# The figures it measures are printed as "measured: ...".
#
# usage: printer_app_faults_test.sh APP DECODER PAGE_COMPARE SOURCE_DIR
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

# An encoder first on the server's PATH that, while $work/tmp/garbage
# exists, ends well but leaves text where the page's JBIG file should be.
# While $work/tmp/measure exists it notes the size of the job's scratch
# directory once the page is encoded (its PBM and JBIG files are both there).
cat >"$work/bin/pbmtojbg" <<SH
#!/bin/sh
for last; do :; done
if [ -e "$work/tmp/garbage" ]; then
  echo "not a page" >"\$last"
  exit 0
fi
/usr/bin/pbmtojbg "\$@" || exit \$?
[ -e "$work/tmp/measure" ] && du -sb "\$(dirname "\$last")" | cut -f1 >>"$work/tmp/scratch-sizes"
exit 0
SH
chmod 0755 "$work/bin/pbmtojbg"

# --- Documents --------------------------------------------------------------
docs=$work/docs
pdf() {  # NAME PAGES: a text document of PAGES pages, and its pages at 600 dpi
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$docs/$1.pdf" \
    -c "/pages $2 def" -f "$source_dir/bench/text-document.ps"
}
for pages in 1 2 3; do
  pdf "doc$pages" "$pages"
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r600 -sOutputFile="$docs/doc$pages-%d.pbm" \
    "$docs/doc$pages.pdf"
done
pdf thirty 30
pdf forty 40
head -c 5000 /dev/urandom >"$docs/random.pdf"
head -c 2000 "$docs/doc3.pdf" >"$docs/truncated.pdf"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOwnerPassword=owner -sUserPassword=user \
  -sOutputFile="$docs/encrypted.pdf" "$docs/doc1.pdf"
chmod -R a+rX "$docs"

if ! start_app_server; then
  echo "FAIL: the server did not start; its log ends:"
  tail -20 "$log"
  exit 1
fi
for n in 1 2 3; do
  mkdir "$work/out/p$n"
  chown nobody "$work/out/p$n"
  add_printer "p$n" "file://$work/out/p$n" || exit 1
done
add_printer full "file:///dev/full" || exit 1
# A printer whose device is one file: every job's stream is appended to it.
touch "$work/out/seq.prn"
chown nobody "$work/out/seq.prn"
add_printer seq "file://$work/out/seq.prn" || exit 1

# Milliseconds since the epoch, and a span of them as seconds.
now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }

# Processes the server started for its jobs that are still running.
job_processes() {
  local pid
  for pid in $(pgrep -u nobody -f -- "$work/spool/" || true); do
    ps -o comm= -p "$pid" || true
  done | sort | uniq -c | tr -s ' \n' ' '
}

# wait_for_bytes FILE: waits until FILE holds more than a Job header and a
# page (the job has pages on its device).  The log cannot tell: its "[Job N]"
# does not say which printer's job N.
wait_for_bytes() {
  local attempt
  for attempt in $(seq 600); do
    [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt 10000 ] && return 0
    sleep 0.1
  done
  fail "$1 did not grow"
}

# check_pages STREAM DOC-PAGES: the stream is sound, has DOC-PAGES records,
# and each shows that page of doc$DOC-PAGES.
check_pages() {
  local stream=$1 pages=$2 page
  rm -rf "$stream.pages"
  "$decoder" --extract "$stream.pages" "$stream" >/dev/null 2>&1 || { fail "$stream: not sound"; return; }
  [ "$(records "$stream" | wc -w)" = "$pages" ] || fail "$stream: $(records "$stream"), expected $pages pages"
  for ((page = 1; page <= pages; page++)); do
    "$page_compare" "$stream.pages/page-$page.pbm" "$docs/doc$pages-$page.pbm" >/dev/null ||
      fail "$stream: page $page is not page $page of doc$pages"
  done
}

echo "== three printers, four jobs each, all sent at once"
mkdir "$work/ids"
# submit_at_once QUEUE NAME FILE: sends the job in the background, its id
# into $work/ids/NAME; wait_submitted waits for all of them.
submitting=()
submit_at_once() {
  (submit "$1" "$2" "$3" application/pdf && echo "$job_id" >"$work/ids/$2") &
  submitting+=($!)
}
wait_submitted() {
  wait "${submitting[@]}" || true
  submitting=()
}
for round in 1 2 3 4; do
  for n in 1 2 3; do submit_at_once "p$n" "p$n-$round" "$docs/doc$n.pdf"; done
done
wait_submitted
for n in 1 2 3; do
  for round in 1 2 3 4; do
    name=p$n-$round
    [ -s "$work/ids/$name" ] || { fail "$name was not accepted"; continue; }
    job_id=$(cat "$work/ids/$name")
    wait_job "p$n"
    [ "$job_state" = completed ] || { fail "$name: $job_state ($job_message)"; continue; }
    check_pages "$work/out/p$n/$name.prn" "$n"
  done
done

echo "== jobs waiting for one printer print oldest first; jobs sent together print whole"
# A long job keeps the printer busy while five more are accepted one after
# the other: they wait together and must print in the order accepted.  Then
# six are sent at once: a job's turn comes once its document has arrived,
# so their order is PAPPL's, but each must reach the device whole.
submit seq seq-long "$docs/thirty.pdf" application/pdf && echo "$job_id" >"$work/ids/seq-long"
wait_for_bytes "$work/out/seq.prn"
for round in 1 2 3 4 5; do
  submit seq "seq-$round" "$docs/doc2.pdf" application/pdf && echo "$job_id" >"$work/ids/seq-$round"
done
for round in 6 7 8 9 10 11; do submit_at_once seq "seq-$round" "$docs/doc2.pdf"; done
wait_submitted
for name in seq-long seq-{1..11}; do
  job_id=$(cat "$work/ids/$name" 2>/dev/null || echo 0)
  wait_job seq
  [ "$job_state" = completed ] || fail "$name: $job_state ($job_message)"
done
# The device is one file: split it at each Job header.
mkdir "$work/out/seq"
offsets=$(grep -obUa "rv7731_param" "$work/out/seq.prn" | cut -d: -f1 || true)
offsets="$offsets $(stat -c %s "$work/out/seq.prn")"
set -- $offsets
order=
for ((index = 1; index < $#; index++)); do
  start=${!index}
  next=$((index + 1))
  end=${!next}
  dd if="$work/out/seq.prn" of="$work/out/seq/$index.prn" iflag=skip_bytes,count_bytes \
    skip="$start" count=$((end - start)) status=none
  if [ "$index" = 1 ]; then
    "$decoder" "$work/out/seq/1.prn" >/dev/null 2>&1 && [ "$(records "$work/out/seq/1.prn" | wc -w)" = 30 ] ||
      fail "seq: the long job's stream is not whole"
  else
    check_pages "$work/out/seq/$index.prn" 2
  fi
  order="$order $(decoded "$work/out/seq/$index.prn" | sed -n 's/^  jobId=//p')"
done
waiting=$(cat "$work/ids"/seq-long "$work/ids"/seq-[1-5] | sort -n | tr '\n' ' ')
together=$(cat "$work/ids"/seq-[6-9] "$work/ids"/seq-1[01] | sort -n | tr '\n' ' ')
echo "measured: streams in the device's file:$order (waiting: $waiting; sent together: $together)"
set -- $order
[ "$(echo "${@:1:6}")" = "$(echo $waiting)" ] || fail "seq: the waiting jobs printed as ${*:1:6}, expected $waiting"
[ "$(printf '%s\n' "${@:7}" | sort -n | tr '\n' ' ')" = "$together" ] ||
  fail "seq: the jobs sent together printed as ${*:7}, expected $together"

echo "== a network printer takes one job at a time, oldest first, each whole"
# listen PORT DIR: a printer that takes one connection at a time and keeps
# each in its own file, DIR/1.prn, DIR/2.prn, ... in the order accepted.
listen() {
  mkdir -p "$2"
  python3 -c '
import socket, sys
server = socket.create_server(("127.0.0.1", int(sys.argv[1])), backlog=8)
open(sys.argv[2] + "/listening", "w").close()
count = 0
while True:
    connection, _ = server.accept()
    count += 1
    with connection, open("%s/%d.prn" % (sys.argv[2], count), "wb") as capture:
        while data := connection.recv(65536):
            capture.write(data)
' "$1" "$2" &
  listener_pid=$!
  local attempt
  for attempt in $(seq 100); do
    [ -e "$2/listening" ] && rm "$2/listening" && return 0
    sleep 0.1
  done
  fail "the listener on port $1 did not start"
}
stop_listener() {
  kill "$listener_pid" 2>/dev/null || true
  wait "$listener_pid" 2>/dev/null || true
}
on_exit 'kill "${listener_pid:-}" 2>/dev/null || true'
# The jobs of the network printer, as the connections brought them.
captured_jobs() {
  local capture
  for capture in $(cd "$1" && ls -- *.prn | sort -n); do
    decoded "$1/$capture" | sed -n 's/^  jobId=//p'
  done | tr '\n' ' '
}
net_port=$(free_port)
add_printer net "socket://127.0.0.1:$net_port" || exit 1
listen "$net_port" "$work/out/net"
# The first job keeps the printer busy while three more are accepted one
# after the other; then three are sent at once.
for round in 1 2 3 4; do
  submit net "net-$round" "$docs/doc2.pdf" application/pdf && echo "$job_id" >"$work/ids/net-$round"
done
for round in 5 6 7; do submit_at_once net "net-$round" "$docs/doc2.pdf"; done
wait_submitted
for name in net-{1..7}; do
  job_id=$(cat "$work/ids/$name" 2>/dev/null || echo 0)
  wait_job net
  [ "$job_state" = completed ] || fail "$name: $job_state ($job_message)"
done
stop_listener
connections=$(ls "$work/out/net" | wc -l)
order=$(captured_jobs "$work/out/net")
for capture in "$work/out/net"/*.prn; do check_pages "$capture" 2; done
waiting=$(cat "$work/ids"/net-[1-4] | sort -n | tr '\n' ' ')
together=$(cat "$work/ids"/net-[5-7] | sort -n | tr '\n' ' ')
echo "measured: $connections connections to the network printer, jobs in them: $order(one after the other: $waiting; sent together: $together)"
set -- $order
[ "$#" = 7 ] && [ "$connections" = 7 ] || fail "net: $# jobs in $connections connections, expected 7 in 7"
[ "$(echo "${@:1:4}")" = "$(echo $waiting)" ] || fail "net: the jobs printed as ${*:1:4}, expected $waiting"
[ "$(printf '%s\n' "${@:5}" | sort -n | tr '\n' ' ')" = "$together" ] ||
  fail "net: the jobs sent together printed as ${*:5}, expected $together"

echo "== a network printer that is down: said at once, cancelled and deleted at once, printed once up"
# printer_reasons QUEUE: the printer's state reasons.  server_fds: how many
# descriptors the server holds.
printer_reasons() {
  ipptool -t "ipp://localhost:$port/ipp/print/$1" "$ipp/printer-state.test" |
    sed -n 's/.*printer-state-reasons (.*) = //p'
}
server_fds() {
  ls "/proc/$(pgrep -u nobody -f "$work/bin/quillfern-printer-app server" | head -1)/fd" | wc -l
}
# wait_refused: waits (10 s at most) for job $job_id to say why it waits.
wait_refused() {
  local attempt result
  for attempt in $(seq 50); do
    result=$(ipptool -t -d job_id="$job_id" "ipp://localhost:$port/ipp/print/down" "$ipp/job-state.test" || true)
    job_message=$(echo "$result" | sed -n 's/.*job-state-message (textWithoutLanguage) = //p')
    [[ "$job_message" == *"127.0.0.1:$down_port: connection refused"* ]] && return 0
    sleep 0.2
  done
}
down_port=$(free_port)
add_printer down "socket://127.0.0.1:$down_port" || exit 1
fds_before=$(server_fds)
submit down down-1 "$docs/doc1.pdf" application/pdf || true
started=$(now_ms)
wait_refused
took=$(($(now_ms) - started))
reasons=$(printer_reasons down)
echo "measured: down printer: after $(seconds "$took")s job message '$job_message', printer-state-reasons '$reasons'"
[[ "$job_message" == *"127.0.0.1:$down_port: connection refused"* ]] ||
  fail "down: the job's message is '$job_message'"
[[ "$reasons" == *offline* ]] || fail "down: printer-state-reasons '$reasons'"
started=$(now_ms)
ipptool -t -d job_id="$job_id" "ipp://localhost:$port/ipp/print/down" "$ipp/cancel-job.test" >/dev/null ||
  fail "down: Cancel-Job refused"
wait_job down 10
took=$(($(now_ms) - started))
echo "measured: down printer: $job_state $(seconds "$took")s after Cancel-Job"
[ "$job_state" = canceled ] || fail "down: the cancelled job is $job_state ($job_message)"
[ "$took" -lt 8000 ] || fail "down: Cancel-Job took $(seconds "$took")s"
listen "$down_port" "$work/out/down"
print down down-2 "$docs/doc1.pdf" application/pdf || true
stop_listener
reasons=$(printer_reasons down)
sleep 0.5
fds_after=$(server_fds)
echo "measured: down printer, once up: $job_state, printer-state-reasons '$reasons', server descriptors $fds_before before, $fds_after after"
[ "$job_state" = completed ] || fail "down: once up, the job is $job_state ($job_message)"
if [ "$(ls "$work/out/down")" = 1.prn ]; then
  check_pages "$work/out/down/1.prn" 1
else
  fail "down: captured $(ls "$work/out/down")"
fi
[[ "$reasons" != *offline* ]] || fail "down: once up, printer-state-reasons '$reasons'"
[ "$fds_after" -le "$fds_before" ] || fail "down: the server holds $fds_after descriptors, $fds_before before"
# Down again: deleting the printer ends its waiting job.
submit down down-3 "$docs/doc1.pdf" application/pdf || true
wait_refused
started=$(now_ms)
as_server "$app" delete -d down >/dev/null 2>&1 || fail "down: delete refused"
for attempt in $(seq 100); do
  ipptool -t "ipp://localhost:$port/ipp/print/down" "$ipp/printer-state.test" >/dev/null 2>&1 || break
  sleep 0.1
done
took=$(($(now_ms) - started))
echo "measured: down printer deleted $(seconds "$took")s after delete"
[ "$took" -lt 8000 ] || fail "down: deleting the printer took $(seconds "$took")s"

echo "== documents that cannot be printed are reported, and the printer goes on"
for bad in random truncated encrypted; do
  print p1 "$bad" "$docs/$bad.pdf" application/pdf || true
  echo "measured: $bad.pdf: $job_state, '$job_message'"
  [ "$job_state" = aborted ] || fail "$bad: $job_state"
  case $bad:$job_message in
    encrypted:"the PDF is encrypted" | random:"the document is not a printable PDF" | \
      truncated:"the document is not a printable PDF") ;;
    *) fail "$bad: message '$job_message'" ;;
  esac
done
print p1 after-bad "$docs/doc1.pdf" application/pdf || true
[ "$job_state" = completed ] || fail "after-bad: $job_state ($job_message)"
check_pages "$work/out/p1/after-bad.prn" 1

echo "== an encoder that ends well but leaves garbage"
touch "$work/tmp/garbage"
print p1 garbage "$docs/doc3.pdf" application/pdf || true
rm -f "$work/tmp/garbage"
echo "measured: garbage encoder: $job_state, '$job_message', records '$(records "$work/out/p1/garbage.prn")'"
[ "$job_state" = aborted ] || fail "garbage: $job_state"
[ -z "$(records "$work/out/p1/garbage.prn")" ] || fail "garbage: records were sent"

echo "== a failing device and a cancel end a 30-page 1200 dpi job at once"
started=$(now_ms)
print full thirty-full "$docs/thirty.pdf" application/pdf resolution=1200dpi || true
took=$(($(now_ms) - started))
sleep 0.5
left=$(job_processes)
echo "measured: /dev/full: $job_state after $(seconds "$took")s, '$job_message', left running: ${left:-none}"
[ "$job_state" = aborted ] || fail "full: $job_state"
[ "$took" -lt 8000 ] || fail "full: the job took $(seconds "$took")s"
[ -z "$left" ] || fail "full: left running: $left"

submit p1 thirty-cancel "$docs/thirty.pdf" application/pdf resolution=1200dpi || true
wait_for_bytes "$work/out/p1/thirty-cancel.prn"
started=$(now_ms)
ipptool -t -d job_id="$job_id" "ipp://localhost:$port/ipp/print/p1" "$ipp/cancel-job.test" >/dev/null ||
  fail "cancel: Cancel-Job refused"
wait_job p1
took=$(($(now_ms) - started))
sleep 0.5
left=$(job_processes)
echo "measured: cancel: $job_state $(seconds "$took")s after Cancel-Job, records '$(records "$work/out/p1/thirty-cancel.prn")', left running: ${left:-none}"
[ "$job_state" = canceled ] || fail "cancel: $job_state"
# The pages sent before the cancel, the last of them marked last.
"$decoder" "$work/out/p1/thirty-cancel.prn" >/dev/null 2>&1 &&
  [[ "$(records "$work/out/p1/thirty-cancel.prn")" =~ ^1,[01],1( 0,0,[0-9]+)*( 0,1,[0-9]+)?$ ]] &&
  [[ "$(records "$work/out/p1/thirty-cancel.prn")" =~ ,1,[0-9]+$ ]] ||
  fail "cancel: the stream is not whole: $(records "$work/out/p1/thirty-cancel.prn")"
[ "$took" -lt 8000 ] || fail "cancel: the job took $(seconds "$took")s to end"
[ -z "$left" ] || fail "cancel: left running: $left"

echo "== scratch space stays within a few pages of a 40-page job"
touch "$work/tmp/measure"
print p2 forty "$docs/forty.pdf" application/pdf || true
rm -f "$work/tmp/measure"
peak=$(sort -n "$work/tmp/scratch-sizes" 2>/dev/null | tail -1)
peak=${peak:-0}
measures=$(wc -l <"$work/tmp/scratch-sizes" 2>/dev/null || echo 0)
[ "$job_state" = completed ] || fail "forty: $job_state ($job_message)"
# 3 x (PBM + JBIG) of the largest page.
bound=$(decoded "$work/out/p2/forty.prn" |
  awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {b = 3 * (int(($5 + 7) / 8) * $6 + 32 + $4); if (b > m) m = b} END {print m + 0}')
echo "measured: scratch peak $peak bytes over $measures pages of a 40-page job (bound $bound)"
[ "$measures" -ge 40 ] || fail "forty: scratch measured at $measures pages"
[ "$peak" -le "$bound" ] || fail "forty: scratch peaked at $peak bytes, above $bound"

echo "== the server killed during a job, and started again"
submit_at_once p3 crash "$docs/thirty.pdf"
submit_at_once p3 waiting "$docs/doc1.pdf"
wait_submitted
crash_id=$(cat "$work/ids/crash")
waiting_id=$(cat "$work/ids/waiting")
wait_for_bytes "$work/out/p3/crash.prn"
kill -KILL "$(pgrep -u nobody -f "$work/bin/quillfern-printer-app server" | head -1)" 2>/dev/null
for attempt in $(seq 50); do session_alive "$server_pid" || break; sleep 0.1; done
sleep 1
left=$(job_processes)
echo "measured: after kill -9, left running: ${left:-none}"
[ -z "$left" ] || fail "kill: left running: $left"
stop_app_server
scratch_dirs() { find "$work/spool" -maxdepth 1 -name 'quillfern-job-*' | wc -l; }
scratch_before=$(scratch_dirs)
start_app_server || { fail "the server did not start again"; tail -20 "$log"; }
job_id=$crash_id
wait_job p3 10
scratch_after=$(scratch_dirs)
echo "measured: interrupted job after restart: $job_state, '$job_message'; scratch directories $scratch_before before, $scratch_after after"
[ "$job_state" = aborted ] || fail "restart: the interrupted job is $job_state"
[ "$job_message" = "interrupted by a restart of the printer application" ] ||
  fail "restart: message '$job_message'"
[ "$scratch_after" = 0 ] || fail "restart: scratch left: $(ls "$work/spool")"
# The job that was waiting for its turn had sent nothing: it prints now.
job_id=$waiting_id
wait_job p3 60
[ "$job_state" = completed ] || fail "restart: the waiting job is $job_state ($job_message)"
print p3 duplex-after "$docs/doc1.pdf" application/pdf sides=two-sided-long-edge || true
[ "$job_state" = completed ] || fail "duplex-after: $job_state ($job_message)"
stream=$work/out/p3/duplex-after.prn
[ "$(records "$stream")" = "1,0,1 0,1,2" ] || fail "duplex-after: records $(records "$stream")"
decoded "$stream" | grep -E "^ +2 " | grep -q " 0.00%$" || fail "duplex-after: the back side is not blank"

echo "== shutdown stops the server within 5 s; the jobs waiting print after the next start"
submit p1 printing-at-stop "$docs/thirty.pdf" application/pdf || true
printing_id=$job_id
submit p1 pending-at-stop "$docs/doc1.pdf" application/pdf || true
pending_id=$job_id
wait_for_bytes "$work/out/p1/printing-at-stop.prn"
started=$(now_ms)
as_server "$app" shutdown >/dev/null 2>&1 || fail "shutdown refused"
for attempt in $(seq 100); do session_alive "$server_pid" || break; sleep 0.1; done
took=$(($(now_ms) - started))
echo "measured: shutdown took $(seconds "$took")s"
session_alive "$server_pid" && fail "the server still runs $(seconds "$took")s after shutdown"
[ "$took" -lt 5000 ] || fail "shutdown took $(seconds "$took")s"
"$decoder" "$work/out/p1/printing-at-stop.prn" >/dev/null 2>&1 ||
  fail "shutdown: the printing job's stream was cut: $(decoded "$work/out/p1/printing-at-stop.prn" | tail -1)"
stop_app_server
start_app_server || { fail "the server did not start after shutdown"; tail -20 "$log"; }
job_id=$printing_id
wait_job p1 10
[ "$job_state" = canceled ] || fail "after the restart, the job printing at the stop is $job_state"
job_id=$pending_id
wait_job p1 60
[ "$job_state" = completed ] || fail "after the restart, the pending job is $job_state ($job_message)"

if [ "$failures" -ne 0 ]; then
  cp "$log" "$PWD/printer-app-faults.log" 2>/dev/null || true
  echo "== the application's log is in $PWD/printer-app-faults.log"
fi
finish_tests "every job printed whole or reported failed, nothing left running"
