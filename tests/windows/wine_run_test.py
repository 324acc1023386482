#!/usr/bin/env python3
"""What scripts/wine_run.py runs again and what it never does.

    WINE=wine64 tests/windows/wine_run_test.py build/windows/bin/crash_probe.exe   (WINEPREFIX set)

Each row is an outcome the Windows stage has met or must meet; then a program that crashes in its
own code runs under Wine and must fail at once, never be run again.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import wine_run  # noqa: E402

UNHANDLED = ("wine: Unhandled page fault on read access to 0000000000000000 at address 00000001400015D6 "
             "(thread 0024), starting debugger...\n")
SYSTEM_DLL_MISSING = ('0024:err:module:import_dll Library zlib1.dll (which is needed by '
                      'L"C:\\\\windows\\\\system32\\\\user32.dll") not found\n'
                      '0024:err:module:LdrInitializeThunk Importing dlls for L"C:\\\\windows\\\\system32\\\\start.exe" '
                      'failed, status c0000135\n')
OWN_DLL_MISSING = ('0024:err:module:import_dll Library qvpxisvc.dll (which is needed by '
                   'L"Z:\\\\work\\\\build\\\\windows\\\\bin\\\\hwconfig.exe") not found\n')


class Classification(unittest.TestCase):
    def test_only_what_wine_failed_is_run_again(self):
        rows = [
            # (what happened, exit code, stderr, run again)
            ("killed by SIGSEGV, nothing said", -11, "", True),
            ("killed by SIGSEGV, through a shell", 139, "", True),
            ("killed by SIGSEGV after a Windows exception", -11, UNHANDLED, False),
            ("a Windows page fault: the exception code's low byte", 5, UNHANDLED, False),
            ("one of Wine's own DLLs could not load another", 53, SYSTEM_DLL_MISSING, True),
            ("the shared user data could not be mapped", 1,
             "err:virtual:map_shared_user_data failed to map the shared user data\n", True),
            ("a DLL of ours is missing", 53, OWN_DLL_MISSING, False),
            ("a wrong exit code", 1, "", False),
            ("success", 0, "", False),
        ]
        for what, code, stderr, again in rows:
            with self.subTest(what):
                self.assertEqual(wine_run.wine_fault(code, stderr) is not None, again)


class LeftoverProcesses(unittest.TestCase):
    def test_only_wine_processes_of_the_prefix_are_ended(self):
        with tempfile.TemporaryDirectory() as folder:
            # Stand-ins that sleep under a Wine program's name: one in the prefix, one in another.
            sleeper = pathlib.Path(folder) / "wine64-preloader"
            shutil.copy(shutil.which("sleep"), sleeper)
            prefix, other = pathlib.Path(folder) / "prefix", pathlib.Path(folder) / "other"
            inside = subprocess.Popen([sleeper, "60"], env=dict(os.environ, WINEPREFIX=str(prefix)))
            outside = subprocess.Popen([sleeper, "60"], env=dict(os.environ, WINEPREFIX=str(other)))
            try:
                self.assertEqual(wine_run.end_processes_in(prefix), 1)
                self.assertEqual(inside.wait(timeout=10), -9)
                self.assertIsNone(outside.poll())
            finally:
                outside.kill()
                outside.wait()


class CrashOfOurCode(unittest.TestCase):
    probe = None

    def test_a_crash_in_the_program_fails_at_once(self):
        if not self.probe:
            self.skipTest("no crash_probe.exe named")
        outcome = wine_run.run([os.environ.get("WINE", "wine64"), self.probe.name], cwd=self.probe.parent,
                               label="crash_probe", timeout=300)
        self.assertEqual(outcome.returncode, 5, outcome.stderr[-2000:])  # 0xC0000005, an access violation
        self.assertIsNone(outcome.fault)
        self.assertEqual(outcome.notes, [])
        self.assertIn(b"crash_probe: reading address 0", outcome.stdout)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        CrashOfOurCode.probe = pathlib.Path(sys.argv.pop(1)).resolve()
    unittest.main(verbosity=1)
