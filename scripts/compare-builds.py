#!/usr/bin/env python3
"""Runs hwconfig --json on the same machines with three builds of the module and compares them:

  linux     build/plain/bin/hwconfig on the simulated Windows (libqvwinsim)
  test      build/windows/simulated/hwconfig.exe under Wine, the module's objects on qvwinsim.dll
  shipped   build/windows/shipped/hwconfig.exe under Wine, the shipped DLL on Wine's own SetupAPI
            and registry (scripts/run-shipped.sh)

    scripts/compare-builds.py [--seeds 1-20] [--examples] [--builds linux,test,shipped] [--jobs N] [--keep DIR]

For each machine (scripts/make-machine.py --random SEED, and with --examples the machines of
examples/): list, tree, aliases; show, cal and selftest of every board (every device with a board
interface, present or not, by item name); then rename of the first present board, aliases and list
again. Each run's exit code, stdout and stderr, and the alias file after the rename, must be the
same byte for byte after normalising only what must differ between the builds:

  - CR LF ends Windows' lines (the C runtime's text mode); they become LF.
  - The order of boards: the system enumerates in an order of its own (the simulation in the
    description's order, Windows in none documented), so every board loses its "number" (its place
    in that order), every list of boards or tree nodes is sorted by item name, and hwconfig's
    messages name boards by that number ("board 3", "board 1,2,3") without it ("board #").
  - On the shipped DLL the first run of a machine plants it: plant-machine's lines
    ("plant-machine: drives: not planted, ...") are not hwconfig's.
  - A machine with members the registry cannot carry (faults of SetupAPI, CM or registry calls) is
    not run on the shipped DLL; the line says so.
  - Every Windows run carries Wine's error channel (WINEDEBUG=-all,err+all; the fixme lines Wine
    prints by default are left out), so that a run that fails says why in its own output. Wine's
    lines ("0024:err:module:import_dll ...", with the process's number and a time before it when
    WINEDEBUG asks for them) are not the program's: they are taken out of stderr before comparing,
    and printed with the step when there are any.

Machines run on --jobs workers at once (default: the number of CPUs, at most 2), each result printed
in the machines' order. The Windows builds keep state in their Wine prefix (the alias file in
C:\\ProgramData, the planted machine in the registry), so each worker has a prefix of its own: the
first runs in WINEPREFIX, whose persistent wineserver the caller has started (scripts/test-shipped.sh
says why it must be persistent); every other one in a copy of it made here (WINEPREFIX-workerN), with
a persistent wineserver of its own that is ended, and the copy removed, at the end.

The folder with each machine's outputs per build is kept with --keep. Exit code 0: no difference;
1: differences, each named on stdout.
"""
import argparse
import concurrent.futures
import contextlib
import json
import os
import pathlib
import queue
import re
import shutil
import subprocess
import sys
import tempfile

import wine_run

