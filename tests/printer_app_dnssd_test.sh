#!/bin/bash
# The printer application on DNS-SD, seen from a second host: the test runs
# in network, mount and host-name namespaces of its own ("qf-server"),
# joined by a veth pair to a client's ("qf-client"); each side has a
# private /run with its own system D-Bus and avahi-daemon.  The server, on
# its default listening setting, advertises its printers with the TXT keys
# IPP Everywhere clients need, at addresses the client reaches over IPv4
# and IPv6; a printer added while it runs is advertised; after
# avahi-daemon restarts, the printers are advertised again; on loopback
# only it advertises nothing, and its printers come back under their own
# DNS-SD names when it is shared again.
#
# usage: printer_app_dnssd_test.sh APP DECODER SOURCE_DIR
set -euo pipefail

app=$1 decoder=$2 source_dir=$3

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
require_root "namespaces and a private avahi-daemon"
require_tools ip nsenter ipptool ippfind avahi-daemon avahi-browse dbus-daemon unshare runuser
if [ -z "${QUILLFERN_IN_PRIVATE_NET:-}" ]; then
  unshare --net --uts true 2>/dev/null || { echo "SKIP: needs network namespaces (unshare --net)"; exit 77; }
  QUILLFERN_IN_PRIVATE_NET=1 exec unshare --net --uts "$0" "$@"
fi
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"
# shellcheck source=tests/app_server.sh
. "$source_dir/tests/app_server.sh"
app_server_setup "$app" "$source_dir"

# --- Two hosts, each with its D-Bus and avahi-daemon -------------------------
# start_bus: in the calling mount namespace, whose /run is its own.
start_bus() {
  mkdir -p /run/dbus /run/avahi-daemon
  dbus-daemon --system --fork >/dev/null 2>&1 </dev/null
  for _ in $(seq 50); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
  avahi-daemon -D --no-drop-root --no-chroot --no-rlimits >/dev/null 2>&1 </dev/null
  for _ in $(seq 50); do avahi-browse -at >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
stop_bus() {
  avahi-daemon -k 2>/dev/null || true
  [ -f /run/dbus/pid ] && kill "$(cat /run/dbus/pid)" 2>/dev/null || true
}
hostname qf-server
ip link set lo up
mount -t tmpfs tmpfs /run
# Clients reach the server by its .local name (no nss-mdns here).
cp /etc/hosts "$work/hosts"
printf '192.0.2.1 qf-server.local\nfd51:5143::1 qf-server.local\n' >>"$work/hosts"
mount --bind "$work/hosts" /etc/hosts
unshare --mount --uts --net --propagation private \
  sh -c 'mount -t tmpfs tmpfs /run && hostname qf-client && exec sleep 3600' >/dev/null 2>&1 &
client_pid=$!
on_exit "kill $client_pid 2>/dev/null || true"
for _ in $(seq 50); do [ "$(nsenter --uts="/proc/$client_pid/ns/uts" hostname 2>/dev/null)" = qf-client ] && break; sleep 0.1; done
client() { nsenter --net="/proc/$client_pid/ns/net" --mount="/proc/$client_pid/ns/mnt" --uts="/proc/$client_pid/ns/uts" "$@"; }
ip link add qf-host type veth peer name qf-client
ip link set qf-client netns "/proc/$client_pid/ns/net"
ip addr add 192.0.2.1/24 dev qf-host
ip -6 addr add fd51:5143::1/64 dev qf-host nodad
ip link set qf-host up
client ip link set lo up
client ip addr add 192.0.2.2/24 dev qf-client
client ip -6 addr add fd51:5143::2/64 dev qf-client nodad
client ip link set qf-client up
on_exit "client bash -c '$(declare -f stop_bus); stop_bus'"
on_exit stop_bus
client bash -c "$(declare -f start_bus); start_bus" || { echo "SKIP: avahi-daemon does not start"; exit 77; }
start_bus || { echo "SKIP: avahi-daemon does not start"; exit 77; }

# advertised TYPE: the client's names of the services of TYPE.
advertised() {
  client avahi-browse -tp "$1" 2>/dev/null | awk -F';' '$1 == "+" {print $4}' |
    sed 's/\\032/ /g' | sort -u
}
# wait_advertised NAME TYPE SECONDS: true once the client sees it.
wait_advertised() {
  local tenths=$(($3 * 2))
  for ((attempt = 0; attempt < tenths; attempt++)); do
    advertised "$2" | grep -qxF "$1" && return 0
    sleep 0.5
  done
  return 1
}

# The server on its default listening setting.
port=$(free_port)
system=ipp://localhost:$port/ipp/system
start_server() {
  start_as_user nobody env HOME="$work/state" TMPDIR="$work/tmp" PATH="$work/bin:/usr/bin:/bin" \
    "$app" server -o server-port="$port" -o spool-directory="$work/spool" \
    -o log-file="$log" -o log-level=debug "$@"
  server_pid=$started_pid
  wait_for_port "$port" 30 || { echo "FAIL: the server did not start"; tail -20 "$log"; exit 1; }
}
start_server
add_printer q "file://$work/out" || exit 1

echo "== advertised with the keys clients need, reachable where resolved"
wait_advertised q _ipp._tcp 10 || fail "q is not advertised as _ipp._tcp"
for type in _ipp._tcp _ipps._tcp; do
  client ippfind --literal-name q "$type,_print.local." --txt rp --txt pdl --txt URF --txt UUID \
    --txt adminurl --txt-rp '^ipp/print/q$' --txt-pdl 'image/pwg-raster' -T 5 --quiet ||
    fail "$type: q's TXT record lacks a key: $(client avahi-browse -rtp "$type" | grep ';q;' | head -1)"
done
wait_advertised quillfern-printer-app _ipps-system._tcp 5 || fail "the system is not advertised"
# Each resolved address (IPv4 and IPv6) answers IPP at the port advertised.
resolved=$(client avahi-browse -rtp _ipp._tcp | awk -F';' '$1 == "=" && $4 == "q" {print $3, $8, $9}' | sort -u)
for protocol in IPv4 IPv6; do
  grep -q "^$protocol " <<<"$resolved" || { fail "q resolves to no $protocol address"; continue; }
  while read -r _ address advertised_port; do
    case $address in fe80:*) address="[$address%25qf-client]" ;; *:*) address="[$address]" ;; esac
    client ipptool -T 10 "ipp://$address:$advertised_port/ipp/print/q" "$ipp/printer-state.test" \
      >/dev/null 2>&1 || fail "q at $address:$advertised_port ($protocol) does not answer"
  done < <(grep "^$protocol " <<<"$resolved")
