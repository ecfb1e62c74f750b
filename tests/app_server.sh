# The printer application under test, shared by its test scripts (sourced
# after tests/test_lib.sh, in a private /tmp):
#
#   app_server_setup APP SOURCE_DIR
#       makes the 0755 work directory $work (bin, spool, state, out, log,
#       tmp, docs) and copies APP into $work/bin; sets $app, $ipp, $log
#   start_app_server
#       starts the server as nobody on a free port ($port, $system) and
#       waits until it answers; sets $server_pid
#   stop_app_server
#       stops it and everything it started (also on exit)
#   as_server COMMAND...
#       runs COMMAND as the server's user with its environment, so that the
#       application's sub-commands find its socket and never start a server
#   add_printer NAME DEVICE-URI
#   submit QUEUE NAME FILE TYPE [SETTING=VALUE...]
#       sends a job with ipptool and sets $job_id (the settings override the
#       defaults of tests/ipp/print-with.test's variables)
#   wait_job QUEUE [SECONDS]
#       waits (default 120 s) for job $job_id to end; sets $job_state,
#       $job_message and $job_impressions
#   print QUEUE NAME FILE TYPE [SETTING=VALUE...]
#       submit and wait_job
#   decoded FILE    the decoder's table of the stream in FILE
#   records FILE    its records as "first,last,number ..."
#
# The server is probed with ipptool only: the application's own sub-commands
# start a private server of their own when none answers on their socket.

app_server_setup() {
  user_work_dir quillfern-app
  work=$work_dir
  mkdir -p "$work"/{spool,state,out,log,bin,tmp,docs}
  chown nobody:nogroup "$work"/{spool,state,out,log,tmp}
  app=$(copy_for_user "$1" "$work/bin")
  ipp=$2/tests/ipp
  log=$work/log/app.log
  server_pid=
  on_exit stop_app_server
}

as_server() {
  runuser -u nobody -- env HOME="$work/state" TMPDIR="$work/tmp" PATH="$work/bin:/usr/bin:/bin" "$@"
}

start_app_server() {
  port=$(free_port)
  system=ipp://localhost:$port/ipp/system
  start_as_user nobody env HOME="$work/state" TMPDIR="$work/tmp" PATH="$work/bin:/usr/bin:/bin" \
    "$app" server -o server-port="$port" -o spool-directory="$work/spool" \
    -o log-file="$log" -o log-level=debug -o listen-hostname=localhost
  server_pid=$started_pid
  local attempt
  wait_for_port "$port" 30 || return 1
  for attempt in $(seq 100); do
    ipptool -T 2 "$system" "$ipp/system-state.test" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

stop_app_server() {
  stop_session "$server_pid"
  server_pid=
  # A sub-command that found no server would have started one of its own.
  pkill -KILL -f -- "$work/" 2>/dev/null || true
}

# Tries again while a loaded machine keeps the new server from answering.
add_printer() {
  local attempt
  for attempt in 1 2 3 4 5; do
    as_server "$app" add -d "$1" -v "$2" -m quillfern >/dev/null 2>"$work/add.err" && return 0
    sleep 1
  done
  cat "$work/add.err"
  return 1
}

submit() {
  local queue=$1 name=$2 file=$3 type=$4 result setting
  shift 4
  local settings=(-d copies=1 -d sides=one-sided -d handling=separate-documents-collated-copies
    -d resolution=600dpi -d feed=long-edge -d media=iso_a4_210x297mm -d source=main
    -d type=stationery)
  for setting in "$@"; do settings+=(-d "$setting"); done
  result=$(ipptool -t -f "$file" -d filetype="$type" -d name="$name" "${settings[@]}" \
    "ipp://localhost:$port/ipp/print/$queue" "$ipp/print-with.test")
  job_id=$(echo "$result" | awk '/job-id \(integer\)/ {print $NF}')
  [ -n "$job_id" ] || { fail "$name: not accepted: $result"; return 1; }
}

wait_job() {
  local result attempt tenths=$((${2:-120} * 5))
  for ((attempt = 0; attempt < tenths; attempt++)); do
    # ipptool fails for a job that is not known (yet), and for a reloaded
    # one whose attributes PAPPL 1.3.1 repeats: its answer is read anyway.
    result=$(ipptool -t -d job_id="$job_id" "ipp://localhost:$port/ipp/print/$1" "$ipp/job-state.test" || true)
    job_state=$(echo "$result" | awk '/job-state \(enum\)/ {print $NF}')
    case $job_state in completed | canceled | aborted) break ;; esac
    sleep 0.2
  done
  job_message=$(echo "$result" | sed -n 's/.*job-state-message (textWithoutLanguage) = //p')
  job_impressions=$(echo "$result" | awk '/job-impressions-completed \(integer\)/ {print $NF}')
}

print() {
  submit "$@" || return 1
  wait_job "$1"
}

decoded() {
  "$decoder" "$1" 2>&1 || true
}

records() {
  decoded "$1" | awk '/^records:/ {t = 1; next} t && $1 ~ /^[0-9]+$/ {printf "%s%s,%s,%s", s, $2, $3, $1; s = " "}'
}
