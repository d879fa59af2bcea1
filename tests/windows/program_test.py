"""Runs computer_id.exe under Wine on Wine's own WMI service.

  program_test.py transcript [--record FILE] -- WINE... EXE
      Two runs with standard input from /dev/null: exit code 0, the whole transcript
      checked line by line, the same ID both times, and the ID equal to the SHA-256 of the
      values that Wine's wmic reports for the properties the trace shows as read.
  program_test.py key-wait -- WINE... EXE
      One run on a pseudo terminal, which Wine turns into a console: the program must wait
      at the key prompt and exit with 0 after one key, without Enter.

A run that Wine fails to start, wmic's too, is tried once more (wine_run.py).
"""

import argparse
import os
import pty
import re
import select
import signal
import struct
import subprocess
import sys
import time

import transcript
import wine_run

RUN_TIMEOUT = 120


class CheckFailed(Exception):
    pass


def run_redirected(command):
    completed = wine_run.run(command, stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
    return completed.returncode, completed.stdout


def checked_run(command, label):
    status, output = run_redirected(command)
    if status != 0:
        raise CheckFailed(f"{label}: exit code {status}\n{output.decode('latin-1')}")
    try:
        result = transcript.parse(output)
    except transcript.TranscriptError as error:
        raise CheckFailed(f"{label}: {error}\n{output.decode('latin-1')}") from None
    objects = ", ".join(f"{len(run.objects)} {run.wmi_class}" for run in result.queries)
    print(f"ok: {label}: exit code 0, {len(result.lines)} lines as prescribed ({objects})")
    return output, result


def wmic_column(output):
    """The values of one property of every object, as UTF-16 code units, from the output of
    "wmic path CLASS get NAME": UTF-16LE with a byte order mark, a header line, then one line
    per object, each padded with spaces to the longest value plus two. Raises ValueError
    for anything else."""
    if not output.startswith(b"\xff\xfe") or len(output) % 2 != 0:
        raise ValueError("not UTF-16LE with a byte order mark")
    units = struct.unpack(f"<{len(output) // 2 - 1}H", output[2:])
    lines = "".join(map(chr, units)).split("\r\n")
    if len(lines) < 3 or lines[-1] != "":
        raise ValueError("no header and value lines ended by CR LF")
    values = lines[1:-1]
    width = len(values[0])
    if any(len(line) != width or not line.endswith("  ") for line in values):
        raise ValueError("values not padded to one width")
    if len(values) == 1:
        return [values[0][:-2]]
    # With several objects a value's own trailing spaces cannot be told from the padding.
    return [line.rstrip(" ") for line in values]


def wmic_values(emulator, wmi_class, name):
    status, output = run_redirected([*emulator, "wmic", "path", wmi_class, "get", name])
    try:
        if status != 0:
            raise ValueError(f"exit code {status}")
        return wmic_column(output)
    except ValueError as error:
        raise CheckFailed(f"wmic path {wmi_class} get {name}: {error}: {output!r}") from None


def platform_info_from_wmic(emulator, result):
    info = b""
    for run in result.queries:
        names = [read.name for read in run.objects[0]]
        read_names = {read.name for reads in run.objects for read in reads if read.adds_text}
        values = {name: wmic_values(emulator, run.wmi_class, name)
                  for name in names if name in read_names}
        for name, column in values.items():
            if len(column) != len(run.objects):
                raise CheckFailed(f"wmic lists {len(column)} {run.wmi_class} objects for "
                                  f"{name}, the trace {len(run.objects)}")
        for index, reads in enumerate(run.objects):
            for read in reads:
                if read.adds_text:
                    info += transcript.narrow(values[read.name][index]) + b"\n"
    return info


def check_transcript(emulator, program, record):
    command = [*emulator, program]
    first_output, first = checked_run(command, "run 1")
    _, second = checked_run(command, "run 2")
    if second.comp_id != first.comp_id:
        raise CheckFailed(f"the ID changed between runs: {first.comp_id} != {second.comp_id}")
    print(f"ok: both runs give comp id = {first.comp_id}")

    info = platform_info_from_wmic(emulator, first)
    expected = transcript.computer_id(info)
    count = info.count(b"\n")
    if first.comp_id != expected:
        raise CheckFailed(f"comp id {first.comp_id}, but the {count} values that wmic reports "
                          f"({info!r}) give {expected}")
    print(f"ok: the ID is that of the {count} values that wmic reports")

    if record:
        with open(record, "wb") as file:
            file.write(first_output.replace(b"\r\n", b"\n"))
        print(f"recorded run 1 in {record}")


# Wine draws its console on the terminal with escape sequences, moving the cursor over
# blanks and wrapping long lines, so the screen is compared without them and without
# white space.
_ESCAPE = re.compile(rb"\x1b(\[[0-9;?]*[A-Za-z]|\][^\x07]*\x07)")


def _visible(screen):
    return re.sub(rb"\s", b"", _ESCAPE.sub(b"", screen))


def check_key_wait(emulator, program):
    screen = wait_for_a_key(emulator, program, last_attempt=False)
    if screen is not None:
        wine_run.announce_retry([*emulator, program], screen)
        wait_for_a_key(emulator, program, last_attempt=True)


def wait_for_a_key(emulator, program, last_attempt):
    """One run of the key-wait check; when Wine failed to start the program and this is not
    the last attempt, the screen with Wine's report."""
    pid, terminal = pty.fork()
    if pid == 0:
        try:
            os.execvpe(emulator[0], [*emulator, program], wine_run.environment())
        finally:
            os._exit(127)

    screen = b""
    closed = False

    def read_for(seconds, until=None):
        """Collects the screen for some seconds, until a text shows or the terminal closes
        (the program ended); tells whether the text showed."""
        nonlocal screen, closed
        deadline = time.monotonic() + seconds
        while not closed and time.monotonic() < deadline:
            ready, _, _ = select.select([terminal], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(terminal, 4096)
                except OSError:
                    chunk = b""
                closed = not chunk
                screen += chunk
                if until is not None and until in _visible(screen):
                    return True
        return False

    exit_code = None

    def exited():
        nonlocal exit_code
        if exit_code is None:
            finished, status = os.waitpid(pid, os.WNOHANG)
            if finished:
                exit_code = os.waitstatus_to_exitcode(status)
        return exit_code

    try:
        if not read_for(RUN_TIMEOUT, until=b"Pressanykey.."):
            if not last_attempt and closed:
                deadline = time.monotonic() + 30
                while exited() is None and time.monotonic() < deadline:
                    time.sleep(0.05)
                if wine_run.failed_to_start(exit_code, screen):
                    return screen
            raise CheckFailed(f"no key prompt on the console: {screen!r}")
        read_for(2)
        if closed or exited() is not None:
            raise CheckFailed("the program ended at the prompt without a key press")
        if not re.search(rb"DoneGetComputerIDcompid=[0-9a-f]{33,64}Pressanykey\.\.$",
                         _visible(screen)):
            raise CheckFailed(f"no ID before the prompt on the console: {screen!r}")
        print("ok: the program waits at the prompt on a console")

        os.write(terminal, b"x")
        deadline = time.monotonic() + 30
        while (status := exited()) is None:
            if time.monotonic() > deadline:
                raise CheckFailed("the program did not end after a key press")
            read_for(0.1)
            if closed:
                time.sleep(0.05)
        if status != 0:
            raise CheckFailed(f"exit code {status} after the key press")
        print("ok: one key press, no Enter, ends it with exit code 0")
        return None
    finally:
        if exited() is None:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        os.close(terminal)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["transcript", "key-wait"])
    parser.add_argument("--record", help="write the first run's output here, with LF line ends")
    parser.add_argument("command", nargs="+", help="the emulator command, then the program")
    arguments = parser.parse_args()
    if len(arguments.command) < 2:
        parser.error("give the emulator and the program")
    emulator, program = arguments.command[:-1], arguments.command[-1]
    try:
        if arguments.check == "transcript":
            check_transcript(emulator, program, arguments.record)
        else:
            check_key_wait(emulator, program)
    except (CheckFailed, subprocess.TimeoutExpired) as error:
        print(f"FAIL: {error}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
