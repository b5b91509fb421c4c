"""Failures as Python expects them: a security the feed cannot read is a row with its status,
every other failure an exception of the module's identifier, an empty or cut result a warning,
and a bad argument a TypeError or ValueError before any feed call."""
import numpy as np
import pandas as pd
import pytest

import quorvex
from conftest import build_dir, run_python


def test_a_security_the_feed_cannot_read_costs_only_its_row():
    q = quorvex.quotes(["IBM", "NOSUCH", "KO"])
    assert q["status"].tolist() == [0, 4, 0]
    row = q.loc["NOSUCH"]
    assert np.isnan(row["LastPrice"]) and pd.isna(row["LastPriceTime"])
    assert pd.isna(row["PriceType"]) and row["Symbol"] == "" and row["BidExchange"] == ""
    assert q["PriceType"].dtype == "Int64"
    assert q.loc["KO", "Symbol"] == "KO"
    f = quorvex.fundamentals(["NOSUCH", "KO"])
    assert pd.isna(f.loc["NOSUCH", "DivDate"]) and f.loc["NOSUCH", "Name"] == ""
    with pytest.raises(quorvex.RetrievalError) as raised:
        quorvex.quotes(["IBM", "NOSUCH"], errors="raise")
    assert (raised.value.identifier, raised.value.status) == ("quorvex:retrievalFailed", 4)
    assert str(raised.value) == "Data retrieval error 4"


@pytest.mark.parametrize("fault, call, error", [
    ("attach:12", lambda: quorvex.quotes("IBM"), quorvex.AttachError),
    ("get_record:23:0:KO", lambda: quorvex.quotes("KO", errors="raise"), quorvex.RetrievalError),
    ("version:6", lambda: quorvex.version(), quorvex.VersionError),
    ("detach:8", lambda: quorvex.version(), quorvex.DetachError),
    ("approx:7:1", lambda: quorvex.history("IBM"), quorvex.ApproxError),
    ("approx:7:2", lambda: quorvex.history("IBM"), quorvex.NextError),
])
def test_each_failure_raises_the_class_of_its_identifier(faults, fault, call, error):
    faults(fault)
    with pytest.raises(error) as raised:
        call()
    assert isinstance(raised.value, quorvex.Error)
    assert raised.value.identifier == error.identifier
    assert raised.value.status == int(fault.split(":")[1])


def test_a_failed_attach_says_why():
    with pytest.raises(quorvex.AttachError) as raised:
        quorvex.quotes("IBM", database=99)
    assert "db99.sqlite" in raised.value.description
    assert str(raised.value).startswith("Database Attach failed with error 12 (")


def test_empty_and_cut_results_warn(faults, capsys):
    with pytest.warns(quorvex.NoHistoryWarning, match="'NOSUCH'"):
        assert quorvex.history("NOSUCH").shape[0] == 0
    faults("delivery:5:100")
    with pytest.warns(quorvex.HistoryIncompleteWarning, match="status 5 after 792 rows"):
        h = quorvex.history("MSFT")
    assert h.shape[0] == 792 and h.attrs["ended"] == (5, 2)
    assert "DBA_GET_APPROX failed with code 5" in capsys.readouterr().out
    faults("next_block:4:100")
    with pytest.warns(quorvex.SeriesIncompleteWarning, match="status 4 after 800 rows"):
        assert quorvex.bars("$SPX").shape[0] == 800
    # A bar read that fails is no bars, as qvbars has it.
    faults("first_block:8")
    with pytest.warns(quorvex.NoBarsWarning, match="feed status 8"):
        assert quorvex.bars("IBM").shape[0] == 0


def test_found_holds_back_the_warning_of_an_empty_result(recwarn):
    frame, found = quorvex.history("NOSUCH", found=True)
    frame, found_bars = quorvex.bars("NOSUCH", found=True)
    assert (found, found_bars) == (False, False)
    assert not [w for w in recwarn if issubclass(w.category, quorvex.QuorvexWarning)]


@pytest.mark.parametrize("call, error", [
    (lambda: quorvex.quotes(42), TypeError),
    (lambda: quorvex.quotes([""]), ValueError),
    (lambda: quorvex.quotes(["IBM", 7]), TypeError),
    (lambda: quorvex.quotes("ABCDEFGHIJKL"), ValueError),
    (lambda: quorvex.quotes("IBM", qualifier="12345"), ValueError),
    (lambda: quorvex.quotes(["IBM", "KO"], qualifier=["", "", ""]), ValueError),
    (lambda: quorvex.quotes("IBM", database=1.5), TypeError),
    (lambda: quorvex.quotes("IBM", database=-4), ValueError),
    (lambda: quorvex.quotes("IBM", database=True), TypeError),
    (lambda: quorvex.quotes("IBM", errors="ignore"), ValueError),
    (lambda: quorvex.quotes("IBM", output="table"), ValueError),
    (lambda: quorvex.history(["IBM", "KO"]), ValueError),
    (lambda: quorvex.bars("IB\u2603"), ValueError),
    (lambda: quorvex.set_defaults(quote_database="1"), TypeError),
])
def test_bad_arguments_raise_before_any_feed_call(faults, call, error):
    faults("attach:12")  # any feed call would raise AttachError instead
    with pytest.raises(error):
        call()


def test_helper_and_library_failures_in_a_process_of_their_own(tmp_path):
    # The isolation setting is read once per process.
    status, out = run_python(
        "import quorvex\n"
        "try:\n    quorvex.version()\nexcept quorvex.FeedLibraryError as e:\n"
        "    print('raised', e.identifier, e)\n",
        {"QUORVEX_FEED_ISOLATION": "sideways"})
    assert "raised quorvex:feedLibrary QUORVEX_FEED_ISOLATION is 'sideways'" in out, out


def test_a_lost_or_stalled_helper_raises_and_the_next_call_goes_on():
    cue = f"{build_dir()}/cue-feed"
    code = (
        "import quorvex\n"
        "for call in (lambda: quorvex.history('KILL'), lambda: quorvex.quotes('HANG'),\n"
        "             lambda: quorvex.history('FULL'), lambda: quorvex.history('QUIET')):\n"
        "    try:\n        call()\n    except quorvex.Error as e:\n"
        "        print(type(e).__name__)\n"
        "    print(quorvex.attach(1))\n")
    status, out = run_python(code, {"QUORVEX_FEED_ISOLATION": "helper", "LD_LIBRARY_PATH": cue,
                                    "QUORVEX_FEED_TIMEOUT": "2"})
    assert out.split() == ["HelperLostError", "True", "FeedStalledError", "True",
                           "CapacityError", "True", "FeedStalledError", "True"], out
