"""Runs a Windows program under Wine, and once more when Wine itself failed to start it; a
program that ran and failed is not run again.

  wine_run.py WINE PROGRAM [ARGUMENTS...]
      Runs the command, writes its standard output and error and exits with its exit code:
      the test programs' emulator.

Without wine64-preloader to reserve Wine's fixed addresses before anything else is mapped,
the kernel now and then puts the loader's heap over the page of Windows' shared user data,
and the new process ends with exit code 1 before the program's first instruction. All the
run prints then is Wine's report: ntdll's line on its err channel for virtual memory, which
this keeps on, and for a program that Wine finds by name, such as wmic, start.exe's report
that it could not create the process.
"""

import os
import re
import signal
import subprocess
import sys
import tempfile

_REPORT_LINE = re.compile(
    rb"err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: [0-9a-f]{8}"
    rb"|Application could not be started, or no application associated with the specified file\."
    rb"|ShellExecuteEx failed: .*"
    rb"|")


def environment():
    """The environment for Wine: the caller's with the err channel for virtual memory on,
    which WINEDEBUG=-all silences."""
    debug = os.environ.get("WINEDEBUG")
    return {**os.environ, "WINEDEBUG": f"{debug},err+virtual" if debug else "err+virtual"}


def failed_to_start(status, *outputs):
    """Whether a run that ended with status and printed outputs (standard output and error,
    or one terminal's screen) was Wine failing to start the program: exit code 1 and nothing
    printed but Wine's report of a failed start."""
    lines = [line for output in outputs for line in output.splitlines()]
    return (status == 1 and any(lines)
            and all(_REPORT_LINE.fullmatch(line) for line in lines))


def announce_retry(command, *outputs):
    """Says on standard error that Wine failed to start the program of command (Wine's
    command, then the program's), with Wine's report from the outputs."""
    report = " ".join(line.decode("ascii", "replace")
                      for output in outputs for line in output.splitlines() if line)
    print(f"Wine failed to start {' '.join(command[1:])} ({report}); trying once more",
          file=sys.stderr, flush=True)


def run(command, stdin=None, timeout=None):
    """Runs command with its output collected, once more when Wine failed to start the
    program; returns the last run's subprocess.CompletedProcess."""
    def attempt():
        # Into files, not pipes: the services that a process starts when it is the first of
        # a new wineserver inherit its standard error and keep it open after it ends.
        with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
            status = subprocess.run(command, stdin=stdin, stdout=output, stderr=errors,
                                    env=environment(), timeout=timeout, check=False).returncode
            output.seek(0)
            errors.seek(0)
            return subprocess.CompletedProcess(command, status, output.read(), errors.read())

    completed = attempt()
    if failed_to_start(completed.returncode, completed.stdout, completed.stderr):
        announce_retry(command, completed.stdout, completed.stderr)
        completed = attempt()
    return completed


def main():
    if len(sys.argv) < 3:
        print("usage: wine_run.py WINE PROGRAM [ARGUMENTS...]", file=sys.stderr)
        return 2
    # A timeout's SIGTERM ends the program too (subprocess.run kills it on the way out).
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    completed = run(sys.argv[1:])
    sys.stdout.buffer.write(completed.stdout)
    sys.stderr.buffer.write(completed.stderr)
    return completed.returncode if completed.returncode >= 0 else 128 - completed.returncode


if __name__ == "__main__":
    sys.exit(main())
