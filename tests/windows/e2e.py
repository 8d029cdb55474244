#!/usr/bin/env python3
"""End-to-end cases: vorlune.exe under Wine in Xvfb, driven by xdotool.

Usage: e2e.py --build-dir DIR --prefix WINEPREFIX [--encoders DIR]
              [--artefacts DIR] CASE
Each case prints what it checks and ends with PASS, or raises with the reason.
"""

import argparse
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import Failure, log, wait_for  # noqa: E402

CASES = {}


def case(function):
    CASES[function.__name__] = function
    return function


REGISTERED = ("Key combination was successively registered\r\n"
              "Key combination 2 was successively registered\r\n")


@case
def start_registers_both_hotkeys(session, artefacts):
    program = session.start()
    session.wait_for_log(REGISTERED)
    time.sleep(0.5)
    if program.poll() is not None:
        raise Failure(f"vorlune.exe ended early with {program.returncode}")
    if session.log_text() != REGISTERED:
        raise Failure(f"unexpected log: {session.log_text()!r}")


@case
def second_copy_ends_at_the_hotkey(session, artefacts):
    first = session.start()
    session.wait_for_log(REGISTERED)
    second = session.start()
    try:
        code = second.wait(timeout=30)
    except Exception as error:
        raise Failure("the second copy did not end") from error
    if code != 0:
        raise Failure(f"the second copy ended with {code}, not 0")
    expected = REGISTERED + "Failed to register key shortcut\r\n"
    wait_for(lambda: session.log_text() == expected, 10, "the second copy's line")
    if first.poll() is not None:
        raise Failure("the first copy ended too")



# -- the settings window -------------------------------------------------------
# The settings window sits at (width / 2 - 200, height / 2 - 100) of the
# 1280 x 800 desktop; under Wine's default theme its client area starts 3
# pixels right of and 20 below that corner.
CLIENT = (443, 320)


def client_point(x, y):
    return CLIENT[0] + x, CLIENT[1] + y


