"""quorvex: market data from the PCQW32 feed library, as pandas frames.

The same module as the host's (MATLAB, GNU Octave), with its exactness, its first contact with
the vendor's library and its failure handling: each function is one request of the module,
whose results come back without a copy as NumPy columns, shaped here into frames with real
types. A security the feed cannot read is a row with its ``status``; every other failure raises
a subclass of ``quorvex.Error``; an empty or incomplete result warns.

    >>> import quorvex
    >>> quorvex.sample()                      # the feed simulator's sample stores
    >>> quorvex.quotes("IBM")[["LastPrice", "BidPrice", "AskPrice"]]

Securities are a ``str``, a list of ``str`` or a pandas Index or Series of them; a symbol has
at most 11 characters, a qualifier at most 4. Databases default to those of ``set_defaults``
(quotes 1, fundamentals 2, the sample's), kept for the process only: nothing is written to
disk but by ``sample()``.

The feed library is ``libPCQW32.so`` (``PCQW32.dll`` on Windows) beside this package, where
the simulator's lies, or through ``LD_LIBRARY_PATH``; a 32-bit ``PCQW32.dll`` under a 64-bit
Python is reached through the feed helper beside it (``QUORVEX_FEED_ISOLATION``). The
simulator reads ``PCQW32_DATA_DIR`` and replays recordings from there (``PCQW32_RECORD_*``).
"""

import os
import subprocess
import sys
import warnings

from . import _core
from ._errors import (  # noqa: F401  (the package's own names)
    ApproxError, AttachError, BadInputError, CapacityError, DetachError, Error,
    FeedLibraryError, FeedStalledError, HelperError, HelperLostError, ModuleError, NextError,
    NoBarsWarning, NoHistoryWarning, HistoryIncompleteWarning, QuorvexWarning, RetrievalError,
    SeriesIncompleteWarning, SuspectDatabaseWarning, VersionError, ERRORS, WARNINGS)

__all__ = [
    "quotes", "fundamentals", "history", "bars", "version", "attach", "cant", "set_defaults",
    "get_defaults", "sample", "Error", "AttachError", "DetachError", "VersionError",
    "RetrievalError", "ApproxError", "NextError", "CapacityError", "FeedLibraryError",
    "FeedStalledError", "HelperLostError", "HelperError", "BadInputError", "QuorvexWarning",
    "NoHistoryWarning", "HistoryIncompleteWarning", "SeriesIncompleteWarning", "NoBarsWarning",
    "SuspectDatabaseWarning",
]

HISTORY_COLUMNS = tuple(_core.HISTORY_COLUMNS)
BAR_COLUMNS = tuple(_core.BAR_COLUMNS)

_FACTORY_DEFAULTS = {"quote_database": 1, "fundamentals_database": 2}
_defaults = dict(_FACTORY_DEFAULTS)

# ---- Arguments, checked before any feed call ----------------------------------------------


def _securities(value, name="securities", many=True):
    if isinstance(value, str):
        items = [value]
    elif hasattr(value, "tolist") and not isinstance(value, (bytes, bytearray)):
        items = list(value.tolist())  # a pandas Index or Series, a NumPy array
    elif isinstance(value, (list, tuple)):
        items = list(value)
    else:
        raise TypeError(f"{name} must be a str, a list of str or a pandas Index or Series of "
                        f"them, not {type(value).__name__}")
    if not many and len(items) != 1:
        raise ValueError(f"{name}: give exactly one security, not {len(items)}")
    if _all_fit(items, _core.SYMBOL_LENGTH, empty=False):
        return items
    # One of them does not: find it, to name it.
    for k, item in enumerate(items):
        if not isinstance(item, str):
            raise TypeError(f"{name}[{k}] must be a str, not {type(item).__name__}")
        if not item:
            raise ValueError(f"{name}[{k}] is an empty text")
        _check_text(item, f"{name}[{k}]", _core.SYMBOL_LENGTH, "a symbol")
    return items


def _all_fit(items, most, empty):
    """Whether every item is a str of at most `most` characters a feed key can carry (and not
    empty, unless `empty`): one pass over the whole list, the common case of a long one."""
    try:
        joined = "".join(items)
        joined.encode("latin-1")
    except (TypeError, UnicodeEncodeError):
        return False
    return (not items or max(map(len, items)) <= most) and (empty or all(items))


def _check_text(text, name, most, what):
    if len(text) > most:
        raise ValueError(f"{name} ({text!r}) has {len(text)} characters; {what} has at most "
                         f"{most}")
    try:
        text.encode("latin-1")
    except UnicodeEncodeError:
        raise ValueError(f"{name} ({text!r}) holds a character a feed key cannot carry") from None


