# Sourced by the test scripts that run the filter with its fixed paths:
# re-runs the calling script in a mount namespace of its own with a tmpfs
# over /tmp, so the host's /tmp/brelmont, its lock and /tmp/auth are never
# seen or changed.  Exits 77 (skipped) where the namespace is refused.
#
# usage: . tests/private_tmp.sh; enter_private_tmp "$0" "$@"
enter_private_tmp() {
  if [ -n "${QUILLFERN_IN_PRIVATE_TMP:-}" ]; then
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /tmp ||
      { echo "SKIP: cannot mount a private /tmp"; exit 77; }
    return 0
  fi
  if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "SKIP: needs a private /tmp (unshare --mount), never the host's"
    exit 77
  fi
  QUILLFERN_IN_PRIVATE_TMP=1 exec unshare --mount --propagation private "$@"
}
