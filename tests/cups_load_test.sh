#!/bin/bash
# Several queues of one private CUPS scheduler printing at once, round after
# round: every job must complete and every stream must be sound and whole.
# Run twice: with a clean /tmp, and with a root-owned lock file (mode 0600)
# and a root-owned /tmp/brelmont planted before the first job, as a root run
# of the filter leaves them; jobs (run as lp) must then work in their own
# directory under TMPDIR and leave the planted paths as they were.
#
# usage: cups_load_test.sh FILTER PPD DECODER SOURCE_DIR [QUEUES] [ROUNDS]
set -euo pipefail

filter=$1 ppd=$2 decoder=$3 source_dir=$4 queues=${5:-6} rounds=${6:-3}

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

# One raster document for every job, so that the load is the filter's.
raster=$(mktemp /tmp/quillfern-load.XXXXXX.ras)
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=cups -dcupsColorSpace=3 -dcupsBitsPerColor=1 \
  -dcupsColorOrder=0 -r600 -sPAPERSIZE=a4 -sOutputFile="$raster" \
  "$source_dir/scripts/demo-document.ps"
chmod 0644 "$raster"
# How many pages it has, from the filter run by hand.
pages=$(PPD=$ppd "$filter" 1 u t 1 "" "$raster" 2>/dev/null | "$decoder" | awk '/^records:/ {print $2}')
[ "${pages:-0}" -gt 0 ] || { echo "FAIL: the document does not print by hand"; exit 1; }
rm -rf /tmp/brelmont /tmp/brelmont.lock  # that root run's, not the jobs'

# Prints $rounds rounds on $queues queues at once; odd queues two-sided.
run_load() {
  local condition=$1 round q request id ids expected
  echo "== $condition: $queues queues x $rounds rounds"
  for q in $(seq "$queues"); do
    lpadmin -h "$server" -p "q$q" -E -v "file://$out/q$q.prn" -P "$ppd" 2>&1 |
      grep -v deprecated || true
  done
  for round in $(seq "$rounds"); do
    ids=()
    for q in $(seq "$queues"); do
      local options=()
      [ $((q % 2)) -eq 1 ] && options=(-o sides=two-sided-long-edge)
      request=$(lp -h "$server" -d "q$q" "${options[@]}" "$raster")
      id=${request#request id is q$q-}
      ids+=("$q:${id%% *}")
    done
    for entry in "${ids[@]}"; do
      q=${entry%%:*} id=${entry#*:}
      if ! wait_for_job "$id"; then
        fail "$condition round $round: job $id on q$q did not complete"
        grep "\[Job $id\]" "$error_log" | grep -vE "envp|argv|One_Param|Key:|Value:|Param:" | tail -25 || true
        cupsenable -h "$server" "q$q" 2>/dev/null || true
        continue
      fi
      expected=$pages
      [ $((q % 2)) -eq 1 ] && expected=$((pages + pages % 2))
      if ! "$decoder" "$out/q$q.prn" >"$tmp/decoded.txt" 2>&1; then
        fail "$condition round $round: job $id's stream is not sound: $(tail -1 "$tmp/decoded.txt")"
      elif ! grep -q "^records: $expected\$" "$tmp/decoded.txt"; then
        fail "$condition round $round: job $id: $(grep '^records:' "$tmp/decoded.txt"), expected $expected"
      fi
    done
  done
}

start_private_cupsd "$filter"
run_load clean
# cupsd logs a filter's WARNING: lines at its level W, without the prefix.
grep -q "^W .*\[Job " "$error_log" && fail "clean: a job wrote a warning: $(grep -m1 '^W .*\[Job ' "$error_log")"
stop_private_cupsd

# What a root run of the filter leaves behind.
install -o root -g root -m 0600 /dev/null /tmp/brelmont.lock
install -d -o root -g root -m 0755 /tmp/brelmont
echo root >/tmp/brelmont/kept
start_private_cupsd "$filter"
run_load planted
# lp cannot even open root's 0600 lock.
warnings=$(grep -c "^W .*\] lock file /tmp/brelmont.lock cannot be opened: Permission denied; this job works in $tmp/spool/tmp/brelmont-$(id -u lp)/ instead\$" "$error_log" || true)
[ "$warnings" -eq $((queues * rounds)) ] ||
  fail "planted: $warnings of $((queues * rounds)) jobs said where they work instead"
[ "$(stat -c '%U %a' /tmp/brelmont.lock /tmp/brelmont)" = "root 600
root 755" ] || fail "planted: the planted paths were changed"
[ "$(cat /tmp/brelmont/kept)" = root ] || fail "planted: the planted directory was emptied"

finish_tests "every job of both conditions printed a sound stream"
