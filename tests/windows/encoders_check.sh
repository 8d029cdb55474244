#!/usr/bin/env bash
# Checks the Windows encoders under Wine the way vorlune.exe runs them: in a
# folder holding temp.bmp, with Vorlune's fixed command lines, expecting exit
# code 0 and output files that decode to the captured pixels.
#
# Usage: tests/windows/encoders_check.sh [FOLDER_WITH_cjpeg.exe_AND_optipng.exe]
# Without a folder the encoders come from scripts/build-windows-encoders.
# Uses WINEPREFIX (default /tmp/wp-encoders, made when missing). Prints a
# PASS or FAIL line per check and the 1280x800 run times; exits 1 on failure.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-/tmp/wp-encoders}"
export WINEDEBUG=-all
py=/usr/bin/python3
[ -x "$py" ] || py=python3

failures=0
pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

for tool in wine wineserver djpeg "$py"; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is missing (scripts/setup installs it)"; exit 1; }
done

if [ $# -ge 1 ]; then
  encoders="$1"
else
  encoders=$("$here/scripts/build-windows-encoders") || { echo "FAIL building the encoders"; exit 1; }
fi
for exe in cjpeg.exe optipng.exe; do
  [ -f "$encoders/$exe" ] || { echo "FAIL $encoders/$exe not found"; exit 1; }
done

work=$(mktemp -d /tmp/encoders-check.XXXXXX)
started_wineserver=0
# shellcheck disable=SC2317  # called by the EXIT trap
finish() {
  # Only this prefix's wineserver, which this check started.
  [ "$started_wineserver" = 0 ] || wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

# Runs a command with a time limit; a command still running then is killed by
# its PID. Sets run_rc (124 on time-out) and run_ms.
run_bounded() {
  local limit_s="$1"; shift
  local t0 t1 pid deadline
  t0=$(date +%s%N)
  "$@" >"$work/out.txt" 2>&1 &
  pid=$!
  deadline=$((t0 + limit_s * 1000000000))
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$(date +%s%N)" -gt "$deadline" ]; then
      kill "$pid" 2>/dev/null; sleep 0.5; kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      run_rc=124; run_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
      return
    fi
    sleep 0.02
  done
  wait "$pid"; run_rc=$?
  t1=$(date +%s%N)
  run_ms=$(( (t1 - t0) / 1000000 ))
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  run_bounded 120 wineboot -i
  [ "$run_rc" = 0 ] || { echo "FAIL making the Wine prefix $WINEPREFIX (exit $run_rc)"; exit 1; }
fi
started_wineserver=1
# Start the server once so that the first timed run is not charged for it.
run_bounded 60 wine cmd /c exit 0

# The image side: writes BMPs the way Vorlune does (24-bit, bottom-up, rows
# padded to 4 bytes with meaningless bytes) and compares decoded images with
# them. The pattern has a different colour in each corner, so a flipped,
# mirrored or channel-swapped result does not pass.
cat >"$work/images.py" <<'PYEOF'
import struct, sys, zlib

def pixel(x, y, w, h):
    corner = (x * 2 >= w) + 2 * (y * 2 >= h)
    base = [(230, 30, 30), (30, 200, 40), (40, 60, 220), (240, 240, 40)][corner]
    shade = ((x * 7 + y * 3) % 32) - 16
    return tuple(max(0, min(255, c + shade)) for c in base)

def make_bmp(path, w, h):
    stride = (w * 24 + 31) // 32 * 4
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y, w, h)
            row += bytes((b, g, r))
        row += b"\xa5" * (stride - 3 * w)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + data)

def expected(w, h):
    return [pixel(x, y, w, h) for y in range(h) for x in range(w)]

def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] != b"\n": pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace(): pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit P6 file")
    w, h = int(fields[1]), int(fields[2])
    px = data[pos:pos + 3 * w * h]
    return w, h, [tuple(px[i:i + 3]) for i in range(0, len(px), 3)]

