#!/usr/bin/env python3
"""Runs one Windows program under Wine and tells Wine's own failures apart from the program's.

    scripts/wine_run.py [--label TEXT] [--cwd DIR] -- COMMAND ARGS...
    scripts/wine_run.py --check-prefix WINE          (WINEPREFIX set: can Wine start its own programs there?)
    scripts/wine_run.py --end-processes-in PREFIX    (end what an earlier run left running there)

COMMAND is Wine itself (`wine64 ./test_core.exe ...`) or a script whose last step execs it
(scripts/run-shipped.sh). Its exit code is this script's; its output is printed once it ends.

A run fails for the program's reasons, never run again, when it ends with a Windows exception (Wine
prints "wine: Unhandled ..." and the process exits with the exception code), with a wrong exit code or
with wrong output: the caller judges those. Two outcomes are Wine's or the machine's, not the
program's, and only they are run once more, both outcomes printed:

  - the process was killed by a Linux signal and Wine reported no Windows exception: Wine itself died
    (a crash in the program's own code is a Windows exception under Wine, never a bare signal);
  - the process never reached the program: Wine's loader could not start it (a DLL that one of Wine's
    own DLLs imports was not found, the shared user data could not be mapped, no first thread).

The Linux signal's core dump, where the system writes one (core_pattern "core" puts it in the dying
process's folder), is kept in build/windows/wine-crashes with the run's label, and gdb's backtrace of it
is printed.

Wine's error channel is on for every run (WINEDEBUG -all,err+all unless the caller asks for more), so
that a failed start says why, and Wine's debugger is off (WINEDLLOVERRIDES winedbg.exe=d), so that a
crashed program always ends with its exception's code.
"""
import argparse
import os
import pathlib
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
CRASHES = ROOT / "build/windows/wine-crashes"

# Keeps Wine from starting its debugger on an unhandled exception (wine_environment says why).
NO_DEBUGGER = "winedbg.exe=d"
# Wine's words for a Windows exception nobody handled; the debugger then prints its report.
WINDOWS_EXCEPTION = re.compile(r"^wine: Unhandled |^Unhandled exception: ", re.M)
# Wine's loader failing before the program's own code runs.
SYSTEM_DLL_NOT_FOUND = re.compile(
    r'err:module:import_dll Library (\S+) \(which is needed by L"C:\\\\windows\\\\system32\\\\([^"]+)"\) not found')
NEVER_STARTED = [
    (SYSTEM_DLL_NOT_FOUND, lambda m: "Wine's %s could not load its own %s" % (m.group(2), m.group(1))),
    (re.compile(r"failed to map the shared user data"), lambda m: "Wine could not map the shared user data"),
    (re.compile(r"err:virtual:virtual_alloc_first_teb"), lambda m: "Wine could not make the first thread"),
    (re.compile(r"could not load kernel32\.dll"), lambda m: "Wine could not load kernel32.dll"),
]


def killing_signal(returncode):
    """The signal that ended the process: negative from Python, 128 + N through a shell."""
    if returncode < 0:
        return -returncode
    if 128 < returncode < 128 + 65:
        return returncode - 128
    return None


def wine_fault(returncode, stderr):
    """Why the run failed through no fault of the program, or None when the program is to blame."""
    if returncode == 0 or WINDOWS_EXCEPTION.search(stderr):
        return None
    number = killing_signal(returncode)
    if number is not None:
        name = signal.Signals(number).name if number in signal.Signals._value2member_map_ else "signal %d" % number
        return "killed by %s with no Windows exception" % name
    for pattern, reason in NEVER_STARTED:
        match = pattern.search(stderr)
        if match:
            return "never reached the program: " + reason(match)
    return None


