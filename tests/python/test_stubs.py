"""The shipped type stubs must describe the compiled module exactly."""
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import kestrin

REPO_STUB = pathlib.Path(__file__).resolve().parents[2] / "stubs" / "kestrin-stubs" / "__init__.pyi"


def test_stubtest_finds_no_drift(tmp_path):
    pytest.importorskip("mypy")
    shutil.copy(REPO_STUB, tmp_path / "kestrin.pyi")
    env = dict(os.environ, MYPYPATH=str(tmp_path))
    res = subprocess.run([sys.executable, "-m", "mypy.stubtest", "kestrin"],
                         capture_output=True, text=True, env=env, cwd=tmp_path)
    assert res.returncode == 0, res.stdout + res.stderr


def test_installed_module_ships_its_stubs():
    where = pathlib.Path(kestrin.__file__).parent
    if "site-packages" not in str(where) and "dist-packages" not in str(where):
        pytest.skip("module imported from a build tree")
    installed = where / "kestrin-stubs" / "__init__.pyi"
    assert installed.read_text() == REPO_STUB.read_text()
