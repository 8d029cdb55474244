#!/usr/bin/env bash
# The README's main job in its headless form, as scripts/run --demo runs it
# after the build: scripts/run.py with a bundle made here from a Windows build
# and the Windows encoders, local FTP and web servers, one capture made with
# xdotool, and the link fetched over HTTP compared with the chosen image.
#   demo_check.sh WINDOWS_BUILD ENCODERS WINEPREFIX
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1 encoders=$2 prefix=$3
work=$(mktemp -d /tmp/vorlune-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bundle"
cp "$build/vorlune.exe" "$encoders/cjpeg.exe" "$encoders/optipng.exe" "$work/bundle/"
WINEDEBUG=-all /usr/bin/python3 "$root/scripts/run.py" --demo --bundle "$work/bundle" \
  --run-dir "$work/run" --prefix "$prefix" --pattern "$build/test_pattern.exe" | tee "$work/out.txt"
grep -q "equal to the chosen image" "$work/out.txt"
