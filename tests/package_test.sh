#!/bin/bash
# The Debian packages as an administrator meets them: lintian finds nothing
# to say, each package's Depends agrees with what its binaries link, they
# install with apt-get, lpinfo -m lists the driver, a queue made with it
# prints a PDF that decodes to the document, the printer application's
# systemd unit verifies, the driver upgrades to a newer build, and a purge
# leaves no file of either behind.  It changes the system, so CI runs it (make
# package-test), not make test.
#
# usage: package_test.sh PACKAGE_DIR
set -euo pipefail
packages=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "FAIL: installing a package needs root"; exit 1; }
deb=$(ls "$packages"/printer-driver-quillfern_*.deb | head -1)
app_deb=$(ls "$packages"/quillfern-printer-app_*.deb | head -1)
[ -f "$deb" ] && [ -f "$app_deb" ] || { echo "FAIL: no packages in $packages (make package)"; exit 1; }

# The scheduler and its jobs get a /tmp of their own.
# shellcheck source=tests/private_tmp.sh
. "$source_dir/tests/private_tmp.sh"
enter_private_tmp "$0" "$@"

# shellcheck source=tests/test_lib.sh
. "$source_dir/tests/test_lib.sh"
log=$(mktemp /tmp/quillfern-package.XXXXXX)