done

echo "== a printer added while the server runs is advertised"
add_printer late "file://$work/out" || exit 1
wait_advertised late _ipp._tcp 5 || fail "late is not advertised within 5 s"

echo "== avahi-daemon restarts: advertised again"
avahi-daemon -k
sleep 1
avahi-daemon -D --no-drop-root --no-chroot --no-rlimits >/dev/null 2>&1 </dev/null
wait_advertised q _ipp._tcp 15 && wait_advertised late _ipp._tcp 5 ||
  fail "not advertised again after avahi-daemon restarted: $(advertised _ipp._tcp | tr '\n' ' ')"
ipptool -T 10 "ipp://localhost:$port/ipp/print/late" "$ipp/printer-state.test" >/dev/null 2>&1 ||
  fail "late does not answer after the restart"

echo "== on loopback only nothing is advertised; shared again, the names come back"
stop_session "$server_pid"
state_file=$(find "$work/state" -name '*.state' | head -1)
# The administrator had named q's service (the name PAPPL saves).
sed -i 's/^DNSSDName q$/DNSSDName Quill Office/' "$state_file"
grep -q "^DNSSDName Quill Office$" "$state_file" || fail "the state file names q's service otherwise"
start_server -o listen-hostname=localhost
sleep 4
for type in _ipp._tcp _ipps._tcp _http._tcp _ipps-system._tcp _printer._tcp; do
  names=$(advertised "$type" | tr '\n' ' ')
  [ -z "$names" ] || fail "on loopback only, $type advertises: $names"
done
stop_session "$server_pid"
grep -q "Quill Office" "$state_file" || fail "the hidden name was not kept in the state file"
start_server
wait_advertised "Quill Office" _ipp._tcp 10 ||
  fail "shared again, q is not advertised as 'Quill Office': $(advertised _ipp._tcp | tr '\n' ' ')"
wait_advertised quillfern-printer-app _ipps-system._tcp 5 || fail "shared again, the system is not advertised"

finish_tests "advertised with its keys over IPv4 and IPv6, new printers and after avahi restarts, nothing on loopback"