def wine_environment(env):
    """`env` with Wine's error channel on, and without Wine's debugger: started on an unhandled
    exception, winedbg ends the crashed process with exit code 0 now and then (8 of 12 runs of a
    page fault here), so a crash could pass for success. Without it the process always ends with the
    exception's code."""
    env = dict(env)
    if env.get("WINEDEBUG", "-all") == "-all":
        env["WINEDEBUG"] = "-all,err+all"
    overrides = env.get("WINEDLLOVERRIDES", "")
    if NO_DEBUGGER not in overrides.split(";"):
        env["WINEDLLOVERRIDES"] = overrides + ";" + NO_DEBUGGER if overrides else NO_DEBUGGER
    return env


def allow_core_dump():
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))


def core_dumps(folder, pid, since):
    """Core files the process `pid` may have left since `since`: in the folder it was started in, or
    in one of the Windows build's folders, where scripts/run-shipped.sh moves before it execs Wine."""
    folders = [pathlib.Path(folder)] + sorted(p for p in (ROOT / "build/windows").glob("*") if p.is_dir())
    for candidate in folders:
        for name in ("core.%d" % pid, "core"):
            core = candidate / name
            if core.is_file() and core.stat().st_mtime >= since:
                yield core


def keep_core_dump(folder, pid, label, since):
    """Moves the dying process's core dump to CRASHES; says where it went and what gdb sees in it."""
    for core in core_dumps(folder, pid, since):
        CRASHES.mkdir(parents=True, exist_ok=True)
        kept = CRASHES / ("%s-%d.core" % (re.sub(r"[^\w.-]+", "_", label)[:80], pid))
        shutil.move(str(core), kept)
        lines = ["core dump kept: %s" % kept]
        gdb = shutil.which("gdb")
        if gdb:
            trace = subprocess.run([gdb, "-batch", "-ex", "bt 20", "-c", str(kept)], capture_output=True, text=True,
                                   errors="replace", timeout=120)
            frames = [line for line in trace.stdout.splitlines() if line.startswith("#")]
            lines += ["  " + line for line in dict.fromkeys(frames)]
        return "\n".join(lines)
    pattern = pathlib.Path("/proc/sys/kernel/core_pattern")
    return "no core dump found (core_pattern: %s)" % (pattern.read_text().strip() if pattern.exists() else "?")


def system_dll_state(env, name):
    """What the prefix holds under the name of a system DLL that Wine's loader did not find."""
    prefix = pathlib.Path(env.get("WINEPREFIX") or pathlib.Path.home() / ".wine")
    dll = prefix / "drive_c/windows/system32" / name
    try:
        status = dll.stat()
    except OSError as error:
        return "%s: %s" % (dll, error.strerror)
    return "%s: %d bytes, modified %s" % (dll, status.st_size, time.strftime("%H:%M:%S", time.localtime(status.st_mtime)))


class Outcome:
    """One run: its exit code and output, why Wine failed it (if Wine did), and what this script
    has to say of it (a kept core dump, a second run)."""

    def __init__(self, returncode, stdout, stderr, fault):
        self.returncode, self.stdout, self.stderr, self.fault = returncode, stdout, stderr, fault
        self.notes = []