def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, idat, palette = 8, b"", None
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if zlib.crc32(kind + body) != struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])[0]:
            raise ValueError("bad CRC in " + kind.decode())
        if kind == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + n
    if interlace:
        raise ValueError("interlaced PNG")
    if depth == 16:
        raise ValueError("16-bit PNG from an 8-bit source")
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    bpp = max(1, channels * depth // 8)
    rowbytes = (w * channels * depth + 7) // 8
    raw, prev, out = zlib.decompress(idat), bytearray(rowbytes), []
    for y in range(h):
        f = raw[y * (rowbytes + 1)]
        line = bytearray(raw[y * (rowbytes + 1) + 1:(y + 1) * (rowbytes + 1)])
        for i in range(rowbytes):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif f != 0: raise ValueError("unknown filter %d" % f)
        prev = line
        if depth < 8:
            per = 8 // depth
            samples = [(line[x // per] >> (8 - depth * (x % per + 1))) & ((1 << depth) - 1) for x in range(w)]
        else:
            samples = list(line)
        for x in range(w):
            if ctype == 3: out.append(palette[samples[x]])
            elif ctype in (0, 4):
                v = samples[x * channels] * (255 // ((1 << depth) - 1))
                out.append((v, v, v))
            else: out.append(tuple(samples[x * channels:x * channels + 3]))
    return w, h, out

def main():
    cmd = sys.argv[1]
    if cmd == "make":
        make_bmp(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
        return 0
    w, h = int(sys.argv[3]), int(sys.argv[4])
    try:
        gw, gh, got = (read_png if cmd == "png" else read_ppm)(sys.argv[2])
    except Exception as e:
        print("undecodable: %s" % e); return 1
    if (gw, gh) != (w, h):
        print("size %dx%d, expected %dx%d" % (gw, gh, w, h)); return 1
    want = expected(w, h)
    if cmd == "png":
        wrong = sum(1 for a, b in zip(got, want) if a != b)
        if wrong:
            print("%d of %d pixels differ from temp.bmp" % (wrong, w * h)); return 1
        return 0
    # JPEG is lossy and stores colour at lower resolution than brightness, so
    # brightness is compared pixel by pixel and colour by the average of each
    # corner's inside, away from the sharp colour edges. A flipped, mirrored or
    # channel-swapped image fails both.
    limit_mean, limit_max = float(sys.argv[5]), int(sys.argv[6])
    luma = lambda p: 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]
    errs = [abs(luma(a) - luma(b)) for a, b in zip(got, want)]
    mean = sum(errs) / len(errs)
    if mean > limit_mean or max(errs) > limit_max:
        print("brightness error: mean %.1f (limit %s), worst %.0f (limit %d)" % (mean, limit_mean, max(errs), limit_max))
        return 1
    qw, qh, border = w // 2, h // 2, 8
    if qw > 2 * border and qh > 2 * border:
        for cy in (0, 1):
            for cx in (0, 1):
                box = [(x, y) for y in range(cy * qh + border, (cy + 1) * qh - border)
                              for x in range(cx * qw + border, (cx + 1) * qw - border)]
                for ch in range(3):
                    g = sum(got[y * w + x][ch] for x, y in box) / len(box)
                    e = sum(want[y * w + x][ch] for x, y in box) / len(box)
                    if abs(g - e) > 12:
                        print("corner %d,%d channel %d averages %.0f, expected %.0f" % (cx, cy, ch, g, e))
                        return 1
    if len(sys.argv) > 7:
        print("brightness error: mean %.2f, worst %.0f" % (mean, max(errs)))
    return 0

sys.exit(main())
PYEOF

jpeg_default="-sample 2x1,1x1,1x1 -quality 70 -optimize -dct float temp.bmp temp.jpg"
jpeg_best="-quality 98 -optimize -dct float temp.bmp temp.jpg"
png_line="-o3 -q temp.bmp"

folder="$work/run"
mkdir -p "$folder"
cp "$encoders/cjpeg.exe" "$encoders/optipng.exe" "$folder/"
cd "$folder" || exit 1

# name, command line, output, how it is checked (decoder, mean and worst error)
cases=(
  "jpeg-default|cjpeg.exe $jpeg_default|temp.jpg|jpeg 14 40"
  "jpeg-best|cjpeg.exe $jpeg_best|temp.jpg|jpeg 2.5 16"
  "png|optipng.exe $png_line|temp.png|png"
)
# Sizes whose rows need 1, 2 and 3 padding bytes, a single pixel, odd sizes
# for the 2x1 chroma subsampling, and a full screen for the timings.
sizes=(1x1 2x3 3x5 37x23 1280x800)

for size in "${sizes[@]}"; do
  w=${size%x*}; h=${size#*x}
  "$py" "$work/images.py" make temp.bmp "$w" "$h"
  for c in "${cases[@]}"; do
    IFS='|' read -r name line output check <<<"$c"
    rm -f temp.jpg temp.png
    # shellcheck disable=SC2086  # the command line is split into words, as Vorlune's is
    run_bounded 30 wine $line
    label="$name $size"
    if [ "$run_rc" != 0 ]; then
      fail "$label: exit code $run_rc: $(head -c 300 "$work/out.txt")"; continue
    fi
    [ -s "$output" ] || { fail "$label: $output not written"; continue; }
    read -r decoder limits <<<"$check"
    if [ "$decoder" = jpeg ]; then
      djpeg -pnm -outfile "$work/decoded.ppm" "$output" 2>"$work/out.txt" ||
        { fail "$label: djpeg cannot decode it: $(head -c 300 "$work/out.txt")"; continue; }
      # shellcheck disable=SC2086
      verdict=$("$py" "$work/images.py" ppm "$work/decoded.ppm" "$w" "$h" $limits)
    else
      verdict=$("$py" "$work/images.py" png "$output" "$w" "$h")
    fi
    verdict_rc=$?
    if [ "$verdict_rc" = 0 ]; then
      pass "$label: exit 0, $(stat -c %s "$output") bytes, decodes to the captured pixels"
    else
      fail "$label: $verdict"
    fi
    [ "$size" != 1280x800 ] || echo "TIME $name 1280x800: ${run_ms} ms (wine start included)"
  done
done

# Vorlune deletes both outputs before a capture and counts a missing output
# as a failed encoder: an existing temp.png must make optipng fail without
# touching it, and a missing temp.bmp must leave no output behind.
"$py" "$work/images.py" make temp.bmp 37 23
printf 'earlier capture' >temp.png
# shellcheck disable=SC2086
run_bounded 30 wine optipng.exe $png_line
if [ "$run_rc" != 0 ] && [ "$run_rc" != 124 ] && [ "$(cat temp.png)" = "earlier capture" ]; then
  pass "optipng with temp.png present: exit $run_rc, temp.png untouched"
else
  fail "optipng with temp.png present: exit $run_rc, temp.png $(stat -c %s temp.png) bytes"
fi

rm -f temp.bmp temp.jpg temp.png
for c in "${cases[@]}"; do
  IFS='|' read -r name line output _ <<<"$c"
  # shellcheck disable=SC2086
  run_bounded 30 wine $line
  if [ "$run_rc" != 0 ] && [ "$run_rc" != 124 ] && [ ! -s "$output" ]; then
    pass "$name without temp.bmp: exit $run_rc, no $output"
  else
    fail "$name without temp.bmp: exit $run_rc, $output $( [ -e "$output" ] && stat -c '%s bytes' "$output" || echo absent)"
  fi
  rm -f "$output"
done

if [ "$failures" = 0 ]; then
  echo "PASS encoders under Wine ($encoders)"
  exit 0
fi
echo "FAIL $failures encoder check(s) failed"
exit 1
