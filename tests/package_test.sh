#!/bin/bash
# The Debian package an administrator installs: it installs with apt-get on
# this machine, lpinfo -m then lists the driver, a queue made with it
# prints a PDF that decodes to the document, and it uninstalls cleanly.
# It changes the system, so CI runs it (make package-test), not make test.
#
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
deb=$(ls "$build"/quillfern_*.deb | head -1)
[ -f "$deb" ] || { echo "FAIL: no package in $build (make package)"; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "FAIL: installing a package needs root"; exit 1; }

status=0
fail() { echo "FAIL: $*"; status=1; }

echo "== apt-get install $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/tmp/quillfern-package.log 2>&1 ||
  { cat /tmp/quillfern-package.log; echo "FAIL: the package does not install"; exit 1; }
filter=/usr/lib/cups/filter/rastertoquillfern
[ "$(stat -c '%U %a' "$filter")" = "root 755" ] || fail "filter is $(stat -c '%U %a' "$filter")"

cupsd_pid=
# shellcheck source=tests/private_cupsd.sh
. "$source_dir/tests/private_cupsd.sh"
cleanup() {
  stop_private_cupsd
  if dpkg -s quillfern >/dev/null 2>&1; then apt-get remove -y -q quillfern >/dev/null 2>&1; fi
}
trap cleanup EXIT
start_private_cupsd

echo "== lpinfo -m"
model=$(lpinfo -h "$server" -m | awk '/Quillfern/ {print $1; exit}')
[ -n "$model" ] || fail "lpinfo -m does not list the driver"
echo "   $model"

echo "== printing through a queue made with it"
if [ -n "$model" ]; then
  lpadmin -h "$server" -p pkg -E -v "file://$out/job.prn" -m "$model" 2>&1 | grep -v deprecated || true
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 \
    -sOutputFile="$tmp/document.pdf" "$source_dir/scripts/demo-document.ps"
  chmod 0644 "$tmp/document.pdf"
  request=$(lp -h "$server" -d pkg "$tmp/document.pdf")
  id=${request#request id is pkg-}
  id=${id%% *}
  if wait_for_job "$id"; then
    gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r600 \
      -sOutputFile="$tmp/reference-%d.pbm" "$tmp/document.pdf"
    if quillfern-decode --extract "$tmp/pages" "$out/job.prn" >"$tmp/decoded.txt"; then
      for page in 1 2 3; do
        "$build/tests/page_compare" "$tmp/pages/page-$page.pbm" "$tmp/reference-$page.pbm" ||
          fail "page $page does not show the document"
      done
    else
      fail "the printed stream is not sound"
    fi
  else
    fail "job $id did not complete"
    grep "\[Job $id\]" "$error_log" | tail -20
  fi
fi

echo "== apt-get remove quillfern"
apt-get remove -y -q quillfern >/dev/null 2>&1 || fail "the package does not uninstall"
[ ! -e "$filter" ] || fail "$filter is still there"
[ ! -e /usr/share/cups/model/quillfern/quillfern.ppd ] || fail "the PPD is still there"
lpinfo -h "$server" -m | grep -q Quillfern && fail "lpinfo -m still lists the driver"

[ "$status" = 0 ] && echo "== the package installs, prints and uninstalls"
exit "$status"
