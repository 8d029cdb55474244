"""Runs the Windows build under Wine inside Xvfb, for end-to-end tests.

Only the Python standard library and the machine's own programs (Xvfb, wine,
wineserver, xdotool, xclip, xwd, convert) are used. Every wait is bounded; every
process this module starts is ended by its PID.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
DESKTOP_SIZE = (1280, 800)


class Failure(Exception):
    pass


def stop(process):
    """Ends a process this module started, by its PID, and reaps it."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=10)


def log(message):
    print(f"[e2e] {message}", flush=True)


def wait_for(predicate, timeout, what, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def wine_environment(prefix, display=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix)
    env["WINEDEBUG"] = "-all"
    env.pop("WINEPATH", None)
    if display:
        env["DISPLAY"] = display
    return env


def ensure_prefix(prefix):
    """Creates the Wine prefix once per run, with Wine's virtual desktop, so
    hotkeys, hiding full-screen windows and message boxes behave as on
    Windows (see the notes on Wine's desktop in the README)."""
    prefix = Path(prefix)
    marker = prefix / ".vorlune-ready"
    if marker.exists():
        return
    prefix.mkdir(parents=True, exist_ok=True)
    env = wine_environment(prefix)
    env.pop("DISPLAY", None)
    log(f"creating Wine prefix {prefix}")
    subprocess.run(["wineboot", "-i"], env=env, check=True, timeout=300,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=300)
    width, height = DESKTOP_SIZE
    for key, name, value in [
        (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
        (r"HKCU\Software\Wine\Explorer\Desktops", "Default", f"{width}x{height}"),
    ]:
        subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], env=env,
                       check=True, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=300)
    marker.write_text("ready\n")


def free_display():
    for number in range(90, 190):
        if not Path(f"/tmp/.X11-unix/X{number}").exists() and not Path(f"/tmp/.X{number}-lock").exists():
            return number
    raise Failure("no free X display number")