def _qualifiers(value, count):
    if value is None:
        return [""] * count
    if isinstance(value, str):
        _check_text(value, "qualifier", _core.QUALIFIER_LENGTH, "a qualifier")
        return [value] * count
    elif isinstance(value, (list, tuple)) or hasattr(value, "tolist"):
        items = list(value.tolist() if hasattr(value, "tolist") else value)
        if len(items) != count:
            raise ValueError(f"qualifier: one per security ({count}), not {len(items)}")
        if _all_fit(items, _core.QUALIFIER_LENGTH, empty=True):
            return items
    else:
        raise TypeError(f"qualifier must be a str or one str per security, not "
                        f"{type(value).__name__}")
    for k, item in enumerate(items):
        if item is None:
            items[k] = ""
            continue
        if not isinstance(item, str):
            raise TypeError(f"qualifier[{k}] must be a str, not {type(item).__name__}")
        _check_text(item, f"qualifier[{k}]", _core.QUALIFIER_LENGTH, "a qualifier")
    return items


def _database(value, kind, name="database"):
    if value is None:
        return _defaults[kind]
    if isinstance(value, bool) or not isinstance(value, int):
        # NumPy integers are ints to the user too.
        if hasattr(value, "__index__") and not isinstance(value, bool):
            value = int(value.__index__())
        else:
            raise TypeError(f"{name} must be an int (a feed database number such as 1), not "
                            f"{type(value).__name__}")
    if value < 0 or value > 2147483647:
        raise ValueError(f"{name} must be a whole number from 0 to 2147483647, not {value}")
    return value


def _output(value, allowed):
    if value not in allowed:
        raise ValueError(f"output must be one of {', '.join(map(repr, allowed))}, not {value!r}")
    return value


# ---- Requests -------------------------------------------------------------------------------


def _report(reports, held=()):
    for kind, identifier, text in reports:
        if kind == "print":
            sys.stdout.write(text)
        elif identifier not in held:
            warnings.warn(text, WARNINGS.get(identifier, QuorvexWarning), stacklevel=4)


def _status_of(message):
    digits = message.rstrip(". \n")
    at = len(digits)
    while at > 0 and (digits[at - 1].isdigit() or (digits[at - 1] == "-" and at == len(digits))):
        at -= 1
    try:
        return int(digits[at:])
    except ValueError:
        return None


def _request(code, database, count=0, symbols=(), qualifiers=(), outputs=1, held=()):
    try:
        results, reports = _core.request(code, database, count, list(symbols), list(qualifiers),
                                         outputs)
    except ModuleError as raised:
        identifier, message, description, reports = raised.args
        _report(reports, held)
        cls = ERRORS.get(identifier, Error)
        if cls is AttachError and description:
            # As the host's functions say it: the feed's own words of why.
            message = f"{message} ({description}; see 'Feed statuses' in the README)"
        raise cls(message, identifier, _status_of(raised.args[1]), description) from None
    _report(reports, held)
    return results


# ---- Conversions ----------------------------------------------------------------------------

_QUOTE_INTEGERS = {"PriceType", "SecCategory", "Status", "News", "LastTick", "OpenTick",
                   "YesterdayTick", "BidTick", "AskTick", "QuoteIndicator", "TradeIndicator",
                   "ExDividendToday", "SplitToday"}
_FUNDAMENTALS_INTEGERS = {"LastUpdate", "S&PCode", "PriceType", "SecCategory", "VolumeFlag",
                          "DivFreq"}
_HISTORY_INTEGERS = {"Day", "Hour", "Minute", "Second", "Condition"}


def _integers(column, failed):
    """Codes and flags as int64; where a row failed (NaN), as the nullable Int64."""
    import numpy as np
    import pandas as pd
    if failed.any():
        return pd.array(column, dtype="Int64")
    return column.astype(np.int64)


def _time_of_day(column):
    """Fractions of a day (hours/24 + minutes/1440) as times of day; a value the feed marks as
    no time (below 0, or its minutes byte) is NaT."""
    import numpy as np
    valid = (column >= 0) & (column < 1)
    minutes = np.rint(np.where(valid, column, 0.0) * 1440.0).astype(np.int64)
    times = (minutes * 60_000_000_000).view("m8[ns]")
    times[~valid] = np.timedelta64("NaT")
    return times


