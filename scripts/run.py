#!/usr/bin/env python3
"""Vorlune's main job on this machine: a local FTP server and a web server
that publishes its upload folder, a settings.ini for them, and vorlune.exe
under Wine. With --demo (or without a display) everything runs headless in
Xvfb and one capture is made with xdotool; the link from the clipboard is
then fetched over HTTP and compared with the chosen image.

Called by scripts/run after the build; see the README.
"""

import argparse
import os
import secrets
import shutil
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "windows"))
import harness  # noqa: E402

def say(message):
    print(f"vorlune: {message}", flush=True)


class Servers:
    def __init__(self, www):
        self.www = www
        self.processes = []

    def __enter__(self):
        (self.www / "images").mkdir(parents=True, exist_ok=True)
        self.ftp_port = harness.free_port()
        self.http_port = harness.free_port()
        self.login = "vorlune"
        self.password = secrets.token_hex(6)
        passive = harness.free_port()
        # pyftpdlib: a real FTP server, passive mode on a small range of ports.
        self.processes.append(subprocess.Popen(
            ["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", str(self.ftp_port), "-w",
             "-d", str(self.www), "-u", self.login, "-P", self.password, "-r", f"{passive}-{passive + 20}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        self.processes.append(subprocess.Popen(
            ["/usr/bin/python3", "-m", "http.server", str(self.http_port), "--bind", "127.0.0.1",
             "--directory", str(self.www)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        harness.wait_port(self.ftp_port)
        harness.wait_port(self.http_port)
        say(f"FTP server on 127.0.0.1:{self.ftp_port} (upload folder {self.www}), "
            f"web server on http://127.0.0.1:{self.http_port}/")
        return self

    def __exit__(self, *exc):
        for process in self.processes:
            harness.stop(process)
        return False


def prepare(run_dir, bundle, servers):
    app = run_dir / "app"
    if app.exists():
        # Keep the user's log between runs; the rest is made anew.
        for name in ("vorlune.exe", "cjpeg.exe", "optipng.exe", "settings.ini"):
            (app / name).unlink(missing_ok=True)
    app.mkdir(parents=True, exist_ok=True)
    for name in ("vorlune.exe", "cjpeg.exe", "optipng.exe"):
        source = bundle / name
        if not source.exists():
            raise SystemExit(f"vorlune: {source} is missing; build the bundle first")
        shutil.copy2(source, app / name)
    (app / "settings.ini").write_bytes(harness.settings_bytes(
        "127.0.0.1", servers.ftp_port, servers.login, servers.password, "images",
        f"127.0.0.1:{servers.http_port}/images", "shot", "backup"))
    return app


def interactive(app, prefix, servers):
    env = harness.wine_environment(prefix, os.environ.get("DISPLAY"))
    harness.ensure_prefix(prefix)
    say("starting Vorlune under Wine: press Alt+` in the Wine desktop window and drag a rectangle;")
    say("Ctrl+Alt+` opens the settings; Exit in the settings ends it (and these servers).")
    program = subprocess.Popen(["wine", "vorlune.exe"], cwd=app, env=env)
    try:
        program.wait()
    except KeyboardInterrupt:
        program.kill()
        program.wait(timeout=10)
    subprocess.run(["wineserver", "-k"], env=env, timeout=30)
    say(f"log: {app / 'log.txt'}; uploads: {servers.www / 'images'}")


def demo(app, prefix, servers, pattern):
    class RunSession(harness.Session):
        def __enter__(self):
            super().__enter__()
            shutil.rmtree(self.run_dir, ignore_errors=True)
            self.run_dir = app
            return self

        def __exit__(self, *exc):
            run_dir, self.run_dir = self.run_dir, None
            super().__exit__(*exc)
            self.run_dir = run_dir
            return False

    with RunSession(app, prefix) as session:
        say(f"headless desktop on {session.display}")
        if pattern and pattern.exists():
            shutil.copy2(pattern, app / "test_pattern.exe")
            session.start("test_pattern.exe")
        session.start()
        session.wait_for_log("Key combination 2 was successively registered\r\n", 60)
        time.sleep(1.0)
        say("capturing 200,150 to 600,450 with Alt+` and a drag")
        session.press("alt+grave")
        session.wait_for_log("Key was pressed\r\n", 20)
        time.sleep(0.5)
        session.drag(200, 150, 600, 450)
        say("waiting for the encoders and the upload")

        def ended():
            tail = session.log_text().split("Key was pressed\r\n", 1)[-1]
            # The server's final reply is logged as received; a failure logs
            # its own line first.
            return "\n226" in "\n" + tail.replace("\r\n", "\n") or "Failed" in tail
        harness.wait_for(ended, 120, "the end of the upload")
        link = harness.wait_for(session.clipboard, 10, "the link in the clipboard")
        log_tail = session.log_text().split("Key was pressed\r\n", 1)[-1]
        if "Failed" in log_tail:
            say("the capture failed; log.txt says:")
            print(log_tail)
            return 1
        say(f"link in the clipboard: {link}")
        url = link.split(" ")[0]
        name = url.rsplit("/", 1)[-1]
        chosen = app / ("temp." + name.rsplit(".", 1)[-1])
        with urllib.request.urlopen(url, timeout=20) as response:
            published = response.read()
        if published != chosen.read_bytes():
            say(f"the published bytes differ from {chosen}")
            return 1
        say(f"fetched {url}: {len(published)} bytes, equal to the chosen image {chosen.name}")
        backup = app / "backup" / name
        if backup.exists() and backup.read_bytes() == published:
            say(f"backup copy: {backup}")
        return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--demo", action="store_true")
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--run-dir", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--pattern")
    args = parser.parse_args()
    run_dir = Path(args.run_dir)
    with Servers(run_dir / "www") as servers:
        app = prepare(run_dir, Path(args.bundle), servers)
        if args.demo or not os.environ.get("DISPLAY"):
            return demo(app, Path(args.prefix), servers, Path(args.pattern) if args.pattern else None)
        interactive(app, Path(args.prefix), servers)
        return 0


if __name__ == "__main__":
    sys.exit(main())
