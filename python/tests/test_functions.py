"""Every function against the feed simulator's sample: shapes, types, the order asked, the
values the module returned, and the defaults kept for the process only."""
import os

import numpy as np
import pandas as pd
import pytest

import quorvex

BOARD = ["IBM", "MSFT", "KO", "GE", "XOM"]


def test_quotes_one_row_per_security_in_the_order_asked_with_real_types():
    q = quorvex.quotes(BOARD[::-1])
    assert list(q.index) == BOARD[::-1]
    assert list(q["Symbol"]) == BOARD[::-1]
    assert (q["status"] == 0).all()
    assert q["LastPrice"].dtype == np.float64 and q["LastSize"].dtype == np.float64
    assert q["PriceType"].dtype == np.int64 and q["LastTick"].dtype == np.int64
    assert q["LastPriceTime"].dtype == "timedelta64[ns]"
    assert set(q["LastTick"]) <= {-1, 0, 1}
    assert (q["BidPrice"] < q["AskPrice"]).all()
    assert (q["LowPrice"] <= q["LastPrice"]).all() and (q["LastPrice"] <= q["HighPrice"]).all()
    # The frame's numbers are the module's own, to the bit.
    raw = quorvex.quotes(BOARD[::-1], output="arrays")
    assert np.array_equal(q["LastPrice"].to_numpy(), raw["LastPrice"][:, 0])
    assert np.array_equal(q["CloseRange2"].to_numpy(), raw["CloseRange"][:, 1])
    minutes = np.rint(raw["LastPriceTime"][:, 0] * 1440)
    assert (q["LastPriceTime"] == pd.to_timedelta(minutes, unit="m")).all()
    # Every list form names the same securities.
    for form in (tuple(BOARD), pd.Index(BOARD), pd.Series(BOARD)):
        assert quorvex.quotes(form).index.tolist() == BOARD
    assert quorvex.quotes("IBM").shape[0] == 1
    options = quorvex.quotes(["AAPL-C190", "IBM"], qualifier=["2406", ""])
    assert list(options["Symbol"]) == ["AAPL-C190", "IBM"]
    assert list(options["qualifier"]) == ["2406", ""]


def test_fundamentals_dates_as_datetimes():
    f = quorvex.fundamentals(["KO", "IBM"])
    assert f.loc["KO", "Name"] == "Coca-Cola Co"
    assert f["DivDate"].dtype == "datetime64[ns]"
    raw = quorvex.fundamentals(["KO", "IBM"], output="arrays")
    year, month, day = raw["DivDate"][:, 0]
    assert f.loc["KO", "DivDate"] == pd.Timestamp(int(year), int(month), int(day))
    assert f["S&PCode"].dtype == np.int64
    assert np.array_equal(f["ClosePrice"].to_numpy(), raw["ClosePrice"][:, 0])


def test_history_named_columns_without_the_last_blocks_zeros():
    h = quorvex.history("GE")
    assert list(h.columns) == list(quorvex.HISTORY_COLUMNS) + ["Time"]
    assert h.shape[0] == 800
    assert h["Day"].dtype == np.int64 and h["Price"].dtype == np.float64
    assert (h["Time"] == pd.to_timedelta(h["Hour"] * 3600 + h["Minute"] * 60 + h["Second"],
                                         unit="s")).all()
    assert h.attrs["ended"][0] == 0  # ended by the next security's block
    arrays = quorvex.history("MSFT", output="arrays")
    assert arrays["Price"].shape == (120000,)
    # Columns of the module's matrix, not copies of it.
    assert arrays["Price"].base is not None
    empty, found = quorvex.history("ZZZZZ", found=True)
    assert (empty.shape[0], found) == (0, False)
    assert empty.attrs["ended"] == (9, 3)


def test_bars_index_from_the_stamps_in_the_time_zone_asked():
    b = quorvex.bars("$SPX")
    assert b.shape == (75000, 5)
    assert list(b.columns) == ["Open", "High", "Low", "Close", "Volume"]
    raw = quorvex.bars("$SPX", output="arrays")
    stamps = raw["Stamp"].astype(np.int64)
    assert (b.index.asi8 == stamps * 1_000_000_000).all()
    assert str(b.index.tz) == "UTC"
    # The sample's minute bars begin at 09:30 New York time.
    ny = quorvex.bars("$SPX", tz="America/New_York")
    assert (ny.index[0].hour, ny.index[0].minute) == (9, 30)
    assert b.attrs["ended"] == 9
    assert b["Volume"].dtype == np.int64
    # Only the bars delivered: KO has 8.
    assert quorvex.bars("KO").shape[0] == 8


def test_version_attach_and_cant():
    v = quorvex.version()
    assert v == {"majorversion": 4, "minorversion": 12, "release": "b",
                 "serialnumber": "SIM-00417-2024"}
    assert quorvex.attach(1) is True and quorvex.attach(99) is False
    c = quorvex.cant(["IBM", "MSFT", "AAPL"])
    assert c["found"].tolist() == [True, False, True]
    assert c["status"].tolist() == [0, 4, 0]


def test_defaults_hold_for_the_process_only(sample_dir):
    before = set(os.listdir(sample_dir))
    assert quorvex.set_defaults(quote_database=2) == {"quote_database": 2,
                                                      "fundamentals_database": 2}
    assert quorvex.get_defaults()["quote_database"] == 2
    # A fundamentals database read as quotes: the warning says so.
    with pytest.warns(quorvex.SuspectDatabaseWarning, match="database 2"):
        quorvex.quotes("IBM")
    assert quorvex.set_defaults() == {"quote_database": 1, "fundamentals_database": 2}
    assert set(os.listdir(sample_dir)) == before
    home = os.path.expanduser("~")
    assert not any(name.startswith(".quorvex") for name in os.listdir(home))


def test_sample_never_writes_over_other_stores(tmp_path):
    folder = tmp_path / "mine"
    folder.mkdir()
    (folder / "db1.sqlite").write_bytes(b"not a sample")
    with pytest.raises(quorvex.Error, match="db1.sqlite"):
        quorvex.sample(str(folder), force=True)
    assert (folder / "db1.sqlite").read_bytes() == b"not a sample"
