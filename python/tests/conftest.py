"""Shared fixtures of the Python front end's tests: the package as built (PYTHONPATH), a sample
store of its own, and the feed simulator's fault injection.

Needs: the package importable (PYTHONPATH=build/python), and for some tests QUORVEX_BUILD_DIR
(the CMake build: the record target, the cue feed) and QUORVEX_OCTAVE (octave-cli)."""
import os
import subprocess
import sys

import pytest

import quorvex


@pytest.fixture(scope="session")
def sample_dir(tmp_path_factory):
    """The feed simulator's sample stores, written once for the session."""
    folder = str(tmp_path_factory.mktemp("sample") / "data")
    quorvex.sample(folder)
    return folder


@pytest.fixture(autouse=True)
def store(sample_dir, monkeypatch):
    """Every test reads the sample, with the defaults of a fresh process and no faults."""
    monkeypatch.setenv("PCQW32_DATA_DIR", sample_dir)
    monkeypatch.delenv("PCQW32_FAULTS", raising=False)
    quorvex.set_defaults()
    yield sample_dir
    quorvex.set_defaults()


@pytest.fixture
def faults(monkeypatch):
    """Sets the simulator's injected faults (read at every attach): faults("get_record:4:2")."""
    def inject(text):
        monkeypatch.setenv("PCQW32_FAULTS", text)
    return inject


def build_dir():
    folder = os.environ.get("QUORVEX_BUILD_DIR")
    if not folder:
        pytest.skip("QUORVEX_BUILD_DIR names the CMake build this needs")
    return folder


def run_python(code, env=None):
    """Runs code in a fresh interpreter with this one's path and environment (plus `env`), for
    what is read once per process; returns (exit status, output)."""
    environment = dict(os.environ)
    environment.update(env or {})
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env=environment, timeout=300)
    return done.returncode, done.stdout + done.stderr
