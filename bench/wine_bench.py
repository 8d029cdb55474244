#!/usr/bin/env python3
"""Vorlune's Windows build under Wine: idle cost, size, and release to link.

Usage:
  wine_bench.py --build-dir DIR --encoders DIR --prefix WINEPREFIX
                [--idle-seconds 30] [--runs 5] [--only size,idle,link] [--keep DIR]

DIR (the Windows build) holds vorlune.exe and, built beside it, test_pattern.exe,
idle_loop.exe and encoder_runs.exe; --encoders holds cjpeg.exe and optipng.exe
(scripts/build-windows-encoders prints it). Everything runs in one Xvfb display
with one Wine session (harness.Session), the prefix made once if needed.

Each figure comes with its baseline measured in the same run:
- idle: the CPU time of vorlune.exe's process over the idle window against
  idle_loop.exe, a program that only sits in GetMessageA, under the same Wine;
  wineserver's, the desktop process's and Xvfb's CPU over each window are
  printed beside them, since a polling loop makes them work too.
- size: vorlune.exe's bytes against the 1 MB target (and without its debug
  sections, for reference).
- link: the time from the mouse release that ends a whole-screen drag to the
  moment xclip reads the new link, against the two encoders run alone on that
  capture's temp.bmp by encoder_runs.exe, one round of each in turn so that
  both see the same machine load. The encoders alone run twice: by Vorlune's
  own RunEncoder from a GUI program, as Vorlune starts them (a console is made
  for each, under Wine a conhost.exe), and detached, without a console, which
  is the encoders' own work. The first round is a warm-up and is left out of
  the medians. A timeline of each capture (temp.bmp written, each encoder's
  output, the log lines) shows where the time goes.

The figures are printed, never checked: this is no test. The exit code is
non-zero only when something could not be measured.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "windows"))
import harness  # noqa: E402
from harness import Failure, wait_for  # noqa: E402

REGISTERED = "Key combination 2 was successively registered\r\n"
TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")
SIZE_TARGET = 1_000_000
RATIO_TARGET = 1.1
POLL_SECONDS = 0.002


def say(text=""):
    print(text, flush=True)


# -- CPU time of processes ------------------------------------------------------
def cpu_seconds(pid):
    """utime + stime of a process (all its threads), or None once it is gone."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    fields = stat.rsplit(")", 1)[1].split()
    # fields[0] is the state (field 3); utime and stime are fields 14 and 15.
    return (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND


def session_processes(prefix):
    """PIDs of this prefix's wineserver and desktop process (explorer.exe),
    told from other sessions' by the WINEPREFIX in their environment."""
    wanted = f"WINEPREFIX={prefix}".encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            command = Path(f"/proc/{entry}/cmdline").read_bytes()
            environment = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if wanted not in environment:
            continue
        name = command.split(b"\0")[0].lower()
        if name.endswith(b"wineserver64") or name.endswith(b"wineserver"):
            found["wineserver"] = int(entry)
        elif name.endswith(b"explorer.exe"):
            found["explorer"] = int(entry)
    return found


def check_runs(pid, exe):
    """Under Wine the process started for `wine exe` becomes the exe's own
    process, its command line naming the exe; measuring anything else (a
    launcher that had not yet handed over) would read nothing."""
    name = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].lower()
    if not name.endswith(exe.lower().encode()):
        raise Failure(f"process {pid} runs {name!r}, not {exe}")
    return pid


def idle_window(session, exe, seconds, ready):
    """Starts exe, lets it settle, and returns the CPU seconds of it, the
    wineserver, the desktop process and the X server over `seconds` of rest."""
    program = session.start(exe)
    ready()
    time.sleep(2.0)
    pid = check_runs(program.pid, exe)
    others = session_processes(session.prefix)
    missing = {"wineserver", "explorer"} - set(others)
    if missing:
        raise Failure(f"no {' or '.join(sorted(missing))} process of prefix {session.prefix} found")
    others["xvfb"] = session.xvfb.pid
    before = {"own": cpu_seconds(pid), **{k: cpu_seconds(v) for k, v in others.items()}}
    started = time.monotonic()
    time.sleep(seconds)
    after = {"own": cpu_seconds(pid), **{k: cpu_seconds(v) for k, v in others.items()}}
    elapsed = time.monotonic() - started
    if program.poll() is not None:
        raise Failure(f"{exe} ended during its idle window with {program.returncode}")
    harness.stop(program)
    gone = [k for k in before if before[k] is None or after[k] is None]
    if gone:
        raise Failure(f"the {', '.join(gone)} process ended during {exe}'s idle window")
    return {k: after[k] - before[k] for k in before}, elapsed


