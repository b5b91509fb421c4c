"""The same module in both hosts: the Octave functions and the Python functions read the same
store and must give the same values, field by field, to the bit (a digest of every double's
bytes and of every text)."""
import hashlib
import os
import subprocess

import numpy as np
import pytest

import quorvex
from conftest import build_dir

SECURITIES = ["IBM", "MSFT", "AAPL-C190", "NOSUCH", "KO", "$SPX", "BAC"]
QUALIFIERS = ["", "", "2406", "", "", "", ""]

# Octave prints one line per field: its name and the MD5 of its bytes (doubles in the host's
# column-major order as little-endian bytes; texts joined by newlines).
OCTAVE = r"""
function show (name, value)
  if (iscell (value))
    bytes = uint8 (strjoin (value(:)', "\n"));
  else
    bytes = typecast (double (value(:)'), "uint8");
  endif
  printf ("%s %s\n", name, hash ("md5", char (bytes)));
endfunction
function fields (prefix, s)
  for name = fieldnames (s)'
    show ([prefix name{1}], s.(name{1}));
  endfor
endfunction
symbols = {SYMBOLS};
qualifiers = {QUALIFIERS};
[q, failed] = qvquotes (symbols, "Qualifier", qualifiers, "OutputType", "columns");
fields ("quote.", q);
[f, failed] = qvfundamentals (symbols, "Qualifier", qualifiers, "OutputType", "columns");
fields ("fundamentals.", f);
show ("history", qvhistory ("MSFT", "OutputType", "matrix"));
show ("bars", qvbars ("$SPX", "OutputType", "matrix"));
v = qvversion ();
show ("version.major", v.majorversion);
show ("version.serial", {v.serialnumber});
"""


def digest_of(value):
    if isinstance(value, list):
        data = "\n".join(value).encode("latin-1")
    else:
        data = np.asarray(value, dtype="<f8").flatten(order="F").tobytes()
    return hashlib.md5(data).hexdigest()


def test_octave_and_python_give_the_same_bits(store, tmp_path):
    octave = os.environ.get("QUORVEX_OCTAVE")
    if not octave:
        pytest.skip("QUORVEX_OCTAVE names octave-cli")
    script = tmp_path / "dump.m"
    listed = lambda items: ", ".join(f"'{item}'" for item in items)  # noqa: E731
    script.write_text(OCTAVE.replace("SYMBOLS", listed(SECURITIES))
                      .replace("QUALIFIERS", listed(QUALIFIERS)))
    done = subprocess.run([octave, "--norc", "--no-gui", "--quiet", "--eval",
                           f"addpath('{build_dir()}'); source('{script}');"],
                          capture_output=True, text=True, timeout=300,
                          env=dict(os.environ, HOME=str(tmp_path)))
    lines = [line.split() for line in done.stdout.splitlines() if line.count(" ") == 1]
    octave_digests = dict(lines)
    assert len(octave_digests) > 60, done.stdout + done.stderr

    python = {}
    q = quorvex.quotes(SECURITIES, qualifier=QUALIFIERS, output="arrays")
    assert list(q["status"]) == [0, 0, 0, 4, 0, 0, 0]
    for name, value in q.items():
        if name != "status":
            python["quote." + name] = digest_of(value)
    f = quorvex.fundamentals(SECURITIES, qualifier=QUALIFIERS, output="arrays")
    for name, value in f.items():
        if name != "status":
            python["fundamentals." + name] = digest_of(value)
    history = quorvex.history("MSFT", output="arrays")
    python["history"] = digest_of(np.column_stack([history[n] for n in quorvex.HISTORY_COLUMNS]))
    # qvbars' matrix is the module's whole 75000-row matrix; the frame's rows are the bars.
    bars = quorvex.bars("$SPX", output="arrays")
    python["bars"] = digest_of(np.column_stack([bars[n] for n in quorvex.BAR_COLUMNS]))
    v = quorvex.version()
    python["version.major"] = digest_of(np.array([float(v["majorversion"])]))
    python["version.serial"] = digest_of([v["serialnumber"]])

    differ = sorted(name for name in python if octave_digests.get(name) != python[name])
    assert not differ, (differ, done.stderr)
