# Sourced by scripts that run the filter by hand (demo, bench): the filter's
# shared work directory and lock, and the private ones it may fall back to,
# are left as they were found.  What this run creates there, it removes when
# it ends, so that a driver installed later on this machine (whose jobs run
# as lp) can still use them.
work_paths_created=""
for work_path in /tmp/brelmont /tmp/brelmont.lock \
  "${TMPDIR:-/tmp}/brelmont-$(id -u)" "${TMPDIR:-/tmp}/brelmont-$(id -u).lock"; do
  if [ ! -e "$work_path" ] && [ ! -L "$work_path" ]; then
    work_paths_created="$work_paths_created $work_path"
  fi
done
remove_created_work_paths() {
  for work_path in $work_paths_created; do
    rm -rf "$work_path" "$work_path".old-*
  done
}
trap remove_created_work_paths EXIT
