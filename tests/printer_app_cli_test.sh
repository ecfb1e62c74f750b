#!/bin/bash
# The printer application's command line as a user types it: unknown
# sub-commands, device URIs the printer cannot be reached by and documents
# it cannot print are refused before anything reaches the server; each
# change is confirmed in a line; status and options say what the printer
# has; and --help lists the sub-commands and options the man page does.
# Each case is a command line run as the server's user, with a file as its
# standard input or none, its exit status, and a text its output holds.
#
# usage: printer_app_cli_test.sh APP SOURCE_DIR
set -euo pipefail

app=$1 source_dir=$2

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

docs=$work/docs
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$docs/page.pdf" \
  -c "/Helvetica findfont 24 scalefont setfont 72 720 moveto (page) show showpage"
printf 'a note in plain text\n' >"$docs/note"
printf 'Qx7 pass\n' >"$docs/password"

if ! start_app_server || ! add_printer q "file://$work/out" || ! add_printer p "file://$work/out"; then
  echo "FAIL: the server did not start; its log ends:"
  tail -20 "$log"
  exit 1
fi
# The printer's own stream, as the application writes it.
print q stream "$docs/page.pdf" application/pdf
[ "$job_state" = completed ] || { echo "FAIL: the stream was not printed: $job_message"; exit 1; }
cp "$work/out/stream.prn" "$docs/stream.prn"
chmod -R a+rX "$docs"
as_server "$app" pause -d p >/dev/null

# run_cases CASES...: four words a case (command line, standard input,
# exit status, text); the output is standard output and error together.
run_cases() {
  local command input expected text output status
  while [ $# -ge 4 ]; do
    command=$1 input=${2:-/dev/null} expected=$3 text=$4
    shift 4
    status=0
    # shellcheck disable=SC2086  # the command line is split into words
    output=$(as_server "$app" $command <"$input" 2>&1) || status=$?
    if [ "$status" != "$expected" ] || ! grep -qF -- "$text" <<<"$output"; then
      fail "'$command': exit status $status, expected $expected with '$text'; it said: $output"
    fi
  done
}

stream_type=application/vnd.quillfern-print-stream
echo "== with the server running"
run_cases \
  "frobnicate" "" 1 "unknown sub-command 'frobnicate'; see --help" \
  "autoadd" "" 1 "unknown sub-command 'autoadd'; see --help" \
  "add -d s1 -v socket:// -m quillfern" "" 1 "the device URI must be socket://HOST[:PORT]" \
  "add -d s2 -v smb://host/share -m quillfern" "" 1 "the device URI must be socket://HOST[:PORT]" \
  "add -d s3 -v usb:// -m quillfern" "" 1 "the device URI must be socket://HOST[:PORT]" \
  "add -d s4 -v file:///nonexistent/out -m quillfern" "" 1 "no file or directory /nonexistent/out" \
  "add -d s5 -v socket://127.0.0.1:9 -m quillfern" "" 0 "printer s5 added (socket://127.0.0.1:9)" \
  "modify -d s5 -v socket://127.0.0.1:10" "" 1 "modify cannot change a printer's device" \
  "modify -d s5 -o printer-geo-location=geo:1,2" "" 0 "printer s5 modified" \
  "default -d s5" "" 0 "s5 is the default printer" \
  "delete -d s5" "" 0 "printer s5 deleted" \
  "login -d q operator" "$docs/password" 0 "login of q saved" \
  "login -d q --remove" "" 0 "login of q removed" \
  "status -d p" "" 0 "GMT (paused)." \
  "status -d nosuch" "" 1 "no printer named 'nosuch'" \
  "status" "" 0 "The server is running and has been " \
  "options -d q" "" 0 "-o sides=two-sided-long-edge" \
  "options -d q" "" 0 "-o feed-edge=short-edge" \
  "submit -d q $docs/note" "" 1 "the printer cannot print documents of type text/plain" \
  "$docs/note" "" 1 "the printer cannot print documents of type text/plain" \
  "submit -d q" "$docs/note" 1 "standard input: the printer cannot print documents of type text/plain" \
  "submit -d q -o document-format=text/plain $docs/page.pdf" "" 1 "documents of type text/plain" \
  "submit -d q $docs/stream.prn" "" 1 "a print stream is sent with -o document-format=$stream_type" \
  "submit -d q -n 2 $docs/page.pdf" "" 1 "use -o copies=COPIES" \
  "submit -d q $docs/page.pdf" "" 0 "q-" \
  "submit -d q" "$docs/page.pdf" 0 "q-" \
  "submit -d q -o document-format=$stream_type $docs/stream.prn" "" 0 "q-" \
  "default -d q" "" 0 "q is the default printer" \
  "$docs/page.pdf" "" 0 "q-" \
  "drivers" "" 0 'quillfern "Quillfern JBIG Page Printer"' \
  "--help" "" 0 "login -d PRINTER LOGIN-NAME | --remove" \
  "--help" "" 0 "socket://HOST[:PORT], file:///PATH"

echo "== with no server: status starts none, options starts one as PAPPL's commands do"
as_server "$app" shutdown >/dev/null
for attempt in $(seq 100); do session_alive "$server_pid" || break; sleep 0.1; done
run_cases \
  "status" "" 0 "The server is not running." \
  "options -d q" "" 0 "-o sides=two-sided-short-edge" \
  "status" "" 0 "The server is running and has been "
as_server "$app" shutdown >/dev/null || fail "the server options started does not shut down"

echo "== --help and the man page list the same sub-commands and options"
# The first word of each entry: "  NAME ..." in --help, ".TP" then ".B NAME"
# or ".BI NAME ..." in the man page's SUB-COMMANDS and OPTIONS sections.
help_entries=$("$app" --help | awk '/^(Sub-commands|Options):/ {on = 1; next} on && /^  [^ ]/ {print $1}' | sort)
man_entries=$(awk '/^\.SH/ {on = ($2 == "SUB-COMMANDS" || $2 == "OPTIONS"); next}
  on && last == ".TP" {print $2} {last = $1}' "$source_dir/app/dist/quillfern-printer-app.1.in" |
  sed 's/\\-/-/g' | sort)
[ "$(wc -l <<<"$help_entries")" -ge 25 ] || fail "--help lists only: $help_entries"
[ "$help_entries" = "$man_entries" ] ||
  fail "--help and the man page differ: $(diff <(echo "$help_entries") <(echo "$man_entries") || true)"

finish_tests "every command line answered as it should"
