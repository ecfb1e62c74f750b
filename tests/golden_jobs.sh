#!/bin/bash
# Runs the filter's golden jobs and leaves, for each job NAME, in OUT_DIR:
# NAME.out (size and SHA-256 of standard output), NAME.err (standard error), NAME.status (exit
# status) and NAME.files (the work directory afterwards: name, size and
# SHA-256 of every file).  The jobs run in namespaces of their own, with a
# private /tmp and the host name "golden-host", and argv[0] is always
# "rastertoquillfern", so that two filters can be compared byte for byte.
#
# usage: golden_jobs.sh FILTER RASTER_MAKER PPD OUT_DIR
set -euo pipefail

if [ -z "${QUILLFERN_IN_PRIVATE_TMP:-}" ]; then
  if [ "$(id -u)" -ne 0 ] || ! unshare --mount --uts true 2>/dev/null; then
    echo "SKIP: needs private mount and host-name namespaces (root)"
    exit 77
  fi
  set -- "$(realpath "$1")" "$(realpath "$2")" "$(realpath "$3")" "$(realpath "$4")"
  QUILLFERN_IN_PRIVATE_TMP=1 exec unshare --mount --uts --propagation private "$0" "$@"
fi
# shellcheck source=tests/private_tmp.sh
. "$(dirname "$0")/private_tmp.sh"
enter_private_tmp "$0" "$@"
hostname golden-host

filter=$1 maker=$2 ppd=$3 out=$4
work=$(mktemp -d /tmp/golden.XXXXXX)
"$maker" "$work"
# The second page of three, cut 40 rows from its end.
head -c $(( $(stat -c %s "$work/three.ras") * 2 / 3 - 40 * 104 )) "$work/three.ras" >"$work/cut.ras"

# Stand-ins for the encoder, first on PATH: one that ends the job with
# SIGTERM (as CUPS cancels) once page 3 is encoded, one that fails page 2.
mkdir "$work/cancel" "$work/fail"
cat >"$work/cancel/pbmtojbg" <<'SH'
#!/bin/sh
/usr/bin/pbmtojbg "$@" || exit $?
case "$*" in *_3_gs*) kill -TERM "$PPID";; esac
SH
cat >"$work/fail/pbmtojbg" <<'SH'
#!/bin/sh
case "$*" in *_2_gs*) exit 1;; esac
exec /usr/bin/pbmtojbg "$@"
SH
chmod 0755 "$work/cancel/pbmtojbg" "$work/fail/pbmtojbg"

# run NAME RASTER PATH_PREFIX JOB COPIES OPTIONS [TITLE]
run() {
  local name=$1 raster=$2 prefix=$3 job=$4 copies=$5 options=$6 title=${7:-/home/alice/report.pdf draft}
  rm -rf /tmp/brelmont /tmp/brelmont.lock /tmp/auth
  local status=0
  PATH=$prefix:/usr/bin:/bin PPD=$ppd TMPDIR=/tmp \
    bash -c 'exec -a rastertoquillfern "$0" "$@"' "$filter" "$job" alice "$title" "$copies" \
    "$options" <"$raster" >"$work/stdout" 2>"$out/$name.err" || status=$?
  echo "$status" >"$out/$name.status"
  printf '%s %s\n' "$(stat -c %s "$work/stdout")" "$(sha256sum <"$work/stdout" | cut -c1-64)" \
    >"$out/$name.out"
  (cd /tmp/brelmont && find . -type f | sort | while read -r file; do
    printf '%s %s %s\n' "$file" "$(stat -c %s "$file")" "$(sha256sum <"$file" | cut -c1-64)"
  done) >"$out/$name.files"
}

mkdir -p "$out"
run one-sided "$work/three.ras" "" 11 1 "PageSize=A4"
run duplex "$work/three.ras" "" 12 1 "Duplex=DuplexNoTumble"
run duplex-uncollated "$work/five.ras" "" 13 3 "Duplex=DuplexTumble noCollate"
run uncollated-copies "$work/three.ras" "" 14 2 "noCollate"
run a5-turned "$work/a5.ras" "" 15 1 "PageSize=A5 FeedEdge=1 MediaType=Thick"
run manual-tray "$work/three.ras" "" 16 1 "InputSlot=ManualTray Duplex=DuplexNoTumble"
run cancelled "$work/five.ras" "$work/cancel" 17 1 "Duplex=DuplexNoTumble"
run cut-short "$work/cut.ras" "" 18 1 "Duplex=DuplexNoTumble noCollate"
run failing-encoder "$work/three.ras" "$work/fail" 19 1 ""
run escaped-options "$work/three.ras" "" 20 1 \
  "AuthPassword=Qf7\\ Zr9 MediaType='Plain' job-uuid=urn:uuid:1 LoginName=x,y" "x, LoginName=boss, .pdf"
run empty /dev/null "" 21 1 ""