ROOT = pathlib.Path(__file__).resolve().parent.parent
BOARD_CLASS = "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}"
ALIAS_FILE = pathlib.PurePosixPath("ProgramData/Quorvel/QV-KELP/aliases.json")
WINE = os.environ.get("WINE") or shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
WINE_DEBUG = "-all,err+all"
# A line of Wine's debug output: [time:][process:][thread:]class:channel:function text. A line written
# before the process has its first thread has no numbers ("err:virtual:virtual_alloc_first_teb ...").
WINE_LINE = re.compile(r"^(?:\d+\.\d{3}:)?(?:[0-9a-f]{4,}:){0,2}(?:fixme|err|warn|trace):[^:\s]*:.*(?:\n|$)", re.M)
RENAMED = "CompareAlias1"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Build:
    """One build: how to run hwconfig, and where its alias file lives."""

    def __init__(self, name):
        self.name = name

    def alias_file(self, machine, prefix):
        if self.name == "linux":
            drives = json.loads(machine.read_text(encoding="utf-8")).get("drives", {})
            return machine.parent / drives["C"] / ALIAS_FILE if "C" in drives else None
        return prefix / "drive_c" / ALIAS_FILE

    def command(self, machine, arguments):
        if self.name == "linux":
            return [str(ROOT / "build/plain/bin/hwconfig"), "--machine", str(machine), "--json"] + arguments, None
        if self.name == "test":
            return [WINE, "./hwconfig.exe", "--json"] + arguments, ROOT / "build/windows/simulated"
        return [str(ROOT / "scripts/run-shipped.sh"), str(machine), "--", "hwconfig.exe", "--json"] + arguments, None

    def run_once(self, machine, arguments, prefix, step):
        """The run's exit code, stdout and stderr without Wine's lines, Wine's lines apart, and what
        wine_run has to say of a Windows run that Wine failed and that ran once more."""
        command, folder = self.command(machine, arguments)
        env = dict(os.environ, QVKELP_MACHINE=windows_path(machine), WINEDEBUG=WINE_DEBUG, WINEPREFIX=str(prefix))
        if self.name == "linux":
            done = subprocess.run(command, cwd=folder, env=env, capture_output=True, timeout=120)
            notes = []
        else:
            done = wine_run.run(command, cwd=folder, env=env, label=step, timeout=120)
            notes = done.notes
        stderr = done.stderr.decode("latin-1")
        wine_lines = "".join(match.group(0) for match in WINE_LINE.finditer(stderr))
        return {"exit": done.returncode, "stdout": done.stdout.decode("latin-1"),
                "stderr": WINE_LINE.sub("", stderr)}, wine_lines, notes

    def run(self, machine, arguments, prefix, report):
        """Runs hwconfig; Wine's lines, a run that Wine failed and that ran once more, and a run that
        fails without a word of its own, go to `report`."""
        step = "%s: %s" % (self.name, " ".join(arguments))
        output, wine_lines, notes = self.run_once(machine, arguments, prefix, step)
        report.lines += ["WINE_RUN " + note for note in notes]
        if self.name != "linux" and output["exit"] != 0 and not output["stdout"] and not output["stderr"]:
            # hwconfig writes a line on every failing path, plant-machine too: a Windows run that
            # fails without a word of its own never ran the program. Wine's error channel says why;
            # the cause seen so far, "failed to map the shared user data", comes of Wine running
            # without Debian's wine64-preloader (docs/machine-format.md). It is the difference it
            # makes, and said here.
            report.silent_exits.append(step)
            report.lines.append("SILENT EXIT (%s): exit %d, %s" % (
                step, output["exit"], "Wine says: %r" % wine_lines[:2000] if wine_lines else "Wine said nothing"))
        elif wine_lines:
            report.lines.append("WINE (%s): exit %d, Wine says: %r" % (step, output["exit"], wine_lines[:2000]))
        return output


class Report:
    """What one machine's runs have to say, printed in the machines' order."""

    def __init__(self):
        self.lines = []
        self.silent_exits = []
        self.differences = 0


def by_item(entries):
    return sorted(entries, key=lambda entry: str(entry.get("itemName") or entry.get("instanceId")))


def without_order(node):
    """Drops every board's number and sorts every list of boards or tree nodes by item name."""
    if isinstance(node, dict):
        node.pop("number", None)
        for key, value in node.items():
            node[key] = without_order(value)
            if key in ("boards", "roots", "children") and isinstance(node[key], list):
                node[key] = by_item(node[key])
    elif isinstance(node, list):
        return [without_order(value) for value in node]
    return node


BOARD_NUMBERS = re.compile(r"\b([Bb]oards?) \d+(,\d+)*")


def normalise(output):
    result = dict(output)
    for stream in ("stdout", "stderr"):
        text = result[stream].replace("\r\n", "\n")
        text = "".join(line for line in text.splitlines(True) if not line.startswith("plant-machine: "))
        result[stream] = BOARD_NUMBERS.sub(r"\1 #", text)
    try:
        document = json.loads(result["stdout"])
    except ValueError:
        return result
    result["stdout"] = json.dumps(without_order(document), indent=1, ensure_ascii=False)
    return result


