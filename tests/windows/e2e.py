#!/usr/bin/env python3
"""End-to-end cases: vorlune.exe under Wine in Xvfb, driven by xdotool.

Usage: e2e.py --build-dir DIR --prefix WINEPREFIX [--encoders DIR]
              [--artefacts DIR] CASE
Each case prints what it checks and ends with PASS, or raises with the reason.
"""

import argparse
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
