#!/usr/bin/env bash
# small_drive.sh start|stop MOUNTPOINT WINEPREFIX
# Mounts a 2 MiB tmpfs at MOUNTPOINT and maps it as drive Q: of the prefix,
# or takes both away again. Without the right to mount, start only records
# why, in MOUNTPOINT.reason, for the test to report.
set -u
action=$1 mountpoint=$(realpath -m "$2") prefix=$3
reason=$mountpoint.reason
case $action in
  start)
    rm -f "$reason"
    mkdir -p "$mountpoint" "$prefix/dosdevices"
    if ! mountpoint -q "$mountpoint"; then
      if ! out=$(mount -t tmpfs -o size=2m qiv-small-drive "$mountpoint" 2>&1); then
        echo "cannot mount a small filesystem here: $out" >"$reason"
        exit 0
      fi
    fi
    ln -sfn "$mountpoint" "$prefix/dosdevices/q:"
    ;;
  stop)
    rm -f "$prefix/dosdevices/q:" "$reason"
    if mountpoint -q "$mountpoint"; then umount "$mountpoint" || umount -l "$mountpoint"; fi
    rmdir "$mountpoint" 2>/dev/null || true
    ;;
esac
exit 0
