#!/usr/bin/env python3
"""The settings window and the veil under Wine, as a person would use them.

A first start without settings.ini shows the settings window with the
defaults; typing into three boxes, ticking "Best quality:" and pressing Ok
writes a settings.ini with exactly those bytes; Ctrl+Alt+` shows the window
again; Alt+` and a drag show the green veil with the red selection. The
screenshots are kept as artefacts for a person to look at.

Usage: settings_window_case.py --build-dir DIR --prefix WINEPREFIX [--artefacts DIR]
Ends with PASS, or raises with the reason.
"""

import argparse
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from harness import Failure, log, wait_for  # noqa: E402

WIDTH, HEIGHT = harness.DESKTOP_SIZE
# The window's outer top left corner, and the boxes and controls in it
# (client coordinates plus the frame and caption Wine draws here).
WINDOW = (WIDTH // 2 - 200, HEIGHT // 2 - 100)
FRAME_X, FRAME_Y = 3, 21
GREEN, RED = (0, 128, 0), (255, 0, 0)


def at(x, y):
    return WINDOW[0] + FRAME_X + x, WINDOW[1] + FRAME_Y + y


HOST_BOX = at(130 + 50, 10 + 10)
PASSWORD_BOX = at(230 + 50, 30 + 10)
BACKUP_BOX = at(10 + 100, 135 + 10)
BEST_QUALITY = at(10 + 133, 210 + 10)
OK_BUTTON = at(5 + 62, 240 + 15)
CANCEL_BUTTON = at(135 + 62, 240 + 15)


def window_visible(session):
    result = session.xdotool("search", "--onlyvisible", "--name", "^Vorlune settings$")
    return bool(result.strip())


def replace_text(session, point, text):
    # The edit boxes have no select-all key: clear from the end instead.
    session.click(*point)
    time.sleep(0.2)
    session.xdotool("key", "End")
    session.xdotool("key", "--repeat", "40", "BackSpace")
    session.type_text(text)


def run(session, artefacts):
    session.start()
    wait_for(lambda: window_visible(session), 30, "the settings window on a first start")
    time.sleep(0.5)
    shot = session.screenshot(artefacts / "settings_first_start.png")
    # The window lies where it should: the backup box, empty at first, is
    # white there. (The client area itself is not erased: the class has no
    # background brush.)
    if shot.pixel(*BACKUP_BOX) != (255, 255, 255):
        raise Failure(f"no edit box at {BACKUP_BOX}: {shot.pixel(*BACKUP_BOX)}")

    replace_text(session, HOST_BOX, "ftp.vorlune.test")
    replace_text(session, PASSWORD_BOX, "s3cret")
    replace_text(session, BACKUP_BOX, "shots")
    session.click(*BEST_QUALITY)
    time.sleep(0.3)
    session.screenshot(artefacts / "settings_typed.png")
    session.click(*OK_BUTTON)

    path = session.run_dir / "settings.ini"
    wait_for(lambda: path.exists(), 10, "settings.ini")
    wait_for(lambda: not window_visible(session), 10, "the window to hide after Ok")
    expected = harness.settings_bytes("ftp.vorlune.test", 21, "login", "s3cret", "public_html/images/",
                                      "www.example.com/images", "image", backup="shots", best=True)
    if path.read_bytes() != expected:
        raise Failure(f"settings.ini holds {path.read_bytes()!r}, expected {expected!r}")
    if not (session.run_dir / "shots").is_dir():
        raise Failure("Ok did not create the backup directory")
    log("settings.ini holds what was typed")

    session.press("ctrl+alt+grave")
    wait_for(lambda: window_visible(session), 10, "Ctrl+Alt+` to show the window again")
    session.click(*CANCEL_BUTTON)
    wait_for(lambda: not window_visible(session), 10, "Cancel to hide the window")

    # The veil with a selection, caught while the button is still down.
    session.press("alt+grave")
    session.wait_for_log("Key was pressed\r\n")
    time.sleep(0.5)
    session.xdotool("mousemove", "--sync", "300", "200")
    session.xdotool("mousedown", "1")
    for x, y in ((400, 260), (550, 350), (700, 450)):
        time.sleep(0.1)
        session.xdotool("mousemove", "--sync", str(x), str(y))
    time.sleep(0.5)
    shot = session.screenshot(artefacts / "veil_selection.png")
    session.xdotool("mouseup", "1")
    for point, colour in (((100, 100), GREEN), ((500, 300), RED), ((1000, 600), GREEN), ((699, 449), RED),
                          ((700, 450), GREEN)):
        if shot.pixel(*point) != colour:
            raise Failure(f"veil pixel {point} is {shot.pixel(*point)}, expected {colour}")
    log("the veil is green with the selection red")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--artefacts", default="artefacts")
    args = parser.parse_args()
    artefacts = Path(args.artefacts)
    artefacts.mkdir(parents=True, exist_ok=True)
    with harness.Session(args.build_dir, args.prefix, keep_dir=artefacts) as session:
        run(session, artefacts)
    print("PASS")


if __name__ == "__main__":
    main()