class Session:
    """One Xvfb display, one wineserver, a run folder holding vorlune.exe."""

    def __init__(self, build_dir, prefix, encoders_dir=None, keep_dir=None):
        self.build_dir = Path(build_dir)
        self.prefix = Path(prefix)
        self.encoders_dir = Path(encoders_dir) if encoders_dir else None
        self.keep_dir = Path(keep_dir) if keep_dir else None
        self.xvfb = None
        self.programs = []
        self.display = None
        self.run_dir = None

    # -- set-up and teardown ------------------------------------------------
    def __enter__(self):
        ensure_prefix(self.prefix)
        number = free_display()
        self.display = f":{number}"
        width, height = DESKTOP_SIZE
        self.xvfb = subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: Path(f"/tmp/.X11-unix/X{number}").exists(), 10, "Xvfb")
        self.env = wine_environment(self.prefix, self.display)
        self.run_dir = Path(tempfile.mkdtemp(prefix="vorlune-e2e-"))
        shutil.copy2(self.build_dir / "vorlune.exe", self.run_dir / "vorlune.exe")
        if self.encoders_dir:
            for name in ("cjpeg.exe", "optipng.exe"):
                if (self.encoders_dir / name).exists():
                    shutil.copy2(self.encoders_dir / name, self.run_dir / name)
        return self

    def __exit__(self, *exc):
        for program in self.programs:
            if program.poll() is None:
                program.kill()
                try:
                    program.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    pass
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        stop(self.xvfb)
        if self.run_dir:
            if self.keep_dir:
                self.keep_dir.mkdir(parents=True, exist_ok=True)
                for name in ("log.txt", "settings.ini"):
                    if (self.run_dir / name).exists():
                        shutil.copy2(self.run_dir / name, self.keep_dir / name)
            shutil.rmtree(self.run_dir, ignore_errors=True)
        return False

    # -- the program ----------------------------------------------------------
    def start(self, exe="vorlune.exe", *args):
        program = subprocess.Popen(["wine", exe, *args], cwd=self.run_dir, env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.programs.append(program)
        return program

    def log_text(self):
        path = self.run_dir / "log.txt"
        return path.read_bytes().decode("latin-1") if path.exists() else ""

    def wait_for_log(self, text, timeout=30):
        return wait_for(lambda: text in self.log_text(), timeout, f"{text!r} in log.txt")

    # -- X input and output ---------------------------------------------------
    def xdotool(self, *args, timeout=30):
        result = subprocess.run(["xdotool", *args], env=self.env, timeout=timeout,
                                capture_output=True, text=True)
        return result.stdout.strip()

    def desktop_window(self):
        return wait_for(lambda: self.xdotool("search", "--name", "Wine desktop").split("\n")[0], 30,
                        "the Wine desktop window")

    def press(self, keys):
        desktop = self.desktop_window()
        self.xdotool("windowfocus", "--sync", desktop)
        self.xdotool("key", keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", "20", text)

    def drag(self, x1, y1, x2, y2, steps=4):
        self.xdotool("mousemove", "--sync", str(x1), str(y1))
        self.xdotool("mousedown", "1")
        # The program reads the cursor when it handles the press, a main-loop
        # pass later; a hand moves no faster than that, and neither may we.
        time.sleep(0.3)
        for i in range(1, steps + 1):
            x = x1 + (x2 - x1) * i // steps
            y = y1 + (y2 - y1) * i // steps
            self.xdotool("mousemove", "--sync", str(x), str(y))
            time.sleep(0.05)
        time.sleep(0.3)
        self.xdotool("mouseup", "1")

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", "1")

    def clipboard(self):
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, timeout=10,
                                capture_output=True)
        return result.stdout.decode("latin-1") if result.returncode == 0 else None

    def screenshot_pixels(self):
        raw = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], env=self.env,
                             timeout=30, capture_output=True, check=True).stdout
        return Screenshot(raw)

    def screenshot(self, path):
        """Saves the whole screen as a PNG and returns its pixels as rows of
        (r, g, b) tuples read from the raw dump."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        raw = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], env=self.env,
                             timeout=30, capture_output=True, check=True).stdout
        subprocess.run(["convert", "xwd:-", str(path)], input=raw, timeout=60, check=True)
        return Screenshot(raw)


class Screenshot:
    """Pixels of an xwd dump of a 24-bit TrueColor screen (32 bits per pixel)."""

    def __init__(self, raw):
        import struct
        fields = struct.unpack(">25I", raw[:100])
        header_size, width, height = fields[0], fields[4], fields[5]
        byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
        colour_count = fields[19]
        self.width, self.height = width, height
        self.bits_per_pixel = bits_per_pixel
        self.bytes_per_line = bytes_per_line
        self.msb_first = byte_order == 1
        self.pixels = raw[header_size + colour_count * 12:]

    def pixel(self, x, y):
        offset = y * self.bytes_per_line + x * (self.bits_per_pixel // 8)
        chunk = self.pixels[offset:offset + 4]
        value = int.from_bytes(chunk, "big" if self.msb_first else "little")
        return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


# -- settings.ini and servers for the cases ------------------------------------
PASSWORD_KEY = bytes([0xA3, 0xF1, 0x9E, 0x86, 0xC4, 0xBA, 0x8D, 0xE7])


def scramble(password):
    out = bytearray(password)
    for i in range(len(out)):
        out[i] ^= PASSWORD_KEY[i % 8]
    return bytes(out)


def settings_bytes(host, port, login, password, directory, link_prefix, image_prefix, backup="",
                   add_size=True, tray=True, best=False):
    """A settings.ini as the program writes it: eleven fields, each ending
    in a 0 byte, the password scrambled."""
    text = [host, str(port), login, None, directory, link_prefix, image_prefix,
            "1" if add_size else "0", "1" if tray else "0", "1" if best else "0", backup]
    data = b""
    for field in text:
        data += (scramble(password.encode("latin-1")) if field is None else field.encode("latin-1")) + b"\0"
    return data


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, timeout=15):
    import socket

    def ready():
        with socket.socket() as s:
            s.settimeout(0.5)
            return s.connect_ex(("127.0.0.1", port)) == 0
    wait_for(ready, timeout, f"a server on port {port}")


class FtpServer:
    """pyftpdlib on 127.0.0.1 with one user and a passive port range."""

    def __init__(self, root, login="vorlune", password="secret"):
        self.root = Path(root)
        self.login = login
        self.password = password
        self.process = None

    def __enter__(self):
        self.root.mkdir(parents=True, exist_ok=True)
        self.port = free_port()
        passive = free_port()
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", str(self.port), "-w",
             "-d", str(self.root), "-u", self.login, "-P", self.password, "-r", f"{passive}-{passive + 20}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_port(self.port)
        return self

    def __exit__(self, *exc):
        stop(self.process)
        return False


class HttpServer:
    """Python's own web server publishing a folder on 127.0.0.1."""

    def __init__(self, root):
        self.root = Path(root)
        self.process = None

    def __enter__(self):
        self.port = free_port()
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-m", "http.server", str(self.port), "--bind", "127.0.0.1",
             "--directory", str(self.root)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_port(self.port)
        return self

    def __exit__(self, *exc):
        stop(self.process)
        return False


def decode_image(path):
    """Decodes a PNG or JPEG through ImageMagick into (width, height, pixel(x, y))."""
    ppm = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, timeout=60,
                         check=True).stdout
    parts = ppm.split(maxsplit=4)
    if parts[0] != b"P6":
        raise Failure(f"unexpected image data from {path}")
    width, height = int(parts[1]), int(parts[2])
    data = parts[4]

    def pixel(x, y):
        i = (y * width + x) * 3
        return tuple(data[i:i + 3])
    return width, height, pixel