def run_once(command, cwd, env, label, timeout):
    # Output goes to files, not pipes: the services a first Wine process starts for its wineserver
    # inherit its standard output and error and outlive it, so a pipe would not close with it.
    started = time.time() - 1
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, cwd=cwd, env=wine_environment(env), stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, preexec_fn=allow_core_dump)
        try:
            returncode = process.wait(timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            process.kill()
            returncode, timed_out = process.wait(), True
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    if timed_out:
        outcome = Outcome(124, stdout, stderr, None)
        outcome.notes.append("%s: no end after %d s, killed" % (label, timeout))
        return outcome
    outcome = Outcome(returncode, stdout, stderr, wine_fault(returncode, stderr.decode("latin-1")))
    if killing_signal(returncode):
        outcome.notes.append("%s: %s" % (label, keep_core_dump(cwd or os.getcwd(), process.pid, label, started)))
    missing = SYSTEM_DLL_NOT_FOUND.search(stderr.decode("latin-1"))
    if missing:
        outcome.notes.append("%s: %s" % (label, system_dll_state(env, missing.group(1))))
    return outcome


def run(command, cwd=None, env=None, label=None, timeout=1800):
    """Runs `command`, once more when Wine failed it, and returns the last Outcome; its notes say what
    happened to the first run too."""
    label = label or " ".join(map(str, command))
    env = env if env is not None else os.environ
    first = run_once(command, cwd, env, label, timeout)
    if not first.fault:
        return first
    second = run_once(command, cwd, env, label, timeout)
    second.notes[:0] = first.notes + [
        "%s: first run exit %d, %s: Wine's failure, not the program's; run once more.\n"
        "  its stdout: %r\n  its stderr: %r" % (label, first.returncode, first.fault, first.stdout[-2000:],
                                                first.stderr[-4000:])]
    second.notes.append("%s: second run exit %d%s" % (label, second.returncode,
                                                       ", " + second.fault if second.fault else ""))
    return second


def end_processes_in(prefix):
    """Ends every Wine process (wineserver included) whose environment names `prefix`, and says how
    many there were. Wine resolves C: through the prefix's path on every open, so a process left by
    an earlier run that was cut short writes into a prefix made anew at the same path (its alias file
    among others), under a wineserver of its own whose locks the new run's processes never see."""
    ended = 0
    wanted = b"WINEPREFIX=" + os.fsencode(os.path.abspath(prefix))
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            if "wine" not in os.path.basename(os.readlink(entry / "exe")):
                continue
            if wanted not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            os.kill(int(entry.name), signal.SIGKILL)
            ended += 1
        except (OSError, ValueError):
            continue
    return ended


def prefix_problem(wine, env):
    """Why Wine cannot start a program of its own in env's WINEPREFIX, or None when it can. A prefix
    is checked so before a stage runs anything in it: one whose system folder lacks a DLL of Wine's
    fails every program at its start."""
    outcome = run_once([wine, "cmd", "/c", "exit", "0"], None, env, "cmd /c exit 0 in the prefix", 300)
    if outcome.returncode == 0 and not SYSTEM_DLL_NOT_FOUND.search(outcome.stderr.decode("latin-1")):
        return None
    return "Wine's own cmd.exe exits %d in %s%s\n%s" % (
        outcome.returncode, env.get("WINEPREFIX"), ": " + outcome.fault if outcome.fault else "",
        "\n".join(outcome.notes + [outcome.stderr.decode("latin-1")[-2000:]]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--label", help="the run's name in messages (default: the command)")
    parser.add_argument("--cwd", help="the folder to run in")
    parser.add_argument("--check-prefix", metavar="WINE",
                        help="only check that WINE starts its own cmd.exe in WINEPREFIX (exit 1 when not)")
    parser.add_argument("--end-processes-in", metavar="PREFIX",
                        help="only end the Wine processes still running in PREFIX (before it is made anew)")
    parser.add_argument("command", nargs=argparse.REMAINDER, help="-- COMMAND ARGS...")
    options = parser.parse_args()
    if options.end_processes_in:
        ended = end_processes_in(options.end_processes_in)
        if ended:
            print("wine_run: ended %d Wine processes that an earlier run left in %s" % (ended, options.end_processes_in))
        return 0
    if options.check_prefix:
        problem = prefix_problem(options.check_prefix, os.environ)
        if problem:
            print("wine_run: the prefix is unusable: " + problem, file=sys.stderr)
        return 1 if problem else 0
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    if not command:
        parser.error("no command")
    outcome = run(command, cwd=options.cwd, label=options.label)
    for note in outcome.notes:
        print("wine_run: " + note, file=sys.stderr)
    sys.stdout.buffer.write(outcome.stdout)
    sys.stdout.flush()
    sys.stderr.buffer.write(outcome.stderr)
    sys.stderr.flush()
    return outcome.returncode if outcome.returncode >= 0 else 128 - outcome.returncode


if __name__ == "__main__":
    sys.exit(main())
