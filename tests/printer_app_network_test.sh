#!/bin/bash
# The printer application on a network, from a second host: the test runs
# in a network namespace of its own, where a veth pair joins it to a client
# namespace (192.0.2.1 and fd51:5143::1 here, .2 and ::2 there).  The
# client prints over IPv4 and IPv6 (allowed, over TLS), and tries every
# administrative page and operation: each is refused and nothing changes.
# On this host, Add Printer refuses a file: device, and the login command,
# run with a state directory other than the server's, has the server store
# the login in its own.  A raster page of 100000 x 100000 pixels is refused
# before memory or scratch is taken.
#
# usage: printer_app_network_test.sh APP DECODER SOURCE_DIR
set -euo pipefail

app=$1 decoder=$2 source_dir=$3

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
require_root "network namespaces and a server run as another user"
require_tools ip nsenter ipptool curl perl runuser unshare setsid gs
if [ -z "${QUILLFERN_IN_PRIVATE_NET:-}" ]; then
  unshare --net true 2>/dev/null || { echo "SKIP: needs a network namespace (unshare --net)"; exit 77; }
  QUILLFERN_IN_PRIVATE_NET=1 exec unshare --net "$0" "$@"
fi
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"
# shellcheck source=tests/app_server.sh
. "$source_dir/tests/app_server.sh"
app_server_setup "$app" "$source_dir"

# --- The two hosts ----------------------------------------------------------
ip link set lo up
unshare --net sleep 3600 &
client_pid=$!
on_exit "kill $client_pid 2>/dev/null || true"
sleep 0.2
ip link add qf-host type veth peer name qf-client
ip link set qf-client netns "/proc/$client_pid/ns/net"
ip addr add 192.0.2.1/24 dev qf-host
ip -6 addr add fd51:5143::1/64 dev qf-host nodad
ip link set qf-host up
client() { nsenter --net="/proc/$client_pid/ns/net" "$@"; }
client ip link set lo up
client ip addr add 192.0.2.2/24 dev qf-client
client ip -6 addr add fd51:5143::2/64 dev qf-client nodad
client ip link set qf-client up
# Clients reach the server by a .local name, as DNS-SD gives it them (PAPPL
# takes a Host: field of its own name, an address or a .local name).
cp /etc/hosts "$work/hosts"
printf '192.0.2.1 qf-server4.local\nfd51:5143::1 qf-server6.local\n' >>"$work/hosts"
mount --bind "$work/hosts" /etc/hosts

# An encoder first on the server's PATH that waits while $work/tmp/hold
# exists, so that a job is printing while the other host tries to cancel it.
cat >"$work/bin/pbmtojbg" <<SH
#!/bin/sh
n=0; while [ -e "$work/tmp/hold" ] && [ \$n -lt 600 ]; do sleep 0.1; n=\$((n+1)); done
exec /usr/bin/pbmtojbg "\$@"
SH
chmod 0755 "$work/bin/pbmtojbg"

docs=$work/docs
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$docs/page.pdf" \
  -c "/Helvetica findfont 24 scalefont setfont 72 720 moveto (remote) show showpage" >/dev/null
# A hostile raster page: 100000 x 100000 eight-bit pixels in 600 KB, white
# lines of 128-pixel runs, 256 lines a record.
perl -e '
  my ($w, $h) = (100000, 100000);
  my $header = "PwgRaster" . ("\0" x (1796 - 9));
  my %field = (276 => 600, 280 => 600, 352 => 12000, 356 => 12000, 372 => $w, 376 => $h,
               384 => 8, 388 => 8, 392 => $w, 400 => 18, 420 => 1);
  substr($header, $_, 4) = pack("N", $field{$_}) for keys %field;
  my $line = ("\x7f\xff" x int($w / 128)) . pack("C", $w % 128 - 1) . "\xff";
  print "RaS2", $header;
  print "\xff", $line for 1 .. int($h / 256);
  print pack("C", $h % 256 - 1), $line;
' >"$docs/huge.pwg"
chmod -R a+rX "$docs"

# The server on every address, at a port of its own.
port=$(free_port)
system=ipp://localhost:$port/ipp/system
start_as_user nobody env HOME="$work/state" TMPDIR="$work/tmp" PATH="$work/bin:/usr/bin:/bin" \
  "$app" server -o server-port="$port" -o spool-directory="$work/spool" \
  -o log-file="$log" -o log-level=debug -o listen-hostname='*'
server_pid=$started_pid
wait_for_port "$port" 30 || { echo "FAIL: the server did not start"; tail -20 "$log"; exit 1; }
add_printer q "file://$work/out" || exit 1