def replace_box_text(session, box, text):
    """Clicks into an edit box at its client rectangle and types text over
    whatever it held."""
    x, y, width, height = box
    session.click(*client_point(x + width // 2, y + height // 2))
    session.xdotool("key", "End", "shift+Home", "BackSpace")
    session.type_text(text)


BOXES = {  # client rectangles of the edit boxes, in creation order
    "host": (130, 10, 150, 20), "port": (310, 10, 40, 20), "login": (130, 30, 100, 20),
    "password": (230, 30, 120, 20), "ftpDirectory": (130, 50, 220, 20), "linkPrefix": (130, 70, 220, 20),
    "imagePrefix": (130, 90, 220, 20), "backupDirectory": (10, 135, 340, 20),
}
EXIT_BUTTON = (265 + 62, 240 + 15)
OK_BUTTON = (5 + 62, 240 + 15)


def settings_window_shown(session):
    shot = session.screenshot_pixels()
    # The Ok button's face (light grey) where the window stands.
    r, g, b = shot.pixel(*client_point(20, 255))
    return r > 180 and g > 180 and b > 180


@case
def first_start_shows_settings_and_ok_saves_them(session, artefacts):
    session.start()
    session.wait_for_log(REGISTERED)
    wait_for(lambda: settings_window_shown(session), 20, "the settings window")
    if artefacts:
        session.screenshot(artefacts / "settings-first-start.png")
    values = {"host": "127.0.0.1", "port": "2121", "login": "anna", "password": "s3cret",
              "ftpDirectory": "shots", "linkPrefix": "shots.example.com/s", "imagePrefix": "shot",
              "backupDirectory": "copies"}
    for name, value in values.items():
        replace_box_text(session, BOXES[name], value)
    session.click(*client_point(*OK_BUTTON))
    expected = harness.settings_bytes("127.0.0.1", 2121, "anna", "s3cret", "shots", "shots.example.com/s",
                                      "shot", "copies")
    path = session.run_dir / "settings.ini"
    wait_for(lambda: path.exists() and path.read_bytes() == expected, 20,
             f"settings.ini to hold {expected!r}")
    if not (session.run_dir / "copies").is_dir():
        raise Failure("Ok did not create the backup directory")
    wait_for(lambda: not settings_window_shown(session), 10, "the window to hide after Ok")
    session.press("ctrl+alt+grave")
    wait_for(lambda: settings_window_shown(session), 10, "the settings hotkey to show the window again")


@case
def exit_ends_the_program(session, artefacts):
    program = session.start()
    session.wait_for_log(REGISTERED)
    wait_for(lambda: settings_window_shown(session), 20, "the settings window")
    session.click(*client_point(*EXIT_BUTTON))
    try:
        code = program.wait(timeout=20)
    except Exception as error:
        raise Failure("Exit did not end the program") from error
    if code != 0:
        raise Failure(f"the program ended with {code}")
    if (session.run_dir / "settings.ini").exists():
        raise Failure("Exit saved the settings")


# -- captures --------------------------------------------------------------------
PATTERN = (200, 150, 400, 300)  # where test_pattern.exe shows its four quarters
QUARTERS = [(255, 0, 0), (0, 0, 255), (255, 255, 0), (255, 255, 255)]
GREEN, RED = (0, 128, 0), (255, 0, 0)  # the veil and bar, the selection and the failed bar


def capture_setup(session, ftp, http, password=None, encoders=("cjpeg.exe", "optipng.exe"), pattern_args=()):
    for name in ("cjpeg.exe", "optipng.exe"):
        if name not in encoders:
            (session.run_dir / name).unlink(missing_ok=True)
        elif not (session.run_dir / name).exists():
            raise Failure(f"{name} is missing: pass --encoders")
    (session.run_dir / "settings.ini").write_bytes(harness.settings_bytes(
        "127.0.0.1", ftp.port, ftp.login, password or ftp.password, "images",
        f"127.0.0.1:{http.port}/images", "shot", "backup"))
    (ftp.root / "images").mkdir(parents=True, exist_ok=True)
    pattern = session.build_dir / "test_pattern.exe"
    shutil.copy2(pattern, session.run_dir / "test_pattern.exe")
    session.start("test_pattern.exe", *pattern_args)
    program = session.start()
    session.wait_for_log(REGISTERED)
    time.sleep(1.0)
    return program


def capture(session, area=None):
    x, y, width, height = area or PATTERN
    session.press("alt+grave")
    session.wait_for_log("Key was pressed\r\n", 20)
    time.sleep(0.5)
    session.drag(x, y, x + width, y + height)


def capture_tail(session):
    return session.log_text().split("Key was pressed\r\n", 1)[-1]


def wait_for_end(session, timeout=60):
    def ended():
        tail = capture_tail(session).replace("\r\n", "\n")
        return "\n226" in "\n" + tail or "Failed" in tail or "incorrect" in tail
    wait_for(ended, timeout, "the end of the capture")
    time.sleep(0.5)
    return capture_tail(session)


def check_pattern(path):
    width, height, pixel = harness.decode_image(path)
    if (width, height) != PATTERN[2:]:
        raise Failure(f"the image is {width}x{height}, not {PATTERN[2]}x{PATTERN[3]}")
    for i, colour in enumerate(QUARTERS):
        x = (i % 2) * width // 2 + width // 4
        y = (i // 2) * height // 2 + height // 4
        got = pixel(x, y)
        if any(abs(a - b) > 24 for a, b in zip(got, colour)):
            raise Failure(f"quarter {i} at ({x}, {y}) is {got}, not {colour}")


def check_in_order(text, lines):
    at = 0
    for line in lines:
        found = text.find(line, at)
        if found < 0:
            raise Failure(f"{line!r} missing from the log after position {at}: {text!r}")
        at = found + len(line)


def the_one_upload(ftp):
    """The single image the server holds, or the reason there is not one."""
    uploads = list((ftp.root / "images").iterdir())
    if len(uploads) != 1:
        raise Failure(f"expected exactly one upload, found {uploads}")
    return uploads[0]


@case
def capture_of_a_known_pattern_is_published(session, artefacts):
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http)
        capture(session)
        tail = wait_for_end(session)
        if "Failed" in tail:
            raise Failure(f"the capture failed: {tail!r}")
        upload = the_one_upload(ftp)
        extension = upload.suffix[1:]
        chosen = session.run_dir / f"temp.{extension}"
        if upload.read_bytes() != chosen.read_bytes():
            raise Failure("the uploaded bytes differ from the chosen image")
        check_pattern(upload)
        backup = session.run_dir / "backup" / upload.name
        if not backup.exists() or backup.read_bytes() != upload.read_bytes():
            raise Failure("the backup copy is missing or differs")
        size = len(upload.read_bytes())
        unit = f"{size // 1024}kb" if size > 1024 else f"{size}b"
        link = f"http://127.0.0.1:{http.port}/images/{upload.name} {unit}"
        clip = wait_for(session.clipboard, 10, "the clipboard")
        if clip != link:
            raise Failure(f"the clipboard holds {clip!r}, not {link!r}")
        import urllib.request
        with urllib.request.urlopen(link.split(" ")[0], timeout=20) as response:
            if response.read() != upload.read_bytes():
                raise Failure("the published bytes differ from the upload")
        check_in_order(tail, ["PNG size: ", f"Selected size: {size}\r\n", f"Putting {link} in clipboard\r\n",
                              "SetClipboardData (", "Sending packet, pending: ", "Send ", "226"])
        if artefacts:
            (artefacts / "capture").mkdir(parents=True, exist_ok=True)
            shutil.copy2(upload, artefacts / "capture" / upload.name)


@case
def refused_login_shows_the_red_bar(session, artefacts):
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http, password="wrong")
        capture(session)
        tail = wait_for_end(session)
        check_in_order(tail, ["Putting ", "Password incorrect\r\n"])
        time.sleep(0.5)
        shot = session.screenshot(artefacts / "red-bar.png" if artefacts else session.run_dir / "red.png")
        # The bar stands at three tenths of the 1280-pixel screen when PASS is refused.
        for x in (2, 370):
            if shot.pixel(x, 20) != (255, 0, 0):
                raise Failure(f"the bar at ({x}, 20) is {shot.pixel(x, 20)}, not red")
        if shot.pixel(400, 12) == (255, 0, 0):
            raise Failure("the red bar reaches beyond its width")
        if not (session.clipboard() or "").startswith(f"http://127.0.0.1:{http.port}/images/shot_"):
            raise Failure("the link is not in the clipboard")
        if list((ftp.root / "images").iterdir()):
            raise Failure("something was stored without a login")


@case
def a_held_clipboard_is_told_on_the_red_bar(session, artefacts):
    # Another program keeps the clipboard open for the whole capture: the
    # image is published all the same, but the bar must not vanish as after
    # a success, since a paste would give the clipboard's old contents.
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http, pattern_args=("hold-clipboard",))
        capture(session)
        tail = wait_for_end(session)
        check_in_order(tail, ["Selected size: ", "Failed to open clipboard (", "226"])
        if "Putting " in tail:
            raise Failure("a link was formed without the clipboard")
        the_one_upload(ftp)  # published all the same
        time.sleep(0.5)
        shot = session.screenshot(artefacts / "red-bar-clipboard.png" if artefacts
                                  else session.run_dir / "red.png")
        width, _ = harness.DESKTOP_SIZE
        for x in (2, width - 2):
            if shot.pixel(x, 20) != RED:
                raise Failure(f"the bar at ({x}, 20) is {shot.pixel(x, 20)}, not red across the screen")


