# A private CUPS scheduler for tests, sourced by the test scripts after
# tests/test_lib.sh.
#
# start_private_cupsd EXTRA_FILTER: makes $tmp (which the caller must clean
# up with stop_private_cupsd), a ServerBin of symlinks to everything under
# /usr/lib/cups/*/ plus EXTRA_FILTER (if given) copied in as root, 0755, and
# starts cupsd on a free loopback port.  Sets $tmp, $server, $out (a
# directory lp may write, for file: devices), $cupsd_pid, and $error_log,
# $page_log.  Callers run in a private /tmp (tests/private_tmp.sh), so the
# jobs' work directory is the test's own.

stop_private_cupsd() {
  # cupsd, and any filter or backend still running for it.
  stop_session "${cupsd_pid:-}" 10
  cupsd_pid=
  [ -n "${tmp:-}" ] || return 0
  if [ -n "${QUILLFERN_KEEP_E2E:-}" ]; then
    echo "kept $tmp"
  else
    rm -rf "$tmp"
  fi
}

start_private_cupsd() {
  local extra_filter=${1:-} lsan_supp=${2:-}
  tmp=$(mktemp -d /tmp/quillfern-cups.XXXXXX)
  chmod 0755 "$tmp"

  local port
  port=$(free_port) || return 1
  server=127.0.0.1:$port

  local etc=$tmp/etc serverbin=$tmp/serverbin dir name program
  out=$tmp/out
  error_log=$tmp/log/error_log
  page_log=$tmp/log/page_log
  mkdir -p "$etc/ppd" "$tmp/spool/tmp" "$tmp/cache" "$tmp/state/certs" "$tmp/log" \
    "$serverbin" "$out"
  # Filters, backends and daemons from the system, plus the filter under test.
  for dir in /usr/lib/cups/*/; do
    name=$(basename "$dir")
    mkdir -p "$serverbin/$name"
    for program in "$dir"*; do
      ln -sf "$program" "$serverbin/$name/$(basename "$program")"
    done
  done
  if [ -n "$extra_filter" ]; then
    rm -f "$serverbin/filter/rastertoquillfern"
    install -o root -g root -m 0755 "$extra_filter" "$serverbin/filter/rastertoquillfern"
  fi
  chown -R root:root "$serverbin"
  chmod -R go-w "$serverbin"
  # Jobs run as lp: it writes the output file and the filter's work directory.
  chown lp "$out"
  local setenv=
  if [ -n "$lsan_supp" ]; then
    install -m 0644 "$lsan_supp" "$tmp/lsan.supp"
    setenv="SetEnv LSAN_OPTIONS suppressions=$tmp/lsan.supp"
  fi

  cat >"$etc/cups-files.conf" <<CONF
ServerRoot $etc
ServerBin $serverbin
DataDir /usr/share/cups
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
ErrorLog $error_log
AccessLog $tmp/log/access_log
PageLog $page_log
FileDevice Yes
User lp
Group lp
SystemGroup root
$setenv
CONF
  cat >"$etc/cupsd.conf" <<CONF
Listen $server
Browsing No
WebInterface No
LogLevel debug
MaxLogSize 0
PageLogFormat %p %j %u %P %C
DefaultAuthType None
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Location /admin>
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow from 127.0.0.1
  </Limit>
</Policy>
CONF
  chmod 0644 "$etc"/*.conf

  (cd / && exec setsid cupsd -f -c "$etc/cupsd.conf" -s "$etc/cups-files.conf") &
  cupsd_pid=$!
  local attempt
  for attempt in $(seq 100); do
    lpstat -h "$server" -r 2>/dev/null | grep -q "is running" && return 0
    sleep 0.1
  done
  echo "FAIL: cupsd did not start"
  return 1
}

# Waits for job ID to end; succeeds only when it completed.
wait_for_job() {
  local id=$1 attempt
  for attempt in $(seq 600); do
    grep -q "\[Job $id\] Job completed\." "$error_log" && return 0
    grep -qE "\[Job $id\] (Job stopped|Job aborted|.*Job canceled)" "$error_log" && return 1
    sleep 0.2
  done
  return 1
}