# remote_ipp URI OPERATION [ATTR-LINE...]: an IPP request from the client
# host; prints its status-code.
remote_ipp() {
  local uri=$1 operation=$2 line
  shift 2
  {
    echo "{ OPERATION $operation GROUP operation-attributes-tag"
    echo "ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en"
    case $uri in */ipp/system) echo "ATTR uri system-uri \$uri" ;; *) echo "ATTR uri printer-uri \$uri" ;; esac
    echo "ATTR name requesting-user-name intruder"
    for line in "$@"; do echo "$line"; done
    echo "}"
  } >"$work/request.test"
  { client ipptool -tv -T 10 "$uri" "$work/request.test" 2>&1 || true; } |
    sed -n 's/^ *status-code = \([a-z-]*\).*/\1/p; s/.*Unable to \(.*\)/\1/p' | head -1
}

echo "== printing from the other host, over IPv4 and IPv6"
# ipp:// is upgraded to TLS at PAPPL's word (small documents: CUPS 2.4's
# clients loop on a larger one); ipps:// by name, as DNS-SD offers it.
for uri in ipp://192.0.2.1 ipps://qf-server4.local ipps://qf-server6.local; do
  address=${uri#*//}
  name=remote-${address//[^0-9a-z]/}
  client ipptool -t -T 30 -f "$docs/page.pdf" -d filetype=application/pdf -d name="$name" \
    -d copies=1 -d sides=one-sided -d handling=separate-documents-collated-copies \
    -d resolution=600dpi -d feed=long-edge -d media=iso_a4_210x297mm -d source=main \
    -d type=stationery "$uri:$port/ipp/print/q" "$ipp/print-with.test" >"$work/$name.txt" 2>&1 ||
    { fail "$address: Print-Job refused: $(grep -iE "status|error|unable" "$work/$name.txt" | head -3)"; continue; }
  for attempt in $(seq 100); do decoded "$work/out/$name.prn" | grep -q "stream OK" && break; sleep 0.2; done
  decoded "$work/out/$name.prn" | grep -q "stream OK" || fail "$address: the job did not print"
  code=$(client curl -s -o /dev/null -w '%{http_code}' "http://$address:$port/")
  [ "$code" = 200 ] || fail "$address: the status page answers $code"
done

echo "== every administrative operation from the other host is refused"
printer_uri=ipp://192.0.2.1:$port/ipp/print/q
system_uri=ipp://192.0.2.1:$port/ipp/system
operations=(
  "$printer_uri Pause-Printer"
  "$printer_uri Disable-Printer"
  "$printer_uri Enable-Printer"
  "$printer_uri Hold-New-Jobs"
  "$printer_uri Cancel-Jobs"
  "$printer_uri Set-Printer-Attributes|GROUP printer-attributes-tag|ATTR text printer-location Lobby"
  "$system_uri Create-Printer|ATTR name printer-name stolen|ATTR keyword smi55357-driver quillfern|ATTR uri smi55357-device-uri file:///tmp/stolen"
  "$system_uri Delete-Printer|ATTR integer printer-id 1"
  "$system_uri Set-System-Attributes|GROUP system-attributes-tag|ATTR text system-location Lobby"
  "$system_uri Pause-All-Printers"
  "$system_uri Disable-All-Printers"
  "$system_uri Shutdown-All-Printers"
  "$system_uri 0x402B"
)
for entry in "${operations[@]}"; do
  IFS='|' read -r -a parts <<<"$entry"
  read -r uri operation <<<"${parts[0]}"
  status=$(remote_ipp "$uri" "$operation" "${parts[@]:1}")
  case $status in
    client-error-forbidden | client-error-not-authorized | client-error-not-authenticated) ;;
    *) fail "$operation from the other host: '$status'" ;;
  esac
done
for page in /addprinter /config /network /security /q/config /q/delete /q/media /q/printing \
  /q/cancelall /q/login; do
  for scheme in http https; do
    code=$(client curl -sk -o /dev/null -w '%{http_code}' -X POST "$scheme://192.0.2.1:$port$page")
    # 426 and 301 send the client to TLS, where it gets 403; 400 and 404:
    # PAPPL serves no such page.
    case $code in 403 | 426 | 301 | 400 | 404) ;; *) fail "POST $scheme $page from the other host: $code" ;; esac
  done
done
# Cancel-Current-Job needs a job printing (PAPPL answers not-found first).
touch "$work/tmp/hold"
submit q printing "$docs/page.pdf" application/pdf
for attempt in $(seq 100); do
  ipptool -t -d job_id="$job_id" "ipp://localhost:$port/ipp/print/q" "$ipp/job-state.test" |
    grep -q "job-state (enum) = processing" && break
  sleep 0.1