@case
def a_missing_encoder_leaves_the_other(session, artefacts):
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http, encoders=("optipng.exe",))
        capture(session)
        tail = wait_for_end(session)
        check_in_order(tail, ["Failed to save jpeg\r\n", "PNG size: ", ", JPG size: -1\r\n"])
        upload = the_one_upload(ftp)
        if upload.suffix != ".png":
            raise Failure(f"expected the PNG to be published, found {upload.name}")
        check_pattern(upload)


@case
def the_hotkey_during_a_capture_does_nothing(session, artefacts):
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http)
        capture(session)
        # A hotkey handled in the same pass as the release would reset the
        # selection before the capture starts (the program works so by
        # design); the presses come once the capture is under way.
        time.sleep(0.3)
        # While the encoders run, the hotkey is pressed again and again.
        for _ in range(5):
            session.press("alt+grave")
            time.sleep(0.05)
        tail = wait_for_end(session)
        if "Failed" in tail:
            raise Failure(f"the capture failed: {tail!r}")
        # Presses that come after the capture has ended may show the veil again;
        # none may between the capture's start and its final reply.
        during = tail.split("\r\n226", 1)[0]
        if "Key was pressed" in during:
            raise Failure("a hotkey pressed during the capture was acted on")
        the_one_upload(ftp)




