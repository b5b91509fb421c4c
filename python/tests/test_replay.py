"""A session recorded in front of a feed library and replayed from the recording alone gives
the same frames: the README's pytest fixture, used as a test writes it."""
import os

import pandas as pd
import pytest

import quorvex
from conftest import build_dir, run_python

SESSION = (
    "import pickle, sys, quorvex\n"
    "quotes = quorvex.quotes(['IBM', 'NOSUCH', 'MSFT'])\n"
    "history = quorvex.history('GE')\n"
    "bars = quorvex.bars('KO')\n"
    "funds = quorvex.fundamentals(['KO'])\n"
    "sys.stdout.buffer.write(pickle.dumps((quotes, history, bars, funds)))\n")


def session(env):
    import pickle
    import subprocess
    import sys
    done = subprocess.run([sys.executable, "-c", SESSION], capture_output=True,
                          env=dict(os.environ, **env), timeout=300)
    assert done.returncode == 0, done.stderr.decode()
    return pickle.loads(done.stdout)


@pytest.fixture
def recording(tmp_path, store):
    """A recording of the session, made in front of a second copy of the simulator's library
    standing in for the vendor's, as on the desk that has it."""
    target = os.path.join(build_dir(), "record-target", "libPCQW32.so")
    if not os.path.exists(target):
        pytest.skip("no record target in the build")
    folder = str(tmp_path / "recordings")
    direct = session({})
    recorded = session({"PCQW32_RECORD_TARGET": target, "PCQW32_RECORD_DIR": folder,
                        "PCQW32_RECORD_MODE": "all"})
    for a, b in zip(direct, recorded):
        pd.testing.assert_frame_equal(a, b)
    return folder, direct


def test_a_recorded_session_replays_from_the_recording_alone(recording, monkeypatch):
    folder, direct = recording
    # Elsewhere: the data folder is the recording, and nothing else is reachable.
    replayed = session({"PCQW32_DATA_DIR": folder, "PCQW32_RECORD_MODE": "none"})
    for a, b in zip(direct, replayed):
        pd.testing.assert_frame_equal(a, b)
    # A call the recording lacks is an error of its own, said plainly.
    monkeypatch.setenv("PCQW32_DATA_DIR", folder)
    monkeypatch.setenv("PCQW32_RECORD_MODE", "none")
    with pytest.raises(quorvex.RetrievalError) as raised:
        quorvex.quotes("ZZZZ", errors="raise")
    assert raised.value.status == 15


def test_the_environment_reaches_a_helper_started_before_it_changed():
    # Through the helper, a setting made after its start (the faults here) must reach the
    # feed library as it would in this process.
    status, out = run_python(
        "import os, quorvex\n"
        "quorvex.attach(1)\n"
        "os.environ['PCQW32_FAULTS'] = 'attach:12'\n"
        "print(quorvex.attach(1))\n",
        {"QUORVEX_FEED_ISOLATION": "helper"})
    assert out.strip().splitlines()[-1] == "False", out