def _dates(rows):
    """Three rows (year, month, day) per security as dates; no date or a date no calendar has
    is NaT."""
    import numpy as np
    import pandas as pd
    year, month, day = rows[0], rows[1], rows[2]
    ok = ~(np.isnan(year) | np.isnan(month) | np.isnan(day)) & (year > 0) & (month > 0) & (day > 0)
    frame = pd.DataFrame({"year": np.where(ok, year, 2000).astype(np.int64),
                          "month": np.where(ok, month, 1).astype(np.int64),
                          "day": np.where(ok, day, 1).astype(np.int64)})
    dates = pd.to_datetime(frame, errors="coerce")
    return dates.where(ok).to_numpy(dtype="datetime64[ns]")


def _snapshot_frame(columns, status, symbols, qualifiers, integers, dates):
    import numpy as np
    import pandas as pd
    failed = status != 0
    data = {}
    for name, value in columns.items():
        if isinstance(value, list):
            data[name] = value
        elif name in dates:
            data[name] = _dates(value)
        elif value.ndim == 2 and value.shape[1] == 2:
            data[name + "1"] = value[:, 0]
            data[name + "2"] = value[:, 1]
        elif name in integers:
            data[name] = _integers(value[:, 0], failed)
        elif name.endswith("PriceTime"):
            data[name] = _time_of_day(value[:, 0])
        else:
            data[name] = value[:, 0]
    data["qualifier"] = qualifiers
    data["status"] = status.astype(np.int64)
    return pd.DataFrame(data, index=pd.Index(symbols, name="security"), copy=False)


def _trimmed(matrix):
    """The rows up to the last one that is not all zeros: the rows of zeros with which the feed
    completes its last block of eight, or the bar matrix's rows after the last bar."""
    import numpy as np
    # From the end back, a few thousand rows at a time: a history's zeros lie in its last
    # block, so the whole matrix is not looked at.
    end = matrix.shape[0]
    while end > 0:
        start = max(0, end - 4096)
        nonzero = np.flatnonzero(matrix[start:end].any(axis=1))
        if nonzero.size:
            return matrix[: start + nonzero[-1] + 1]
        end = start
    return matrix[:0]


# ---- The functions --------------------------------------------------------------------------


def _snapshot(code, securities, qualifier, database, output, errors, kind):
    symbols = _securities(securities)
    qualifiers = _qualifiers(qualifier, len(symbols))
    number = _database(database, kind)
    _output(output, ("frame", "arrays"))
    if errors not in ("status", "raise"):
        raise ValueError(f"errors must be 'status' or 'raise', not {errors!r}")
    if errors == "raise":
        (columns,) = _request(code, number, len(symbols), symbols, qualifiers, 1)
        import numpy as np
        status = np.zeros(len(symbols))
    else:
        columns, status = _request(code, number, len(symbols), symbols, qualifiers, 2)
        status = status[:, 0]
    return columns, status, symbols, qualifiers, number


def quotes(securities, qualifier=None, database=None, *, output="frame", errors="status"):
    """The current quotes of securities, one row per security in the order asked.

    quotes("IBM"), quotes(["IBM", "MSFT"]), quotes("AAPL-C190", qualifier="2406")

    Returns a DataFrame indexed by the symbols as asked, with the module's 45 fields as columns:
    prices (LastPrice, BidPrice, ...; scaled by the record's price type) and sizes as float64;
    codes, ticks (-1, 0, +1) and flags (0, 1) as int64; times of day (LastPriceTime, ...) as
    timedelta64 (NaT for the feed's mark of no time); texts (Symbol, the exchanges) as str;
    CloseRange as CloseRange1 and CloseRange2. The column ``status`` is the feed's status for
    each security, 0 for one read: a security the feed cannot read does not sink the list, its
    row holds NaN, NaT and empty texts (integer columns become nullable). ``errors="raise"``
    raises RetrievalError for the first one instead. A quote the feed read without a Symbol
    text is most likely a record of another kind (a fundamentals database): it warns
    SuspectDatabaseWarning. ``output="arrays"`` gives the module's own columns, a dict of NumPy
    arrays and lists of str, with ``status``, without pandas. ``database`` defaults to the quote
    database of set_defaults.
    """
    columns, status, symbols, qualifiers, number = _snapshot(
        2, securities, qualifier, database, output, errors, "quote_database")
    blank = [symbols[k] for k in range(len(symbols))
             if status[k] == 0 and columns["Symbol"][k] == ""]
    if blank:
        shown = ", ".join(blank[:5]) + (f" and {len(blank) - 5} more" if len(blank) > 5 else "")
        warnings.warn(f"quorvex.quotes: the quotes of {shown} read from database {number} have "
                      f"no Symbol: database {number} most likely holds another kind of record "
                      f"than quotes (fundamentals?), and the numbers are meaningless",
                      SuspectDatabaseWarning, stacklevel=2)
    if output == "arrays":
        columns["status"] = status
        return columns
    return _snapshot_frame(columns, status, symbols, qualifiers, _QUOTE_INTEGERS, ())