def bench_idle(session, seconds):
    write_settings(session, port=21)
    shutil.copy2(session.build_dir / "idle_loop.exe", session.run_dir / "idle_loop.exe")
    vorlune, elapsed_v = idle_window(session, "vorlune.exe", seconds,
                                     lambda: session.wait_for_log(REGISTERED))
    baseline, elapsed_b = idle_window(session, "idle_loop.exe", seconds, lambda: None)

    def ms(value):
        return f"{value * 1000:8.0f} ms"

    def share(value, elapsed):
        return f"{100 * value / elapsed:5.2f} %"

    say(f"== idle: CPU time over {seconds:.0f} s at rest (utime + stime from /proc)")
    say(f"   {'':16} {'own process':>22} {'wineserver':>11} {'desktop':>11} {'Xvfb':>11}")
    for name, used, elapsed in (("vorlune.exe", vorlune, elapsed_v), ("idle_loop.exe", baseline, elapsed_b)):
        say(f"   {name:16} {ms(used['own'])} ({share(used['own'], elapsed)} of a core)"
            f" {ms(used['wineserver'])} {ms(used['explorer'])} {ms(used['xvfb'])}")
    say(f"   {'difference':16} {ms(vorlune['own'] - baseline['own'])}"
        f" ({share(vorlune['own'] / elapsed_v - baseline['own'] / elapsed_b, 1)} of a core)"
        f" {ms(vorlune['wineserver'] - baseline['wineserver'])}"
        f" {ms(vorlune['explorer'] - baseline['explorer'])} {ms(vorlune['xvfb'] - baseline['xvfb'])}")
    together = sum(vorlune.values()) - sum(baseline.values())
    say(f"   all four together: {together * 1000:.0f} ms more than the baseline over the window")


# -- size -----------------------------------------------------------------------
def bench_size(build_dir):
    exe = Path(build_dir) / "vorlune.exe"
    size = exe.stat().st_size
    verdict = "under" if size < SIZE_TARGET else "OVER"
    say(f"== size: vorlune.exe {size} bytes = {size / 1e6:.3f} MB ({size / 1048576:.3f} MiB);"
        f" target under 1 MB: {verdict}")
    strip = shutil.which("x86_64-w64-mingw32-strip")
    if strip:
        copy = Path("/tmp") / f"vorlune-bench-stripped-{os.getpid()}.exe"
        try:
            subprocess.run([strip, "-o", str(copy), str(exe)], check=True, timeout=60)
            stripped = copy.stat().st_size
            say(f"   without debug sections (strip): {stripped} bytes = {stripped / 1e6:.3f} MB")
        finally:
            copy.unlink(missing_ok=True)


# -- release to link --------------------------------------------------------------
def write_settings(session, port, backup="backup"):
    (session.run_dir / "settings.ini").write_bytes(harness.settings_bytes(
        "127.0.0.1", port, "vorlune", "secret", "images", "127.0.0.1/images", "shot", backup))


class LogReader:
    """Reads what log.txt gained since the last look, cheaply enough to be
    asked every couple of milliseconds."""

    def __init__(self, path):
        self.path = path
        self.offset = path.stat().st_size if path.exists() else 0
        self.text = ""

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                more = f.read()
        except OSError:
            return self.text
        self.offset += len(more)
        self.text += more.decode("latin-1")
        return self.text


def mtime(path):
    try:
        return path.stat().st_mtime_ns
    except OSError:
        return None