echo "== lintian --pedantic -E"
lintian --pedantic -E "$packages"/*.deb 2>&1 | grep -v "running with root privileges" | tee "$log" || true
grep -qE '^[EW]: ' "$log" && fail "lintian reports errors or warnings"

# The package that ships a shared library, however dpkg recorded its path
# (/lib or /usr/lib on a merged /usr).
owner_of() {
  local path candidate found
  path=$(ldconfig -p | awk -v lib="$1" '$1 == lib {print $NF; exit}')
  for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"; do
    found=$( (dpkg -S "$candidate" 2>/dev/null || true) | head -1 | cut -d: -f1)
    [ -n "$found" ] && { echo "$found"; return 0; }
  done
  echo "unknown"
}

# check_depends DEB RUNTIME...: Depends names the package of every library
# the binaries link, and the programs they run.
check_depends() {
  local deb=$1 depends extract binary library owner runtime
  shift
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "   $(dpkg-deb -f "$deb" Package): $depends"
  extract=$(mktemp -d /tmp/quillfern-deb.XXXXXX)
  dpkg-deb -x "$deb" "$extract"
  for binary in "$extract"/usr/bin/* "$extract"/usr/lib/cups/filter/*; do
    [ -f "$binary" ] || continue
    for library in $(objdump -p "$binary" | awk '/NEEDED/ {print $2}'); do
      owner=$(owner_of "$library")
      case ", $depends" in
        *", $owner "* | *", $owner,"* | *", $owner") ;;
        *) fail "$(basename "$binary") needs $library ($owner), which Depends does not name" ;;
      esac
    done
  done
  for binary in "$extract"/usr/bin/*; do
    [ -f "$extract/usr/share/man/man1/$(basename "$binary").1.gz" ] ||
      fail "no manual page for $(basename "$binary")"
  done
  for runtime in "$@"; do
    case ", $depends," in *", $runtime,"*) ;; *) fail "Depends lacks $runtime" ;; esac
  done
}

echo "== Depends against what the binaries link and run"
check_depends "$deb" cups jbigkit-bin
check_depends "$app_deb" ghostscript jbigkit-bin

echo "== apt-get install $deb $app_deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" "$app_deb" >"$log" 2>&1 ||
  { cat "$log"; echo "FAIL: the packages do not install"; exit 1; }
installed=$(dpkg -L printer-driver-quillfern quillfern-printer-app)
unit=/lib/systemd/system/quillfern-printer-app.service
systemd-analyze verify "$unit" >"$log" 2>&1 || { cat "$log"; fail "systemd-analyze verify $unit"; }
filter=/usr/lib/cups/filter/rastertoquillfern
[ "$(stat -c '%U %a' "$filter")" = "root 755" ] || fail "filter is $(stat -c '%U %a' "$filter")"
quillfern-decode --version | grep -q "^quillfern-decode " || fail "quillfern-decode --version"

cupsd_pid=
# shellcheck source=tests/private_cupsd.sh
. "$source_dir/tests/private_cupsd.sh"
cleanup() {
  stop_private_cupsd
  if dpkg -s printer-driver-quillfern >/dev/null 2>&1; then
    apt-get purge -y -q printer-driver-quillfern >/dev/null 2>&1 || true
  fi
  if dpkg -s quillfern-printer-app >/dev/null 2>&1; then
    apt-get purge -y -q quillfern-printer-app >/dev/null 2>&1 || true
  fi
}
on_exit cleanup
start_private_cupsd

gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 \
  -sOutputFile="$tmp/document.pdf" "$source_dir/scripts/demo-document.ps"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r600 \
  -sOutputFile="$tmp/reference-%d.pbm" "$tmp/document.pdf"
chmod 0644 "$tmp/document.pdf"

# Prints the document on queue pkg and checks every page.
print_and_check() {
  local request id page
  rm -f "$out/job.prn"
  request=$(lp -h "$server" -d pkg "$tmp/document.pdf")
  id=${request#request id is pkg-}
  id=${id%% *}
  if ! wait_for_job "$id"; then
    fail "$1: job $id did not complete"
    grep "\[Job $id\]" "$error_log" | tail -20
    return
  fi
  if ! "/usr/bin/quillfern-decode" --extract "$tmp/pages-$id" "$out/job.prn" >/dev/null; then
    fail "$1: the printed stream is not sound"
    return
  fi
  for page in 1 2 3; do
    "$source_dir/build/tests/page_compare" "$tmp/pages-$id/page-$page.pbm" \
      "$tmp/reference-$page.pbm" || fail "$1: page $page does not show the document"
  done
}

echo "== lpinfo -m"
model=$(lpinfo -h "$server" -m | awk '/Quillfern/ {print $1; exit}')
echo "   $model"
[ "$model" = "drv:///quillfern.drv/quillfern.ppd" ] || fail "lpinfo -m lists '$model'"

echo "== printing through a queue made with it"
lpadmin -h "$server" -p pkg -E -v "file://$out/job.prn" -m "$model" 2>&1 | grep -v deprecated || true
print_and_check install

echo "== the command line against the service, as root and as lp"
# The service as systemd starts it (User=lp, its directories and
# environment, the socket link of ExecStartPre), without systemd.
service_pid=
stop_service() {
  stop_session "$service_pid"
  service_pid=
  rm -rf /var/lib/quillfern-printer-app /run/quillfern-printer-app /run/quillfern-printer-app.sock
}
on_exit stop_service
install -d -o lp -g lp -m 0755 /var/lib/quillfern-printer-app /run/quillfern-printer-app
service_port=$(free_port)
start_as_user lp env STATE_DIRECTORY=/var/lib/quillfern-printer-app \
  RUNTIME_DIRECTORY=/run/quillfern-printer-app TMPDIR=/var/lib/quillfern-printer-app \
  /usr/bin/quillfern-printer-app server -o server-port="$service_port" \
  -o spool-directory=/var/lib/quillfern-printer-app/spool \
  -o log-file=/var/lib/quillfern-printer-app/service.log
service_pid=$started_pid
eval "$(sed -n 's/^ExecStartPre=+//p' "$unit")"
wait_for_port "$service_port" 30 || fail "the service does not start"
sleep 1
quillfern-printer-app add -d svc -v file:///dev/null -m quillfern ||
  fail "root's add does not reach the service"
[ "$(runuser -u lp -- quillfern-printer-app printers)" = svc ] || fail "lp's printers do not list svc"
echo 'pw' | quillfern-printer-app login -d svc operator || fail "root's login -d svc"
[ "$(stat -c '%U %a' /var/lib/quillfern-printer-app/logins/svc.json)" = "lp 600" ] ||
  fail "the login file is $(stat -c '%U %a' /var/lib/quillfern-printer-app/logins/svc.json)"
quillfern-printer-app delete -d svc || fail "root's delete -d svc"
[ ! -e /var/lib/quillfern-printer-app/logins/svc.json ] || fail "the login outlived its printer"
stop_session "$service_pid"
service_pid=
if quillfern-printer-app printers 2>"$log"; then fail "printers ran with the service stopped"; fi
grep -q "service is not running" "$log" || fail "printers with the service stopped says: $(cat "$log")"
# PAPPL's commands start a server of their own as "... server -o private-server=true".
second=$(pgrep -af "quillfern-printer-app server -o private-server" || true)
[ -z "$second" ] || fail "a command started a second server: $second"
stop_service

echo "== upgrading to a newer build"
DEB_BUILD_OPTIONS=nocheck "$source_dir/scripts/build-packages" "$tmp/upgrade" 0.2.0+upgrade1 >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
  "$(ls "$tmp"/upgrade/printer-driver-quillfern_0.2.0+upgrade1_*.deb)" >"$log" 2>&1 ||
  { cat "$log"; fail "the upgrade does not install"; }
[ "$(dpkg-query -W -f '${Version}' printer-driver-quillfern)" = 0.2.0+upgrade1 ] ||
  fail "the upgrade did not take"
print_and_check upgrade

echo "== apt-get purge printer-driver-quillfern quillfern-printer-app"
stop_private_cupsd
apt-get purge -y -q printer-driver-quillfern quillfern-printer-app >"$log" 2>&1 ||
  fail "the packages do not purge"
for path in $installed; do
  [ -d "$path" ] && continue
  [ ! -e "$path" ] || fail "$path is still there after the purge"
done
left=$(find /usr /etc /lib /var/lib /var/log -name '*quillfern*' 2>/dev/null | grep -v "^$source_dir" || true)
[ -z "$left" ] || fail "left behind: $left"

finish_tests "the packages pass lintian, install, print, upgrade and purge cleanly"
