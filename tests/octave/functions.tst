## The functions by name (qvquotes, qvfundamentals, qvhistory, qvbars, qvversion, qvattach,
## qvcant, qvdefaults, qvlayout) against the feed simulator's sample store, compared with the
## module's own answers and with the store read by the sqlite3 shell.
## Needs PCQW32_DATA_DIR (the sample store), QUORVEX_SIM_TOOL (pcqw32-sim), QUORVEX_OCTAVE
## (octave-cli), QUORVEX_BUILD_DIR and QUORVEX_SOURCE_DIR, and a HOME of its own (the
## defaults are kept as preferences there).

%!shared db1, db2, board
%! db1 = fullfile (getenv ("PCQW32_DATA_DIR"), "db1.sqlite");
%! db2 = fullfile (getenv ("PCQW32_DATA_DIR"), "db2.sqlite");
%! board = {"IBM", "MSFT", "KO", "GE", "XOM"};
%! qvdefaults ("reset");
%! ## Edge cases in databases of their own: 8 (quote kind) holds ODD, with 12 history rows
%! ## (the feed completes the last block of eight with zeros) and three bars at the ends of
%! ## the stamp's range; 9 (fundamentals kind) holds dates at their edges.
%! import_csv (8, "quotes", "symbol,qualifier,price_type,last_price\nODD,,12,10.5\n");
%! rows = sprintf ("ODD,,%d,%.2f,100,10,%d,%d,1,12\n", [1:12; 10 + (1:12) / 100; 1:12; 1:12]);
%! import_csv (8, "history", ["symbol,qualifier,day,price,size,hour,minute,second," ...
%!                            "condition,price_type\n" rows]);
%! import_csv (8, "bars", ["symbol,qualifier,price_type,stamp,open,high,low,close,volume\n" ...
%!                         "ODD,,12,0,1,2,0.5,1.5,10\nODD,,12,86399,1,2,0.5,1.5,20\n" ...
%!                         "ODD,,12,4294967295,1,2,0.5,1.5,30\n"]);
%! import_csv (9, "fundamentals", ["symbol,qualifier,div_date,exp_date,mat_date\n" ...
%!                                 "D1,,2024-02-29,1900-03-01,\n" ...
%!                                 "D2,,,,\n" ...
%!                                 "D3,,,2099-12-31,1970-01-01\n"]);
%! ## Dates that do not exist, which the importer refuses but a feed may well deliver, go
%! ## into the store past it.
%! store_query (fullfile (getenv ("PCQW32_DATA_DIR"), "db9.sqlite"), ...
%!              ["update fundamentals set div_date = '2023-02-29', exp_date = '2024-13-01', " ...
%!               "mat_date = '2024-00-10' where security_id = (select id from securities " ...
%!               "where symbol = 'D2'); update fundamentals set div_date = '0000-00-00' " ...
%!               "where security_id = (select id from securities where symbol = 'D3')"]);

## Runs code in a fresh octave-cli with the module and the functions on its path, the
## environment variables env set in front ("NAME=value ..."); returns its exit status and
## everything it wrote.
%!function [status, out] = fresh_octave (env, code)
%!  [status, out] = system (sprintf ("%s '%s' --norc --no-gui --quiet --eval \"addpath('%s'); %s\" 2>&1", ...
%!                                   env, getenv ("QUORVEX_OCTAVE"), getenv ("QUORVEX_BUILD_DIR"), code));
%!endfunction

## Feed calls of code in a fresh process, counted from the simulator's trace.
%!function calls = feed_calls (code)
%!  [status, out] = fresh_octave ("PCQW32_TRACE=1", code);
%!  assert (status, 0, out);
%!  calls = numel (strfind (out, "PCQW32: dbax("));
%!endfunction