def fundamentals(securities, qualifier=None, database=None, *, output="frame", errors="status"):
    """The fundamentals of securities, one row per security in the order asked.

    fundamentals(["KO", "IBM"])

    Returns a DataFrame like quotes(): the module's 24 fields as columns, prices (ClosePrice,
    HistHigh, HistLow, StrikePrice; scaled), EPS, the dividends, Beta and the counts as float64,
    codes as int64, Name, BaseItem and CusipNumber as str, and DivDate, ExpDate and RawMatDate
    as datetime64[ns] (NaT for no date, or a date no calendar has), and ``status``.
    ``database`` defaults to the fundamentals database of set_defaults. See quotes() for
    ``errors`` and ``output``.
    """
    columns, status, symbols, qualifiers, _ = _snapshot(
        6, securities, qualifier, database, output, errors, "fundamentals_database")
    if output == "arrays":
        columns["status"] = status
        return columns
    return _snapshot_frame(columns, status, symbols, qualifiers, _FUNDAMENTALS_INTEGERS,
                           ("DivDate", "ExpDate", "RawMatDate"))


def history(security, qualifier=None, database=None, *, found=False, output="frame"):
    """The stored trade history of one security, in the feed's order.

    history("MSFT"), history("AAPL-C190", qualifier="2406")

    Returns a DataFrame with the columns of the feed's layout: Day (of the month), Price
    (scaled), Size (float64), Hour, Minute, Second and Condition (int64), and Time, the time of
    day (timedelta64). The rows of zeros with which the feed completes its last block of eight
    are left out. A security without history gives no rows and warns NoHistoryWarning, unless
    ``found=True``, which returns (frame, found). A scan the feed cut with a failed delivery
    returns the rows before it, prints the feed's line and warns HistoryIncompleteWarning.
    ``frame.attrs["ended"]`` is how the scan ended: (status, event code) of the delivery that
    ended it. ``output="arrays"`` gives a dict of NumPy columns. ``database`` defaults to the
    quote database.
    """
    symbols = _securities(security, "security", many=False)
    qualifiers = _qualifiers(qualifier, 1)
    number = _database(database, "quote_database")
    _output(output, ("frame", "arrays"))
    held = ("quorvex:noHistory",) if found else ()
    matrix, ended = _request(3, number, 1, symbols, qualifiers, 2, held)
    matrix = _trimmed(matrix)
    ended = (int(ended[0, 0]), int(ended[0, 1]))
    arrays = {name: matrix[:, k] for k, name in enumerate(HISTORY_COLUMNS)}
    if output == "arrays":
        arrays["ended"] = ended
        result = arrays
    else:
        import numpy as np
        import pandas as pd
        data = {name: (column.astype(np.int64) if name in _HISTORY_INTEGERS else column)
                for name, column in arrays.items()}
        # Whole seconds of the day, in integers: exact, and a pass over the columns rather than
        # pandas' conversion of floats.
        nanoseconds = data["Hour"] * 3600
        nanoseconds += data["Minute"] * 60
        nanoseconds += data["Second"]
        nanoseconds *= 1_000_000_000
        data["Time"] = nanoseconds.view("timedelta64[ns]")
        # The columns as they are: no copy into pandas' consolidated blocks.
        result = pd.DataFrame(data, copy=False)
        result.attrs["ended"] = ended
    return (result, matrix.shape[0] > 0) if found else result