def drag_whole_screen(session):
    """Presses at the top left corner, moves to the bottom right one and
    returns just before the release, which the caller times."""
    width, height = harness.DESKTOP_SIZE
    session.xdotool("mousemove", "--sync", "0", "0")
    session.xdotool("mousedown", "1")
    # As harness.Session.drag: the press is read a main-loop pass later.
    time.sleep(0.3)
    for i in range(1, 5):
        session.xdotool("mousemove", "--sync", str((width - 1) * i // 4), str((height - 1) * i // 4))
        time.sleep(0.05)
    time.sleep(0.3)


def one_capture(session):
    """One capture of the whole screen; returns its timeline in milliseconds
    from the moment the release was sent."""
    run = session.run_dir
    bmp_before = mtime(run / "temp.bmp")
    log = LogReader(run / "log.txt")
    session.press("alt+grave")
    wait_for(lambda: "Key was pressed\r\n" in log.poll(), 20, "the veil")
    time.sleep(0.5)
    drag_whole_screen(session)

    wall0 = time.time_ns()
    t0 = time.monotonic()
    session.xdotool("mouseup", "1")
    up_ms = (time.monotonic() - t0) * 1000
    seen = {}
    deadline = t0 + 60
    while time.monotonic() < deadline:
        text = log.poll()
        now = (time.monotonic() - t0) * 1000
        for key, marker in (("sizes logged", "PNG size: "), ("link logged", "SetClipboardData (")):
            if key not in seen and marker in text:
                seen[key] = now
        if "Failed" in text:
            raise Failure(f"the capture failed: {text!r}")
        if "link logged" in seen:
            break
        time.sleep(POLL_SECONDS)
    else:
        raise Failure(f"no link within 60 s; log: {log.text!r}")

    link = re.search(r"Putting (.*) in clipboard\r\n", log.text).group(1)
    while session.clipboard() != link:
        if time.monotonic() > deadline:
            raise Failure(f"xclip never read {link!r}")
    seen["xclip reads link"] = (time.monotonic() - t0) * 1000

    # The rest of the capture (the upload) runs on; the next round waits for it.
    wait_for(lambda: "\r\n226" in log.poll() or "Failed" in log.text, 60, "the upload's final reply")
    time.sleep(0.3)
    for name in ("temp.bmp", "temp.jpg", "temp.png"):
        written = mtime(run / name)
        if written is not None and (name != "temp.bmp" or written != bmp_before):
            seen[f"{name} written"] = (written - wall0) / 1e6
    sizes = re.search(r"PNG size: (-?\d+), JPG size: (-?\d+)", log.text)
    return {"timeline": seen, "xdotool": up_ms, "png": int(sizes.group(1)), "jpg": int(sizes.group(2)),
            "link": link}


def encoders_alone(session, folder, mode):
    runner = subprocess.Popen(["wine", "encoder_runs.exe", "1", "fast", mode], cwd=folder, env=session.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    # The capture is timed while this script polls log.txt; the encoders
    # alone get the same neighbour, so the poll's share of the two cores
    # weighs on both sides alike.
    log = LogReader(session.run_dir / "log.txt")
    deadline = time.monotonic() + 120
    while runner.poll() is None and time.monotonic() < deadline:
        log.poll()
        time.sleep(POLL_SECONDS)
    if runner.poll() is None:
        harness.stop(runner)
        raise Failure("encoder_runs.exe did not end within 120 s")
    output = runner.stdout.read().decode("latin-1")
    runner.stdout.close()
    match = re.search(rf"^encoders {mode} (\S+) (\S+) (\d+) (\d+) (-?\d+) (-?\d+)", output, re.M)
    if not match:
        raise Failure(f"encoder_runs.exe printed {output!r}")
    jpeg_ms, png_ms = float(match.group(1)), float(match.group(2))
    exits = (int(match.group(3)), int(match.group(4)))
    if exits != (0, 0):
        raise Failure(f"the encoders alone ({mode}) exited with {exits}")
    return {"jpeg": jpeg_ms, "png": png_ms, "both": jpeg_ms + png_ms, "jpg_bytes": int(match.group(5)),
            "png_bytes": int(match.group(6))}


def bitmap_size(path):
    header = path.read_bytes()[:26]
    return int.from_bytes(header[18:22], "little", signed=True), int.from_bytes(header[22:26], "little",
                                                                                 signed=True)


def bench_link(session, runs, keep):
    alone = session.run_dir / "alone"
    alone.mkdir()
    for name in ("cjpeg.exe", "optipng.exe"):
        if not (session.run_dir / name).exists():
            raise Failure(f"{name} is missing: pass --encoders")
        shutil.copy2(session.run_dir / name, alone / name)
    shutil.copy2(session.build_dir / "encoder_runs.exe", alone / "encoder_runs.exe")
    shutil.copy2(session.build_dir / "test_pattern.exe", session.run_dir / "test_pattern.exe")

    with harness.FtpServer(session.run_dir / "ftp-root") as ftp:
        (ftp.root / "images").mkdir(parents=True, exist_ok=True)
        write_settings(session, ftp.port)
        # Something on the screen besides the desktop's plain background.
        session.start("test_pattern.exe")
        program = session.start()
        session.wait_for_log(REGISTERED)
        time.sleep(1.0)

        captures, alone_runs = [], []
        say(f"== release to link: whole-screen drag, {runs} rounds after a warm-up")
        say("   alone: the encoders started as Vorlune starts them (a console made for each),"
            " and detached (no console)")
        for round_number in range(runs + 1):
            capture = one_capture(session)
            shutil.copy2(session.run_dir / "temp.bmp", alone / "temp.bmp")
            baseline = {mode: encoders_alone(session, alone, mode) for mode in ("vorlune", "detached")}
            for mode, run in baseline.items():
                if (run["jpg_bytes"], run["png_bytes"]) != (capture["jpg"], capture["png"]):
                    say(f"   note: the encoders alone ({mode}) wrote {run['jpg_bytes']} / {run['png_bytes']}"
                        f" bytes, Vorlune's {capture['jpg']} / {capture['png']}")
            label = "warm-up" if round_number == 0 else f"round {round_number}"
            line = capture["timeline"]
            same, detached = baseline["vorlune"], baseline["detached"]
            say(f"   {label:8} link {line['xclip reads link']:6.1f} ms (logged {line['link logged']:6.1f});"
                f" alone: cjpeg {same['jpeg']:5.1f} + optipng {same['png']:5.1f} = {same['both']:6.1f} ms,"
                f" detached {detached['jpeg']:5.1f} + {detached['png']:5.1f} = {detached['both']:6.1f} ms")
            steps = sorted(line.items(), key=lambda item: item[1])
            say("            timeline (ms): " + ", ".join(f"{name} {at:.0f}" for name, at in steps))
            if round_number > 0:
                captures.append(capture)
                alone_runs.append(baseline)
        if program.poll() is not None:
            raise Failure(f"vorlune.exe ended with {program.returncode}")
        width, height = bitmap_size(alone / "temp.bmp")
        if keep:
            keep.mkdir(parents=True, exist_ok=True)
            for name in ("temp.bmp", "log.txt"):
                shutil.copy2(session.run_dir / name, keep / name)

    median = statistics.median
    link_ms = median([c["timeline"]["xclip reads link"] for c in captures])
    logged_ms = median([c["timeline"]["link logged"] for c in captures])
    say(f"   capture {width}x{height}, {captures[-1]['png']} bytes PNG, {captures[-1]['jpg']} bytes JPEG;"
        f" the release itself (xdotool) took {median([c['xdotool'] for c in captures]):.1f} ms")
    # The best of the rounds is the one least slowed by whatever else the
    # machine was doing; on a busy machine it is the steadier figure.
    best_link = min(c["timeline"]["xclip reads link"] for c in captures)
    say(f"   release to link in clipboard: median {link_ms:.1f} ms (to its log line {logged_ms:.1f} ms),"
        f" best {best_link:.1f} ms")
    for mode, what in (("vorlune", "as Vorlune starts them"), ("detached", "detached, without consoles")):
        both = median([b[mode]["both"] for b in alone_runs])
        best = min(b[mode]["both"] for b in alone_runs)
        ratio = link_ms / both
        verdict = "within" if ratio <= RATIO_TARGET else "ABOVE"
        say(f"   encoders alone {what}: median {both:.1f} ms (cjpeg {median([b[mode]['jpeg'] for b in alone_runs]):.1f},"
            f" optipng {median([b[mode]['png'] for b in alone_runs]):.1f}), best {best:.1f} ms")
        say(f"     ratio of medians {ratio:.3f} (to the log line {logged_ms / both:.3f}), of the bests"
            f" {best_link / best:.3f}; target at most {RATIO_TARGET}: {verdict}; overhead {link_ms - both:.1f} ms")
    # Each stage from the files' and the log's times; mtimes are as coarse
    # as the kernel's clock tick (a few ms).
    spans = (("release to temp.bmp written (main loop, worker start, capture, file)", "release", "temp.bmp written"),
             ("temp.bmp to temp.jpg (cjpeg with its start)", "temp.bmp written", "temp.jpg written"),
             ("temp.jpg to temp.png (stage shown, optipng with its start)", "temp.jpg written", "temp.png written"),
             ("temp.png to link logged (sizes, read, backup copy, clipboard)", "temp.png written", "link logged"),
             ("link logged to xclip reading it", "link logged", "xclip reads link"))
    say("   where the time goes, medians in ms:")
    for what, start, end in spans:
        values = [c["timeline"][end] - (0 if start == "release" else c["timeline"][start])
                  for c in captures if end in c["timeline"] and (start == "release" or start in c["timeline"])]
        if values:
            say(f"     {median(values):6.1f}  {what}")
    say(f"     alone: cjpeg {median([b['vorlune']['jpeg'] for b in alone_runs]):.1f} /"
        f" {median([b['detached']['jpeg'] for b in alone_runs]):.1f} detached,"
        f" optipng {median([b['vorlune']['png'] for b in alone_runs]):.1f} /"
        f" {median([b['detached']['png'] for b in alone_runs]):.1f} detached")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--encoders", type=Path)
    parser.add_argument("--prefix", type=Path, help="the Wine prefix (made if missing); not needed for size")
    parser.add_argument("--idle-seconds", type=float, default=30.0)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default="size,idle,link")
    parser.add_argument("--keep", type=Path, help="keep the last temp.bmp and log.txt here")
    args = parser.parse_args()
    parts = set(args.only.split(","))
    unknown = parts - {"size", "idle", "link"}
    if unknown:
        parser.error(f"unknown parts: {', '.join(sorted(unknown))}")
    needed = ["vorlune.exe"] + (["idle_loop.exe"] if "idle" in parts else []) + \
        (["encoder_runs.exe", "test_pattern.exe"] if "link" in parts else [])
    for name in needed:
        if not (args.build_dir / name).exists():
            parser.error(f"{args.build_dir / name} is missing: build the windows preset")
    if parts & {"idle", "link"} and not args.prefix:
        parser.error("--prefix is needed for the idle and release-to-link figures")
    if "link" in parts and not args.encoders:
        parser.error("--encoders is needed for the release-to-link figures")

    load = Path("/proc/loadavg").read_text().split()[:3]
    say(f"Vorlune under Wine, {args.build_dir}; load average {' '.join(load)} on {os.cpu_count()} cores")
    if "size" in parts:
        bench_size(args.build_dir)
    if parts & {"idle", "link"}:
        prefix = args.prefix.resolve()
        try:
            with harness.Session(args.build_dir, prefix, args.encoders) as session:
                if "idle" in parts:
                    bench_idle(session, args.idle_seconds)
                if "link" in parts:
                    # The idle part's programs are gone; the log starts afresh.
                    (session.run_dir / "log.txt").unlink(missing_ok=True)
                    bench_link(session, args.runs, args.keep)
        except Failure as failure:
            say(f"wine_bench.py: could not measure: {failure}")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
