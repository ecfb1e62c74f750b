# What the shell tests share, sourced by each of them:
#
#   require_root WHY        skips the test (exit 77) unless run as root
#   require_tools TOOL...   skips the test unless every TOOL is installed
#   fail MESSAGE            counts a failure and says what it was
#   finish_tests OK-TEXT    ends the script: 1 and the count, or 0 and OK-TEXT
#   on_exit COMMAND         runs COMMAND when the script exits, however it
#                           exits (the last added runs first)
#   free_port               prints a free TCP port on the loopback interface
#   wait_for_port PORT [S]  waits up to S seconds (10) for PORT to take
#                           connections
#   user_work_dir PREFIX    makes a 0755 directory under /tmp that another
#                           user can reach, removed on exit; sets $work_dir
#   copy_for_user FILE DIR  copies FILE into DIR, readable and runnable by
#                           anyone; prints the copy's path
#   start_as_user USER COMMAND...
#                           starts COMMAND as USER in a session of its own,
#                           so that it and everything it starts can be
#                           stopped together; sets $started_pid
#   session_alive PID       true while a process of PID's session runs
#   stop_session PID [S]    SIGTERM to PID's session, then after S seconds
#                           (5) SIGKILL to whatever of it is left; waits
#
# A program run as another user must not be reached through the checkout or
# the build tree, which may lie in a directory only its owner can enter (a
# clone under /root, a 0700 mktemp -d): tests copy it into their own work
# directory first.

require_root() {
  [ "$(id -u)" -eq 0 ] && return 0
  echo "SKIP: $1, which needs root"
  exit 77
}

require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null && continue
    echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  done
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

finish_tests() {
  if [ "$failures" -ne 0 ]; then
    echo "== $failures failure(s)"
    exit 1
  fi
  echo "== $1"
  exit 0
}

exit_commands=()
run_exit_commands() {
  local status=$? index
  trap - EXIT
  for ((index = ${#exit_commands[@]} - 1; index >= 0; index--)); do
    eval "${exit_commands[index]}" || true
  done
  exit "$status"
}
on_exit() {
  exit_commands+=("$1")
  trap run_exit_commands EXIT
}

free_port() {
  local candidate
  for candidate in $(shuf -i 20000-60000 -n 50); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  echo "FAIL: no free port" >&2
  return 1
}

wait_for_port() {
  local port=$1 tenths=$((${2:-10} * 10)) attempt
  for ((attempt = 0; attempt < tenths; attempt++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

user_work_dir() {
  work_dir=$(mktemp -d "/tmp/$1.XXXXXX")
  chmod 0755 "$work_dir"
  on_exit "rm -rf '$work_dir'"
}

copy_for_user() {
  local copy
  copy=$2/$(basename "$1")
  install -m 0755 "$1" "$copy"
  echo "$copy"
}

start_as_user() {
  local user=$1
  shift
  setsid runuser -u "$user" -- "$@" &
  started_pid=$!
}

# The session's running processes (not the zombies), found by their
# session id.
session_processes() {
  ps -e -o pid=,sid=,stat= | awk -v sid="$1" '$2 == sid && $3 !~ /^Z/ {print $1}'
}

session_alive() {
  [ -n "$1" ] && [ -n "$(session_processes "$1")" ]
}

stop_session() {
  local pid=$1 tenths=$((${2:-5} * 10)) attempt
  [ -n "$pid" ] || return 0
  kill -TERM -- "-$pid" 2>/dev/null || true
  for ((attempt = 0; attempt < tenths; attempt++)); do
    [ -z "$(session_processes "$pid")" ] && break
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2>/dev/null || true
  for pid_left in $(session_processes "$pid"); do kill -KILL "$pid_left" 2>/dev/null || true; done
  wait "$pid" 2>/dev/null || true
}
