#!/usr/bin/env bash
# The upload benchmark against curl -T, both against the same real server in
# the same run: upload_bench.sh [--wine] [SERVER]   (SERVER: vsftpd, the default,
# pure-ftpd or pyftpdlib). Prints our upload phase with the program's pause
# and with a plain Sleep(25), curl's, their ratio and the overhead per block.
#   VORLUNE_NATIVE_BUILD   native build directory (default build/native)
#   VORLUNE_WINDOWS_BUILD  Windows build directory (default build/windows)
#   WINEPREFIX             required with --wine
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wine=0
if [ "${1:-}" = "--wine" ]; then wine=1; shift; fi
kind=${1:-vsftpd}
runs=${RUNS:-5}

if [ $wine = 1 ]; then
  : "${WINEPREFIX:?set WINEPREFIX to a Wine prefix}"
  bench=(wine "${VORLUNE_WINDOWS_BUILD:-$root/build/windows}/bench/upload_bench.exe")
  export WINEDEBUG=-all
  # The mingw runtime DLLs, for a bench not linked statically.
  export WINEPATH="${WINEPATH:+$WINEPATH;}Z:\\usr\\lib\\gcc\\x86_64-w64-mingw32\\12-posix;Z:\\usr\\x86_64-w64-mingw32\\lib"
  [ -n "${DISPLAY:-}" ] || echo "upload_bench.sh: no DISPLAY; the bar cannot be painted, so nothing is measured" >&2
else
  bench=("${VORLUNE_NATIVE_BUILD:-$root/build/native}/bench/upload_bench")
fi

work=$(mktemp -d /tmp/vorlune-upload-bench.XXXXXX)
. "$here/server_start.sh"
cleanup() {
  stop_ftp_server
  rm -rf "$work"
}
trap cleanup EXIT

start_ftp_server "$kind" "$work/server" 30400 30499 "$work/server.log" || { echo "$kind: cannot be started" >&2; exit 1; }

head -c $((4 * 1024 * 1024)) /dev/urandom >"$work/image.png"

# curl's transfer phase: from the end of its preparation to the final reply.
curl_ms=$(for i in $(seq "$runs"); do
  curl -s -o /dev/null -w '%{time_pretransfer} %{time_total}\n' -T "$work/image.png" \
    "ftp://127.0.0.1:$port/upload/curl_$i.png" --user "$login:$pass"
done | awk '{ print ($2 - $1) * 1000 }' | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')

mkdir -p "$work/run"
cd "$work/run"
echo "== $kind, $( [ $wine = 1 ] && echo 'Windows build under Wine' || echo 'simulated desktop' )"
for pause in answer sleep; do
  "${bench[@]}" 127.0.0.1 "$port" "$login" "$pass" upload "$work/image.png" --runs "$runs" --pause "$pause" \
    --baseline-ms "$curl_ms"
  rm -f "$work/server/files/upload/"bench_*
done