done
status=$(remote_ipp "$printer_uri" Cancel-Current-Job)
[ "$status" = client-error-forbidden ] || fail "Cancel-Current-Job of a printing job: '$status'"
status=$(remote_ipp "$printer_uri" Cancel-Job "ATTR integer job-id $job_id")
[ "$status" = client-error-forbidden ] || fail "Cancel-Job of another user's job: '$status'"
rm -f "$work/tmp/hold"
wait_job q
[ "$job_state" = completed ] || fail "the printing job: $job_state ($job_message)"
state=$(ipptool -tv "ipp://localhost:$port/ipp/print/q" get-printer-attributes.test)
grep -q "printer-state (enum) = idle" <<<"$state" || fail "q is no longer idle: $(grep printer-state <<<"$state")"
grep -q "printer-is-accepting-jobs (boolean) = true" <<<"$state" || fail "q no longer accepts jobs"
grep -q "Lobby" <<<"$state" && fail "q's location was changed"
[ -e /tmp/stolen ] && fail "a file: device was created from the other host"
session_alive "$server_pid" || fail "the server stopped"

echo "== on this host: Add Printer refuses a file: device, the login goes through the server"
form=$(curl -s -c "$work/cookies" -b "$work/cookies" "http://localhost:$port/addprinter")
token=$(grep -o 'name="session" value="[^"]*"' <<<"$form" | sed 's/.*value="//; s/"$//')
page=$(curl -s -c "$work/cookies" -b "$work/cookies" --data-urlencode "session=$token" \
  --data-urlencode printer_name=local --data-urlencode "device_uri=file:///tmp/local" \
  "http://localhost:$port/addprinter")
grep -q "A file: device can be added only with the command line" <<<"$page" ||
  fail "Add Printer took a file: device"
ipptool -t "ipp://localhost:$port/ipp/print/local" "$ipp/printer-state.test" >/dev/null 2>&1 &&
  fail "Add Printer created a printer on a file: device"
# The login command as the server's user with another HOME: its own state
# directory is not the server's, so the login must reach the server's.
server_login=$work/state/.config/quillfern-printer-app/logins/q.json
[ ! -e "$server_login" ] || fail "q has a login before the login command"
mkdir -p "$work/elsewhere"
chown nobody:nogroup "$work/elsewhere"
printf 'pw\n' | runuser -u nobody -- env HOME="$work/elsewhere" TMPDIR="$work/tmp" \
  PATH="$work/bin:/usr/bin:/bin" "$app" login -d q operator >"$work/login.txt" 2>&1 ||
  fail "login -d q operator: $(cat "$work/login.txt")"
grep -qx "login of q saved" "$work/login.txt" ||
  fail "login -d q operator said: $(cat "$work/login.txt")"
[ -e "$server_login" ] || fail "the server's state directory has no login of q"
written=$(find "$work/elsewhere" -mindepth 1)
[ -z "$written" ] || fail "the login command wrote under its own HOME: $written"

echo "== a raster page of 100000 x 100000 pixels is refused, memory bounded"
client ipptool -t -T 60 -f "$docs/huge.pwg" -d filetype=image/pwg-raster -d name=huge -d copies=1 \
  -d sides=one-sided -d handling=separate-documents-collated-copies -d resolution=600dpi \
  -d feed=long-edge -d media=iso_a4_210x297mm -d source=main -d type=stationery \
  "ipps://qf-server4.local:$port/ipp/print/q" "$ipp/print-with.test" >"$work/huge.txt" 2>&1 || true
job_id=$(awk '/job-id \(integer\)/ {print $NF}' "$work/huge.txt")
[ -n "$job_id" ] || fail "huge: not accepted: $(grep -i status "$work/huge.txt" | head -1)"
if [ -n "$job_id" ]; then
  wait_job q 60
  [ "$job_state" = aborted ] || fail "huge: $job_state ($job_message)"
  [[ $job_message == *"the page is"* ]] || fail "huge: job-state-message '$job_message'"
fi
[ ! -s "$work/out/huge.prn" ] || fail "huge: bytes reached the device"
peak=$(awk '/^VmHWM/ {print $2}' "/proc/$(pgrep -u nobody -o -f -- "$work/bin/quillfern-printer-app server")/status")
echo "measured: the server's peak memory ${peak} kB"
[ "${peak:-0}" -lt 300000 ] || fail "the server's peak memory is ${peak} kB"
session_alive "$server_pid" || fail "the server stopped"

finish_tests "the other host prints and changes nothing; this host administers"