def boards_of(machine):
    devices = json.loads(machine.read_text(encoding="utf-8")).get("devices", [])
    boards = [d for d in devices if any(i["class"].upper() == BOARD_CLASS for i in d.get("interfaces", []))]
    return [d["id"] for d in boards], [d["id"] for d in boards if d.get("present", True)]


def plantable(machine):
    faults = json.loads(machine.read_text(encoding="utf-8")).get("faults", [])
    return not any(f["call"] == "*" or f["call"].startswith(("SetupDi", "CM_", "Reg")) for f in faults)


def run_machine(build, source, work, prefix, report):
    """Copies the machine's folder, runs every command, and returns {step: normalised output}."""
    folder = work / build.name
    shutil.copytree(source.parent, folder)
    machine = folder / source.name
    alias_file = build.alias_file(machine, prefix)
    if build.name != "linux":
        # Both Windows builds read the prefix's alias file: the machine's own is put there.
        linux_file = Build("linux").alias_file(machine, prefix)
        alias_file.parent.mkdir(parents=True, exist_ok=True)
        if linux_file and linux_file.exists():
            shutil.copyfile(linux_file, alias_file)
        elif alias_file.exists():
            alias_file.unlink()
    boards, present = boards_of(machine)
    steps = [("list", ["list"]), ("tree", ["tree"]), ("aliases", ["aliases"])]
    for board in boards:
        steps += [("show " + board, ["show", board]), ("cal " + board, ["cal", board]),
                  ("selftest " + board, ["selftest", board])]
    if present:
        steps += [("rename " + present[0], ["rename", present[0], RENAMED]), ("aliases after rename", ["aliases"]),
                  ("list after rename", ["list"])]
    outputs = {}
    for name, arguments in steps:
        outputs[name] = normalise(build.run(machine, arguments, prefix, report))
    if present:
        text = alias_file.read_bytes().decode("latin-1") if alias_file and alias_file.exists() else None
        outputs["alias file after rename"] = {"text": text.replace("\r\n", "\n") if text else text}
    (work / (build.name + ".json")).write_text(json.dumps(outputs, indent=1))
    return outputs


def compare(label, builds, results, report):
    differences = 0
    first = builds[0]
    for other in builds[1:]:
        for step, output in results[first.name].items():
            theirs = results[other.name].get(step)
            for part in output:
                if theirs is None or output[part] != theirs[part]:
                    differences += 1
                    report.lines.append("DIFF %s: %s, %s: %s %s vs %s" % (
                        label, step, part, first.name, repr(output[part])[:400],
                        other.name + " " + repr(theirs and theirs[part])[:400]))
    return differences


def compare_machine(label, machine, builds, work_root, prefix):
    """Runs one machine on every build that can carry it (Windows ones in `prefix`) and compares."""
    report = Report()
    work = work_root / label.replace("/", "_").replace(" ", "-") / "runs"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    chosen = [b for b in builds if b.name != "shipped" or plantable(machine)]
    if len(chosen) < len(builds):
        report.lines.append("%s: not run on the shipped DLL: it injects faults of SetupAPI, CM or registry calls" % label)
    results = {build.name: run_machine(build, machine, work, prefix, report) for build in chosen}
    report.differences = compare(label, chosen, results, report)
    report.lines.append("%s: %d steps, %s" % (label, len(results[chosen[0].name]),
                                              "same" if not report.differences else
                                              "%d differences" % report.differences))
    return report