@case
def the_veil_shows_the_selection(session, artefacts):
    with harness.FtpServer(session.run_dir / "ftp-root") as ftp, \
            harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http)
        session.press("alt+grave")
        session.wait_for_log("Key was pressed\r\n", 20)
        time.sleep(0.5)
        # Caught while the button is still down, as a person sees it mid-drag.
        session.xdotool("mousemove", "--sync", "300", "200")
        session.xdotool("mousedown", "1")
        time.sleep(0.3)
        for x, y in ((400, 260), (550, 350), (700, 450)):
            session.xdotool("mousemove", "--sync", str(x), str(y))
            time.sleep(0.1)
        time.sleep(0.5)
        shot = session.screenshot(artefacts / "veil-selection.png" if artefacts else session.run_dir / "veil.png")
        session.xdotool("mouseup", "1")
        # Green all round the selection, which ends just before the cursor.
        for point, colour in (((100, 100), GREEN), ((299, 300), GREEN), ((300, 200), RED), ((500, 300), RED),
                              ((699, 449), RED), ((700, 450), GREEN), ((1000, 600), GREEN)):
            if shot.pixel(*point) != colour:
                raise Failure(f"the veil at {point} is {shot.pixel(*point)}, not {colour}")
        tail = wait_for_end(session)
        if "Failed" in tail:
            raise Failure(f"the capture after the drag failed: {tail!r}")


class SlowFtpServer(harness.FtpServer):
    """pyftpdlib taking uploads at some tens of bytes a second, so that the
    bar can be seen while the image is on its way."""

    SCRIPT = """
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
root, port, passive, login, password = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(login, password, root, perm="elradfmw")
ThrottledDTPHandler.read_limit = 32
FTPHandler.authorizer = authorizer
FTPHandler.dtp_handler = ThrottledDTPHandler
FTPHandler.passive_ports = range(int(passive), int(passive) + 20)
FTPServer(("127.0.0.1", int(port)), FTPHandler).serve_forever()
"""

    def __enter__(self):
        self.root.mkdir(parents=True, exist_ok=True)
        self.port = harness.free_port()
        self.process = subprocess.Popen(
            ["/usr/bin/python3", "-c", self.SCRIPT, str(self.root), str(self.port), str(harness.free_port()),
             self.login, self.password], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        harness.wait_port(self.port)
        return self


@case
def the_bar_shows_the_upload(session, artefacts):
    with SlowFtpServer(session.run_dir / "ftp-root") as ftp, harness.HttpServer(ftp.root) as http:
        capture_setup(session, ftp, http)
        capture(session)
        session.wait_for_log("Sending packet, pending: ", 60)
        time.sleep(0.3)
        shot = session.screenshot(artefacts / "bar-upload.png" if artefacts else session.run_dir / "bar.png")
        if "\r\n226" in capture_tail(session):
            raise Failure("the upload ended before the bar could be seen")
        # The whole image is in the socket by now, so the bar is full width,
        # green, 24 pixels high, with the progress text in white.
        width, _ = harness.DESKTOP_SIZE
        for point in ((1, 1), (width // 2, 22), (width - 2, 12)):
            if shot.pixel(*point) != GREEN:
                raise Failure(f"the bar at {point} is {shot.pixel(*point)}, not green")
        if shot.pixel(width // 2, 24) == GREEN:
            raise Failure("the bar is more than 24 pixels high")
        if not any(shot.pixel(x, y) == (255, 255, 255) for x in range(2, 300) for y in range(2, 22)):
            raise Failure("no text in the bar")
        tail = wait_for_end(session, 120)
        if "Failed" in tail:
            raise Failure(f"the slow upload failed: {tail!r}")
        time.sleep(0.5)
        if session.screenshot_pixels().pixel(width // 2, 12) == GREEN:
            raise Failure("the bar is still shown after the upload")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir")
    parser.add_argument("--prefix")
    parser.add_argument("--encoders")
    parser.add_argument("--artefacts", default=None)
    parser.add_argument("case", choices=sorted(CASES) + ["list"])
    args = parser.parse_args()
    if args.case == "list":
        print(";".join(sorted(CASES)))
        return 0
    artefacts = Path(args.artefacts) if args.artefacts else None
    started = time.monotonic()
    with harness.Session(args.build_dir, args.prefix, args.encoders,
                         keep_dir=artefacts / args.case if artefacts else None) as session:
        try:
            CASES[args.case](session, artefacts)
        except Failure as failure:
            log(f"FAIL {args.case}: {failure}")
            log(f"log.txt was: {session.log_text()!r}")
            return 1
    log(f"PASS {args.case} ({time.monotonic() - started:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
