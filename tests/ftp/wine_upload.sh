#!/usr/bin/env bash
# The Windows build's FTP client (Winsock) under Wine: a 5 MB file uploaded
# through UploadImage by bench/upload_bench.exe to each real server, started
# here on 127.0.0.1, must land byte-exact under its image name.
#   wine_upload.sh [SERVER...]      (default: vsftpd pure-ftpd pyftpdlib)
#   WINEPREFIX             a Wine prefix (required; exit 77 to skip without it)
#   VORLUNE_WINDOWS_BUILD  the Windows build directory (default build/windows)
# Exit 0: all stored; 1: a failure; 77: skipped (no prefix, no exe, no Wine).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe="${VORLUNE_WINDOWS_BUILD:-$root/build/windows}/bench/upload_bench.exe"
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$exe" ] || ! command -v wine >/dev/null; then
  echo "wine_upload.sh: skipped (needs WINEPREFIX, wine and $exe)"
  exit 77
fi
export WINEDEBUG=-all
# The mingw runtime DLLs, for an exe not linked statically.
export WINEPATH="${WINEPATH:+$WINEPATH;}Z:\\usr\\lib\\gcc\\x86_64-w64-mingw32\\12-posix;Z:\\usr\\x86_64-w64-mingw32\\lib"
servers=("$@")
[ ${#servers[@]} -gt 0 ] || servers=(vsftpd pure-ftpd pyftpdlib)

work=$(mktemp -d /tmp/vorlune-wine-upload.XXXXXX)
. "$here/server_start.sh"
cleanup() {
  stop_ftp_server
  rm -rf "$work"
}
trap cleanup EXIT
head -c $((5 * 1024 * 1024)) /dev/urandom >"$work/image.png"

failed=0 ran=0
for kind in "${servers[@]}"; do
  code=0
  start_ftp_server "$kind" "$work/$kind" 30500 30599 "$work/$kind.log" || code=$?
  if [ $code = 77 ]; then echo "$kind: not installed, skipped"; continue; fi
  if [ $code != 0 ]; then failed=1; continue; fi
  mkdir -p "$work/run-$kind"
  if (cd "$work/run-$kind" && timeout 120 wine "$exe" 127.0.0.1 "$port" "$login" "$pass" upload "$work/image.png" \
        --runs 1 >"$work/run-$kind/out.txt" 2>&1) &&
     cmp -s "$work/image.png" "$work/$kind/files/upload/bench_2024_03_07_14_05_00.png"; then
    echo "$kind: 5 MB stored byte-exact from the Windows build"
    ran=1
  else
    echo "$kind: FAILED"; cat "$work/run-$kind/out.txt" || true; tail -5 "$work/run-$kind/log.txt" 2>/dev/null || true
    failed=1
  fi
  stop_ftp_server
done
[ $failed = 0 ] || exit 1
[ $ran = 1 ] || exit 77