%!function check_elements (s, columns)
%!  ## Element k of a struct array holds row k of every column of the module's layout.
%!  names = fieldnames (columns);
%!  assert (fieldnames (s), names);
%!  for k = 1:numel (names)
%!    value = columns.(names{k});
%!    if (iscell (value))
%!      assert ({s.(names{k})}', value);
%!    else
%!      assert (vertcat (s.(names{k})), value);
%!    endif
%!  endfor
%!endfunction

## A first quote is one line, with the module's field names and values; the list forms, the
## qualifier forms and the option names all read the same securities.
%!test
%! q = qvquotes ("IBM");
%! assert (size (q), [1, 1]);
%! check_elements (q, quorvex (2, 1, 1, {"IBM"}, {""}));
%! want = quorvex (2, 1, 3, {"IBM", "AAPL-C190", "MSFT"}, {"", "2406", ""});
%! check_elements (qvquotes ({"IBM", "AAPL-C190", "MSFT"}, "Qualifier", {"", "2406", ""}), want);
%! check_elements (qvquotes ({"IBM"; "AAPL-C190"; "MSFT"}, "qualifier", {"", "2406", ""}', ...
%!                           "DATABASE", 3), want);
%! assert (qvquotes ({"IBM", "AAPL-C190", "MSFT"}, "Qualifier", {"", "2406", ""}, ...
%!                   "OutputType", "columns"), want);
%! assert ([qvquotes({"AAPL", "IBM"}, "Qualifier", "L").LastPrice], ...
%!         quorvex (2, 1, 2, {"AAPL", "IBM"}, {"L", "L"}).LastPrice');
%! empty = qvquotes ({});
%! assert (size (empty), [0, 1]);
%! assert (fieldnames (empty), fieldnames (want));

## Every sample quote through the function: the struct array is the module's columns row by
## row, and the sample looks like a market.
%!test
%! secs = store_query (db1, "select symbol, qualifier from securities order by id");
%! symbols = cellfun (@(r) r{1}, secs, "UniformOutput", false);
%! qualifiers = cellfun (@(r) [r{2:end}], secs, "UniformOutput", false);
%! q = qvquotes (symbols, "Qualifier", qualifiers);
%! assert (size (q), [numel(symbols), 1]);
%! check_elements (q, quorvex (2, 1, numel (symbols), symbols, qualifiers));
%! assert ([q.BidPrice] < [q.AskPrice]);
%! assert ([q.LowPrice] <= [q.LastPrice] & [q.LastPrice] <= [q.HighPrice]);
%! assert ([q.LowPrice] <= [q.OpenPrice] & [q.OpenPrice] <= [q.HighPrice]);
%! ## The high and the low were made between the open and the last trade.
%! extremes = [q.HighPriceTime; q.LowPriceTime];
%! assert (all (extremes >= [q.OpenPriceTime] & extremes <= [q.LastPriceTime]));

## Fundamentals: the dates become date numbers, everything else is the module's.
%!test
%! secs = store_query (db2, ["select symbol, qualifier, div_date, exp_date, mat_date from " ...
%!                           "fundamentals join securities s on s.id = security_id order by s.id"]);
%! symbols = cellfun (@(r) r{1}, secs, "UniformOutput", false);
%! qualifiers = cellfun (@(r) r{2}, secs, "UniformOutput", false);
%! f = qvfundamentals (symbols, "Qualifier", qualifiers);
%! columns = quorvex (6, 2, numel (symbols), symbols, qualifiers);
%! assert (qvfundamentals (symbols, "Qualifier", qualifiers, "OutputType", "columns"), columns);
%! dates = {"DivDate", "ExpDate", "RawMatDate"};
%! for k = 1:3
%!   stored = cellfun (@(r) r{2 + k}, secs, "UniformOutput", false)';
%!   want = NaN (numel (stored), 1);
%!   given = ! cellfun (@isempty, stored);
%!   want(given) = datenum (stored(given), "yyyy-mm-dd");
%!   assert (vertcat (f.(dates{k})), want);
%!   columns.(dates{k}) = want;
%! endfor
%! check_elements (f, columns);
%! assert (f(1).("S&PCode"), columns.("S&PCode")(1));

## Dates at their edges: a leap day, the first and last years a feed date holds in the
## sample's range, and NaN for no date (all zeros) and for days that do not exist.
%!test
%! f = qvfundamentals ({"D1", "D2", "D3"}, "Database", 9);
%! assert ([f.DivDate], [datenum(2024, 2, 29), NaN, NaN]);
%! assert ([f.ExpDate], [datenum(1900, 3, 1), NaN, datenum(2099, 12, 31)]);
%! assert ([f.RawMatDate], [NaN, NaN, datenum(1970, 1, 1)]);
%! assert (qvfundamentals ("D2", "Database", 9, "OutputType", "columns").ExpDate, [2024; 13; 1]);

## A security the feed cannot read costs only its own element: first, middle, last and all,
## with the feed's status, and a warning naming them when one output is asked for.
%!test
%! good = qvquotes (board);
%! for at = [1, 3, numel(board) + 1]
%!   list = [board(1:at - 1), {"NOSUCH"}, board(at:end)];
%!   [q, failed] = qvquotes (list);
%!   assert ([failed.Index], at);
%!   assert ({failed.Symbol, failed.Qualifier, failed.Status}, {"NOSUCH", "", 4});
%!   assert (q([1:at - 1, at + 1:end]), good);
%!   assert (q(at).Symbol, "");
%!   assert (all (isnan ([q(at).LastPrice, q(at).CloseRange, q(at).Volume])));
%!   assert (q(at).BidExchange, "");
%! endfor
%! [q, failed] = qvquotes ({"NO1", "NO2", "IBM"}, "Qualifier", {"X", "", ""}, ...
%!                         "OutputType", "columns");
%! assert ([failed.Index], [1, 2]);
%! assert ({failed.Qualifier}, {"X", ""});
%! assert (q.Symbol, {""; ""; "IBM"});
%! assert (size (q.CloseRange), [3, 2]);
%! [q, failed] = qvquotes ({"NO1", "NO2", "NO3"});
%! assert (numel (failed), 3);
%! assert (all (isnan ([q.LastPrice])));
%! lastwarn ("", "");
%! q = qvquotes ({"IBM", "NOSUCH", "KO"}, "Qualifier", {"", "Q", ""});
%! [message, id] = lastwarn ();
%! assert (id, "quorvex:securitiesFailed");
%! assert (! isempty (strfind (message, "1 of 3 securities: NOSUCH:Q (feed status 4)")));
%! lastwarn ("", "");
%! [q, failed] = qvquotes ({"IBM", "NOSUCH"});
%! assert (lastwarn (), "");
%! [f, failed] = qvfundamentals ({"KO", "NOSUCH", "IBM"});
%! assert ([failed.Index], 2);
%! assert ({f([1, 3]).Name}, {"Coca-Cola Co", "International Business Machines"});
%! assert (isnan (f(2).DivDate) && isempty (f(2).Name));

## The feed's own status comes through; a failure that is not one security's is raised.
%!test
%! [q, failed] = with_faults ("get_record:23:0:KO", @() qvquotes (board));
%! assert ({failed.Symbol, failed.Status}, {"KO", 23});
%! assert ([q([1, 2, 4, 5]).LastPrice], [qvquotes(board([1, 2, 4, 5])).LastPrice]);
%!error id=quorvex:attachFailed with_faults ("attach:12", @() qvquotes (board))

## The normal case is one module call: the same feed calls as the module's own request.
%!test
%! list = "{'IBM','MSFT','KO','GE','XOM'}";
%! assert (feed_calls (["qvquotes(" list ");"]), ...
%!         feed_calls (["quorvex(2, 1, 5, " list ", {'','','','',''});"]));
%! assert (feed_calls (["qvfundamentals(" list ");"]), ...
%!         feed_calls (["quorvex(6, 2, 5, " list ", {'','','','',''});"]));
%! assert (feed_calls ("qvhistory('GE');"), feed_calls ("quorvex(3, 1, 1, {'GE'}, {''});"));
%! assert (feed_calls ("qvbars('GE');"), feed_calls ("quorvex(5, 1, 1, {'GE'}, {''});"));

## Bad inputs: a clear error naming the argument, before any feed call (an attach would
## fail here with quorvex:attachFailed).
%!function raises (id, f)
%!  try
%!    f ();
%!  catch err
%!    assert (err.identifier, id, err.message);
%!    return;
%!  end_try_catch
%!  error ("no error %s", id);
%!endfunction
%!function bad (id, f)
%!  raises (id, @() with_faults ("attach:12", f));
%!endfunction
%!test
%! bad ("quorvex:badSecurities", @() qvquotes (42));
%! bad ("quorvex:badSecurities", @() qvquotes (""));
%! bad ("quorvex:badSecurities", @() qvquotes ({"IBM", 7}));
%! bad ("quorvex:badSecurities", @() qvquotes (["IBM"; "KO "]));
%! bad ("quorvex:badSecurities", @() qvfundamentals ("ABCDEFGHIJKL"));
%! bad ("quorvex:badSecurities", @() qvhistory ({"IBM", "KO"}));
%! bad ("quorvex:badSecurities", @() qvbars ({}));
%! bad ("quorvex:badSecurities", @() qvcant ({""}));
%! bad ("quorvex:badQualifier", @() qvquotes ("IBM", "Qualifier", "12345"));
%! bad ("quorvex:badQualifier", @() qvquotes ({"IBM", "KO"}, "Qualifier", {"", "", ""}));
%! bad ("quorvex:badQualifier", @() qvhistory ("IBM", "Qualifier", 3));
%! bad ("quorvex:badDatabase", @() qvquotes ("IBM", "Database", 1.5));
%! bad ("quorvex:badDatabase", @() qvbars ("IBM", "Database", "1"));
%! bad ("quorvex:badDatabase", @() qvattach (NaN));
%! bad ("quorvex:badDatabase", @() qvversion (2^31));
%! bad ("quorvex:badOption", @() qvquotes ("IBM", "Qualifer", ""));
%! bad ("quorvex:badOption", @() qvfundamentals ("IBM", "Database"));
%! bad ("quorvex:badOption", @() qvcant ("IBM", "OutputType", "struct"));
%! bad ("quorvex:badOutputType", @() qvquotes ("IBM", "OutputType", "matrix"));
%! bad ("quorvex:badOutputType", @() qvhistory ("IBM", "OutputType", "columns"));

## Octave has no table class: the table option says so before any feed call.
%!test
%! bad ("quorvex:noTable", @() qvquotes ("IBM", "OutputType", "table"));
%! bad ("quorvex:noTable", @() qvfundamentals ("IBM", "OutputType", "Table"));
%! bad ("quorvex:noTable", @() qvhistory ("IBM", "OutputType", "table"));
%! bad ("quorvex:noTable", @() qvbars ("IBM", "OutputType", "table"));

## Where the host has tables, 'table' holds the columns of the other layouts. The stand-in
## below takes only identifiers as names, as MATLAB did before R2019b, so S&PCode there is
## S_PCode; it returns the columns as a structure.
%!test
%! shim = tempname ();
%! mkdir (shim);
%! fid = fopen (fullfile (shim, "table.m"), "w");
%! fputs (fid, ["function t = table (varargin)\n" ...
%!              "  assert (varargin{end - 1}, 'VariableNames');\n" ...
%!              "  if (! all (cellfun (@isvarname, varargin{end})))\n" ...
%!              "    error ('table:name', 'variable names must be identifiers');\n" ...
%!              "  endif\n" ...
%!              "  t = cell2struct (varargin(1:end - 2), varargin{end}, 2);\n" ...
%!              "endfunction\n"]);
%! fclose (fid);
%! addpath (shim);
%! unwind_protect
%!   list = {"IBM", "NOSUCH", "KO"};
%!   [t, failed] = qvquotes (list, "OutputType", "table");
%!   assert (t, qvquotes (list, "OutputType", "columns"));
%!   assert ([failed.Index], 2);
%!   t = qvfundamentals (list([1, 3]), "OutputType", "Table");
%!   f = qvfundamentals (list([1, 3]));
%!   assert ({t.S_PCode, t.DivDate, t.Name}, ...
%!           {[f.("S&PCode")]', [f.DivDate]', {f.Name}'});
%!   assert (qvhistory ("ODD", "Database", 8, "OutputType", "table"), ...
%!           qvhistory ("ODD", "Database", 8));
%!   assert (qvbars ("ODD", "Database", 8, "OutputType", "table"), ...
%!           qvbars ("ODD", "Database", 8));
%! unwind_protect_cleanup
%!   rmpath (shim);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (shim, "s");
%! end_unwind_protect

## Defaults: the sample's databases with nothing set; set ones are used by every function
## (database 99 has no store, so its attach fails with status 12), are checked before any is
## kept, hold in a new session, and 'reset' forgets them.
%!test
%! unwind_protect
%!   assert (qvdefaults (), struct ("QuoteDatabase", 1, "FundamentalsDatabase", 2));
%!   qvdefaults ("QuoteDatabase", 99);
%!   assert (qvdefaults ().QuoteDatabase, 99);
%!   assert (numel (qvfundamentals ("IBM")), 1);
%!   assert (qvattach (), false);
%!   for f = {@() qvquotes("IBM"), @() qvhistory("IBM"), @() qvbars("IBM"), ...
%!            @() qvcant("IBM"), @() qvversion()}
%!     raises ("quorvex:attachFailed", f{1});
%!   endfor
%!   assert (qvquotes ("IBM", "Database", 1).LastPrice > 0);
%!   qvdefaults ("QuoteDatabase", 3, "FundamentalsDatabase", 99);
%!   raises ("quorvex:attachFailed", @() qvfundamentals ("IBM"));
%!   raises ("quorvex:badDatabase", @() qvdefaults ("QuoteDatabase", 4, "FundamentalsDatabase", "x"));
%!   assert (qvdefaults (), struct ("QuoteDatabase", 3, "FundamentalsDatabase", 99));
%!   [status, out] = fresh_octave ("", "d = qvdefaults(); exit(d.QuoteDatabase ~= 3 || d.FundamentalsDatabase ~= 99);");
%!   assert (status, 0, out);
%!   assert (strtrim (evalc ("qvdefaults")), ...
%!           "quorvex defaults: quotes in database 3, fundamentals in database 99");
%!   setpref ("quorvex", "QuoteDatabase", "one");
%!   raises ("quorvex:badDatabase", @() qvquotes ("IBM"));
%!   qvdefaults ("reset");
%!   assert (qvdefaults (), struct ("QuoteDatabase", 1, "FundamentalsDatabase", 2));
%! unwind_protect_cleanup
%!   qvdefaults ("reset");
%! end_unwind_protect

## History: named columns as the layout gives them, the time of day, exactly the store's rows.
%!test
%! layout = qvlayout ();
%! h = qvhistory ("GE");
%! assert (fieldnames (h)', [layout.history.names(1:6), {"Time", "Condition"}]);
%! want = store_numbers (db1, ["select day, price, size, hour, minute, second, condition " ...
%!                             "from history join securities s on s.id = security_id " ...
%!                             "where s.symbol = 'GE' order by seq"]);
%! assert ([h.Day, h.Price, h.Size, h.Hour, h.Minute, h.Second, h.Condition], want, 1e-9);
%! assert (h.Time, want(:, 4) / 24 + want(:, 5) / 1440 + want(:, 6) / 86400, 1e-12);
%! assert (qvhistory ("GE", "OutputType", "matrix"), quorvex (3, 1, 1, {"GE"}, {""}));

## The feed's padding of its last block is left out; the matrix keeps it.
%!test
%! [h, found] = qvhistory ("ODD", "Database", 8);
%! assert (found);
%! assert (h.Day', 1:12);
%! assert (h.Price', 10 + (1:12) / 100, 1e-9);
%! assert (h.Time(12), 10 / 24 + 12 / 1440 + 12 / 86400, 1e-12);
%! m = qvhistory ("ODD", "Database", 8, "OutputType", "matrix");
%! assert (size (m), [16, 7]);
%! assert (m(13:16, :), zeros (4, 7));

## No history: no rows; a warning with one output (the module's, or past the last security
## the function's own), none with two.
%!test
%! for symbol = {"NOSUCH", "ZZZZ"}
%!   lastwarn ("", "");
%!   h = qvhistory (symbol{1});
%!   [message, id] = lastwarn ();
%!   assert (id, "quorvex:noHistory");
%!   assert (! isempty (strfind (message, ["'" symbol{1} "'"])));
%!   assert (size (h.Price), [0, 1]);
%!   lastwarn ("", "");
%!   [h, found] = qvhistory (symbol{1});
%!   assert ({found, lastwarn()}, {false, ""});
%! endfor
%! [h, found] = qvhistory ("AAPL", "Qualifier", "L");
%! assert (found, false);
%! assert (warning ("query", "quorvex:noHistory").state, "on");

## Bars: only the bars delivered, the stamp as a date number, the raw matrix on request.
%!test
%! b = qvbars ("IBM");
%! want = store_numbers (db1, ["select stamp, open, high, low, close, volume from bars " ...
%!                             "join securities s on s.id = security_id " ...
%!                             "where s.symbol = 'IBM' and s.qualifier = '' order by seq"]);
%! assert (rows (want), 1003);
%! assert ([b.Stamp, b.Open, b.High, b.Low, b.Close, b.Volume], want, 1e-9);
%! assert (fieldnames (b)', {"Stamp", "Date", "Open", "High", "Low", "Close", "Volume"});
%! assert (datestr (b.Date(1), "yyyy-mm-dd HH:MM:SS"), "2024-01-02 14:30:00");
%! assert (size (qvbars ("IBM", "OutputType", "matrix")), [75000, 6]);
%! ## The sample's minute bars lie in the sessions of the market, weekdays 09:30 to 16:00 in
%! ## New York, 390 a day.
%! spx = qvbars ("$SPX");
%! assert (numel (spx.Close), 75000);
%! days = floor (spx.Date);
%! assert (all (weekday (days) >= 2 & weekday (days) <= 6));
%! [~, ~, day] = unique (days);
%! assert (accumarray (day, 1)(1:end - 1), repmat (390, max (day) - 1, 1));
%! minute = round ((spx.Date - days) * 1440);
%! assert ([min(minute), max(minute)], [13 * 60 + 30, 20 * 60 + 59]);
%! b = qvbars ("ODD", "Database", 8);
%! assert (b.Date, [datenum(1970, 1, 1); datenum(1970, 1, 1, 23, 59, 59); ...
%!                  datenum(2106, 2, 7, 6, 28, 15)], 1e-9);
%! assert (b.Volume, [10; 20; 30]);

## No bars (PEP has none, NOSUCH is unknown): no rows, the feed's status in the warning.
%!test
%! lastwarn ("", "");
%! b = qvbars ("PEP");
%! [message, id] = lastwarn ();
%! assert (id, "quorvex:noBars");
%! assert (! isempty (strfind (message, "PEP (feed status 9)")));
%! assert (size (b.Close), [0, 1]);
%! lastwarn ("", "");
%! [b, found] = qvbars ("NOSUCH");
%! assert ({found, lastwarn(), size(b.Date)}, {false, "", [0, 1]});

## CANT records, the attach check and the version.
%!test
%! stored = str2double (store_query (db1, ["select count(*) from cant_records c join " ...
%!                                         "securities s on s.id = c.security_id " ...
%!                                         "where s.symbol = 'MSFT'"]){1}{1});
%! assert (stored, 0);
%! [found, status] = qvcant ({"IBM", "MSFT", "AAPL"});
%! assert ([found, status], [true, 0; false, 4; true, 0]);
%! assert (qvcant ("IBM", "Database", 2), true);
%! assert (qvattach ());
%! assert (qvattach ("Database", 2));
%! [ok, message] = qvattach (99);
%! assert (ok, false);
%! assert (strncmp (message, "quorvex: Database Attach failed with error 12 (", 47));
%! assert (qvversion (), quorvex (4, 1));
%! assert (qvversion (2), quorvex (4, 2));

## qvsample writes the sample into a folder whatever its name holds, and points the feed at it.
%!test
%! data = getenv ("PCQW32_DATA_DIR");
%! folder = [tempname() " it's $HOME `x`"];
%! unwind_protect
%!   assert (qvsample (folder), folder);
%!   assert (getenv ("PCQW32_DATA_DIR"), folder);
%!   assert (qvquotes ("IBM").Symbol, "IBM");
%! unwind_protect_cleanup
%!   setenv ("PCQW32_DATA_DIR", data);
%!   confirm_recursive_rmdir (false, "local");
%!   if (exist (folder, "dir"))
%!     rmdir (folder, "s");
%!   endif
%! end_unwind_protect

## qvsample never writes over data: an untouched sample is written again; one imported into
## is refused, saying why, until Force replaces it; a store of another kind is never replaced.
%!test
%! data = getenv ("PCQW32_DATA_DIR");
%! folder = tempname ();
%! unwind_protect
%!   qvsample (folder);
%!   qvsample (folder);
%!   import_csv (1, "history", "symbol,day,price,price_type\nIBM,1,1,12\n");
%!   try
%!     qvsample (folder);
%!     error ("no error");
%!   catch err
%!     assert (err.identifier, "quorvex:sampleFailed");
%!     assert (! isempty (strfind (err.message, "db1.sqlite is a sample into which data has since been imported")), err.message);
%!   end_try_catch
%!   qvsample (folder, "Force", true);
%!   copyfile (fullfile (data, "db8.sqlite"), fullfile (folder, "db5.sqlite"));
%!   try
%!     qvsample ("Force", true);
%!     error ("no error");
%!   catch err
%!     assert (! isempty (strfind (err.message, "db5.sqlite was not written by pcqw32-sim generate")), err.message);
%!   end_try_catch
%! unwind_protect_cleanup
%!   setenv ("PCQW32_DATA_DIR", data);
%!   confirm_recursive_rmdir (false, "local");
%!   if (exist (folder, "dir"))
%!     rmdir (folder, "s");
%!   endif
%! end_unwind_protect
