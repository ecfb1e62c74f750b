#!/bin/bash
# make install and make uninstall into a staging directory (DESTDIR): the
# filter lands in CUPS's filter directory with mode 0755, the driver
# information file where cups-driverd finds it, and uninstall removes all
# of it.  With the printer application built (WITH_APP ON), its program,
# manual page and systemd unit too.
#
# usage: install_test.sh BUILD_DIR FILTER_DIR DRV_DIR WITH_APP
set -euo pipefail
build=$1 filter_dir=$2 drv_dir=$3 with_app=$4
stage=$(mktemp -d /tmp/quillfern-install.XXXXXX)
trap 'rm -rf "$stage"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

DESTDIR=$stage cmake --install "$build" >/dev/null
filter=$stage$filter_dir/rastertoquillfern
[ -x "$filter" ] || fail "no filter at $filter"
[ "$(stat -c %a "$filter")" = 755 ] || fail "filter mode $(stat -c %a "$filter"), expected 755"
if [ "$(id -u)" -eq 0 ]; then
  [ "$(stat -c %U "$filter")" = root ] || fail "filter not owned by root"
fi
grep -q '^Filter application/vnd.cups-raster 100 rastertoquillfern' \
  "$stage$drv_dir/quillfern.drv" || fail "no driver information file in $drv_dir"
programs=quillfern-decode
[ "$with_app" = ON ] && programs="$programs quillfern-printer-app"
for program in $programs; do
  [ -x "$stage/usr/local/bin/$program" ] || fail "no $program"
  [ -f "$stage/usr/local/share/man/man1/$program.1" ] || fail "no manual page for $program"
done
if [ "$with_app" = ON ]; then
  unit=$stage/usr/local/lib/systemd/system/quillfern-printer-app.service
  grep -q "^ExecStart=/usr/local/bin/quillfern-printer-app server" "$unit" ||
    fail "no systemd unit that starts the installed application"
fi

DESTDIR=$stage cmake --build "$build" --target uninstall >/dev/null
left=$(find "$stage" -type f | wc -l)
[ "$left" = 0 ] || fail "uninstall left $left files: $(find "$stage" -type f)"
[ "$status" = 0 ] && echo "install and uninstall as expected"
exit "$status"