def wine_in(prefix, *arguments):
    """Runs a Wine tool in `prefix` with no output to wait for."""
    subprocess.run(arguments, env=dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all"),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


@contextlib.contextmanager
def worker_prefixes(count):
    """WINEPREFIX and count - 1 copies of it, each with a persistent, started wineserver."""
    if count == 0:
        yield []
        return
    first = pathlib.Path(os.environ["WINEPREFIX"])
    copies = []
    try:
        for number in range(1, count):
            copy = first.with_name("%s-worker%d" % (first.name, number))
            copies.append(copy)
            wine_run.end_processes_in(copy)
            shutil.rmtree(copy, ignore_errors=True)
            subprocess.run(["cp", "-a", str(first), str(copy)], check=True)
            # Not the copy's: the planted machine named by run-shipped.sh's stamp may not be the one
            # in the registry files as last saved, and Debian's Wine keeps the name of the prefix's
            # server folder there.
            for own in ("qvkelp-planted-machine", "wineserver"):
                (copy / own).unlink(missing_ok=True)
            wine_in(copy, WINESERVER, "-p")
            problem = wine_run.prefix_problem(WINE, dict(os.environ, WINEPREFIX=str(copy)))
            if problem:
                raise RuntimeError("the copy of the Wine prefix is unusable: " + problem)
        yield [first] + copies
    finally:
        for copy in copies:
            wine_in(copy, WINESERVER, "-k")
            wine_in(copy, WINESERVER, "-w")
            shutil.rmtree(copy, ignore_errors=True)


def seeds_of(text):
    seeds = []
    for part in text.split(","):
        low, _, high = part.partition("-")
        seeds += list(range(int(low), int(high or low) + 1))
    return seeds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seeds", default="1-20", help="seeds, as 1-20,31,40-45 (default 1-20)")
    parser.add_argument("--examples", action="store_true", help="also the machines of examples/")
    parser.add_argument("--builds", default="linux,test,shipped")
    parser.add_argument("--keep", help="keep each machine's outputs in this folder")
    parser.add_argument("--jobs", type=int, default=min(os.cpu_count() or 1, 2),
                        help="machines compared at once (default: the number of CPUs, at most 2)")
    options = parser.parse_args()
    builds = [Build(name) for name in options.builds.split(",")]
    work_root = pathlib.Path(options.keep or tempfile.mkdtemp(prefix="compare-builds-"))
    machines = []
    for seed in seeds_of(options.seeds) if options.seeds else []:
        folder = work_root / ("seed-%d" % seed) / "machine"
        subprocess.run([sys.executable, str(ROOT / "scripts/make-machine.py"), "--random", str(seed), str(folder)],
                       check=True)
        machines.append(("seed %d" % seed, folder / "machine.json"))
    if options.examples:
        machines.append(("examples/lab.json", ROOT / "examples/lab.json"))
        machines += [("examples/tests/" + p.name, p) for p in sorted((ROOT / "examples/tests").glob("*.json"))]
    jobs = min(options.jobs, len(machines)) or 1
    with worker_prefixes(jobs if any(b.name != "linux" for b in builds) else 0) as prefixes:
        free = queue.Queue()
        for prefix in prefixes or [None] * jobs:
            free.put(prefix)

        def compare_on_a_free_prefix(label, machine):
            prefix = free.get()
            try:
                return compare_machine(label, machine, builds, work_root, prefix)
            finally:
                free.put(prefix)

        with concurrent.futures.ThreadPoolExecutor(jobs) as workers:
            reports = [workers.submit(compare_on_a_free_prefix, label, machine) for label, machine in machines]
            differences, silent_exits = 0, []
            for report in reports:
                report = report.result()
                print("\n".join(report.lines), flush=True)
                differences += report.differences
                silent_exits += report.silent_exits
    if not options.keep:
        shutil.rmtree(work_root, ignore_errors=True)
    print("compare-builds: %d machines, %d differences, %d silent exits of Windows runs%s" %
          (len(machines), differences, len(silent_exits), "".join("\n  " + run for run in silent_exits)))
    return 1 if differences or silent_exits else 0


if __name__ == "__main__":
    sys.exit(main())