def bars(security, qualifier=None, database=None, *, tz="UTC", found=False, output="frame"):
    """The bar series of one security: only the bars the feed delivered.

    bars("$SPX"), bars("$SPX", tz="America/New_York")

    Returns a DataFrame indexed by the bars' start (a DatetimeIndex from the stamp, seconds since
    1970-01-01 UTC, tz-aware in ``tz``), with the columns Open, High, Low, Close (scaled by each
    bar's price type) and Volume (int64). A security the feed has no bars of gives no rows and
    warns NoBarsWarning, unless ``found=True``, which returns (frame, found). The feed ends a
    series with a status of its next-block read: a series that ends on another than the end of
    its data (9 for the feed simulator) may be incomplete and warns SeriesIncompleteWarning;
    ``frame.attrs["ended"]`` is that status. ``output="arrays"`` gives a dict of NumPy columns
    with Stamp.
    """
    symbols = _securities(security, "security", many=False)
    qualifiers = _qualifiers(qualifier, 1)
    number = _database(database, "quote_database")
    _output(output, ("frame", "arrays"))
    import numpy as np
    try:
        matrix, ended = _request(5, number, 1, symbols, qualifiers, 2)
        ended = int(ended)
        matrix = _trimmed(matrix)
    except RetrievalError as error:
        if not found:
            warnings.warn(f"quorvex.bars: no bars of {symbols[0]} (feed status {error.status})",
                          NoBarsWarning, stacklevel=2)
        matrix = np.zeros((0, len(BAR_COLUMNS)))
        ended = error.status
    else:
        if ended != _core.BAR_END_STATUS:
            warnings.warn(f"quorvex.bars: the bar series of {symbols[0]} ended on feed status "
                          f"{ended} after {matrix.shape[0]} rows, not on the end of the data "
                          f"(status {_core.BAR_END_STATUS}): it may be incomplete",
                          SeriesIncompleteWarning, stacklevel=2)
    arrays = {name: matrix[:, k] for k, name in enumerate(BAR_COLUMNS)}
    if output == "arrays":
        arrays["ended"] = ended
        result = arrays
    else:
        import pandas as pd
        index = pd.DatetimeIndex(pd.to_datetime(arrays.pop("Stamp").astype(np.int64), unit="s",
                                                utc=True), name="Stamp").tz_convert(tz)
        arrays["Volume"] = arrays["Volume"].astype(np.int64)
        result = pd.DataFrame(arrays, index=index, copy=False)
        result.attrs["ended"] = ended
    return (result, matrix.shape[0] > 0) if found else result


def version(database=None):
    """The feed library's version: a dict of majorversion and minorversion (int), release and
    serialnumber (str)."""
    (value,) = _request(4, _database(database, "quote_database"))
    return {"majorversion": int(value["majorversion"][0, 0]),
            "minorversion": int(value["minorversion"][0, 0]),
            "release": value["release"], "serialnumber": value["serialnumber"]}


def attach(database=None):
    """Whether the feed attaches the database: True, or False when it refuses (every other
    failure raises)."""
    try:
        _request(1, _database(database, "quote_database"))
    except AttachError:
        return False
    return True


def cant(securities, qualifier=None, database=None):
    """The CANT record read of each security: a DataFrame indexed by the symbols, with
    ``found`` (bool) and ``status`` (the feed's status, 0 for a record read)."""
    import pandas as pd
    symbols = _securities(securities)
    qualifiers = _qualifiers(qualifier, len(symbols))
    number = _database(database, "quote_database")
    status = []
    for symbol, qual in zip(symbols, qualifiers):
        try:
            _request(7, number, 1, [symbol], [qual])
            status.append(0)
        except RetrievalError as error:
            status.append(error.status)
    frame = pd.DataFrame({"found": [s == 0 for s in status], "status": status},
                         index=pd.Index(symbols, name="security"))
    return frame


def set_defaults(quote_database=None, fundamentals_database=None):
    """Sets the default databases, for this process only (nothing is written to disk), and
    returns them. With no arguments, back to the sample's: quotes 1, fundamentals 2."""
    if quote_database is None and fundamentals_database is None:
        _defaults.update(_FACTORY_DEFAULTS)
        return dict(_defaults)
    new = dict(_defaults)
    if quote_database is not None:
        new["quote_database"] = _database(quote_database, "quote_database", "quote_database")
    if fundamentals_database is not None:
        new["fundamentals_database"] = _database(fundamentals_database, "fundamentals_database",
                                                 "fundamentals_database")
    _defaults.update(new)
    return dict(_defaults)


def get_defaults():
    """The default databases: a dict of quote_database and fundamentals_database."""
    return dict(_defaults)


def _package_file(name):
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), name)


def sample(folder=None, force=False):
    """Writes the feed simulator's sample stores and points the simulator at them.

    Into ``folder``, else PCQW32_DATA_DIR, else the folder pcqw32-data beside the simulator's
    library in this package; sets PCQW32_DATA_DIR to it for this process and returns it. It
    never writes over a store it did not write as a sample (a recording, your own store), nor a
    sample imported into unless ``force=True``: it raises quorvex.Error saying why.
    """
    tool = _package_file("pcqw32-sim.exe" if os.name == "nt" else "pcqw32-sim")
    if folder is None:
        folder = os.environ.get("PCQW32_DATA_DIR") or _package_file("pcqw32-data")
    folder = os.fspath(folder)
    command = [tool, "generate"] + (["--force"] if force else []) + [folder]
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise Error(f"quorvex.sample: {' '.join(command)} failed: "
                    f"{(done.stderr or done.stdout).strip()}", "quorvex:sampleFailed")
    os.environ["PCQW32_DATA_DIR"] = folder
    return folder
