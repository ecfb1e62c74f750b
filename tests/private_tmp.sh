# Sourced by the test scripts that run the filter with its fixed paths:
# re-runs the calling script in a mount namespace of its own with a tmpfs
# over /tmp, so the host's /tmp/brelmont, its lock and /tmp/auth are never
# seen or changed.  The source tree and every argument that is a path under
# /tmp (a checkout or build tree there) stay visible, bound back into the
# new /tmp.  Exits 77 (skipped) where the namespace is refused.
#
# usage: . tests/private_tmp.sh; enter_private_tmp "$0" "$@"
enter_private_tmp() {
  if [ -n "${QUILLFERN_IN_PRIVATE_TMP:-}" ]; then
    local keep="" path top
    for path in "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)" "${@:2}"; do
      path=$(realpath -m "$path")
      case $path in /tmp/?*) top=${path#/tmp/}; keep="$keep ${top%%/*}" ;; esac
    done
    exec 9</tmp
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /tmp ||
      { echo "SKIP: cannot mount a private /tmp"; exit 77; }
    for top in $(printf '%s\n' $keep | sort -u); do
      [ -e "/proc/$$/fd/9/$top" ] || continue
      mkdir -p "/tmp/$top"
      mount --no-canonicalize --bind "/proc/$$/fd/9/$top" "/tmp/$top"
    done
    exec 9<&-
    return 0
  fi
  if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "SKIP: needs a private /tmp (unshare --mount), never the host's"
    exit 77
  fi
  QUILLFERN_IN_PRIVATE_TMP=1 exec unshare --mount --propagation private "$@"
}
