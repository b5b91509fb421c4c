## Nothing silent: a bar series or a history cut by the feed says so and how it ended, an
## empty qualifier means the security without one, a quote read from a database of another
## kind is named, a failed attach says why, and a long list of failures stays readable.
## Against the sample store in PCQW32_DATA_DIR and a store imported beside it (database 10);
## QUORVEX_SIM_TOOL names pcqw32-sim.

%!shared data
%! data = getenv ("PCQW32_DATA_DIR");
%! qvdefaults ("reset");
%! ## Database 10: STK3 has a quote but no history and STK3/L has eight prints; OPT exists
%! ## only under the qualifiers 2406 and 2409, with prices 1 and 2.
%! import_csv (10, "quotes", ["symbol,qualifier,price_type,last_price\n" ...
%!                            "STK3,,12,10\nSTK3,L,12,10\nOPT,2406,12,1\nOPT,2409,12,2\n"]);
%! rows = "";
%! for s = {{"STK3", "L", 10}, {"OPT", "2406", 1}, {"OPT", "2409", 2}}
%!   for minute = 1:8
%!     rows = [rows, sprintf("%s,%s,3,%d,100,10,%d,0,1,12\n", s{1}{:}, minute)];
%!   endfor
%! endfor
%! import_csv (10, "history", ["symbol,qualifier,day,price,size,hour,minute,second," ...
%!                             "condition,price_type\n" rows]);

%!function yes = starts_with (text, prefix)
%!  yes = strncmp (text, prefix, numel (prefix));
%!endfunction

## The warning a call raised, "" for none.
%!function [message, id] = warned_by (f)
%!  lastwarn ("", "");
%!  evalc ("f ();");
%!  [message, id] = lastwarn ();
%!endfunction

## A bar series cut by a failed next-block read: the rows read, a warning naming the status
## and the rows, and the status as an output, which also holds back the warning. A whole
## series ends on the feed's end of data (9 for the simulator) without a word.
%!test
%! [message, id] = warned_by (@() with_faults ("next_block:4:100", @() qvbars ("$SPX")));
%! assert (id, "quorvex:seriesIncomplete");
%! assert (message, ["qvbars: the bar series of $SPX ended on feed status 4 after 800 rows, " ...
%!                   "not on the end of the data (status 9): it may be incomplete"]);
%! lastwarn ("", "");
%! [b, found, ended] = with_faults ("next_block:14:100", @() qvbars ("$SPX"));
%! assert ({numel(b.Close), found, ended, lastwarn()}, {800, true, 14, ""});
%! [b, found, ended] = qvbars ("$SPX");
%! assert ({numel(b.Close), found, ended}, {75000, true, qvlayout().bars.endStatus});
%! [matrix, ended] = quorvex (5, 1, 1, {"GE"}, {""});
%! assert ({size(matrix), ended}, {[75000, 6], 9});
%! assert (warned_by (@() qvbars ("GE")), "");
%! [b, found, ended] = qvbars ("NOSUCH");
%! assert ({numel(b.Close), found, ended}, {0, false, 4});

## A history scan cut by a failed delivery: the rows so far, the feed's line, a warning with
## the status and the rows, and how the scan ended as an output.
%!test
%! f = @() with_faults ("delivery:5:100", @() qvhistory ("MSFT"));
%! lastwarn ("", "");
%! printed = evalc ("h = f ();");
%! [message, id] = lastwarn ();
%! assert (numel (h.Price), 792);
%! assert (! isempty (strfind (printed, "DBA_GET_APPROX failed with code 5")));
%! assert (id, "quorvex:historyIncomplete");
%! assert (message, ["quorvex: The history of symbol 'MSFT' with qualifier '' is " ...
%!                   "incomplete: the feed reported status 5 after 792 rows"]);
%! lastwarn ("", "");
%! [h, found, ended] = with_faults ("delivery:5:100", @() qvhistory ("MSFT"));
%! assert ({numel(h.Price), found, ended, lastwarn()}, {792, true, [5, 2], ""});
%! ## Whole: ended by the next security's block, or past the last security by the end of the
%! ## data (status 9, event 3).
%! [h, found, ended] = qvhistory ("MSFT");
%! assert ({numel(h.Price), ended(1)}, {120000, 0});
%! [h, found, ended] = qvhistory ("ZZZZZ");
%! assert ({numel(h.Price), found, ended}, {0, false, [9, 3]});
%! [message, id] = warned_by (@() qvhistory ("ZZZZZ"));
%! assert (id, "quorvex:noHistory");
%! assert (starts_with (message, "quorvex: No history for symbol 'ZZZZZ'"));

## No qualifier means the security without one, never the first one the feed delivers;
## the warning names where the feed holds the symbol's history.
%!test
%! [message, id] = warned_by (@() qvhistory ("STK3", "Database", 10));
%! assert (id, "quorvex:noHistory");
%! assert (message, ["quorvex: No history for symbol 'STK3' with qualifier '': the feed " ...
%!                   "holds none for this security; the feed holds history under qualifier 'L'"]);
%! [h, found] = qvhistory ("STK3", "Database", 10);
%! assert ({numel(h.Price), found}, {0, false});
%! assert (qvhistory ("STK3", "Database", 10, "Qualifier", "L").Price, repmat (10, 8, 1));
%! [message, id] = warned_by (@() qvhistory ("OPT", "Database", 10));
%! assert (! isempty (strfind (message, "under qualifier '2406'")));
%! assert (qvhistory ("OPT", "Database", 10, "Qualifier", "2409").Price, repmat (2, 8, 1));

## A quote read from the fundamentals database has no Symbol: the warning names the
## database; quotes from the quote database, and securities that failed, raise none.
%!test
%! [message, id] = warned_by (@() qvquotes ({"IBM", "KO"}, "Database", 2));
%! assert (id, "quorvex:suspectDatabase");
%! assert (starts_with (message, "qvquotes: the quotes of IBM, KO read from database 2 have no Symbol"));
%! assert (warned_by (@() qvquotes ({"IBM", "KO"})), "");
%! [q, failed] = qvquotes ({"NOSUCH"}, "Database", 2);
%! assert (numel (failed), 1);

## A failed attach says why where the feed library can tell (the simulator names the file);
## the module's message stays in front, and the feed's description is the last failure's.
%!test
%! [ok, message] = qvattach (99);
%! assert (ok, false);
%! assert (starts_with (message, "quorvex: Database Attach failed with error 12 ("));
%! assert (! isempty (strfind (message, "db99.sqlite")));
%! try
%!   qvquotes ("IBM", "Database", 99);
%!   error ("no error");
%! catch err
%!   assert (err.identifier, "quorvex:attachFailed");
%!   assert (! isempty (strfind (err.message, "db99.sqlite")));
%! end_try_catch
%! assert (! isempty (strfind (quorvex ("feedError"), "db99.sqlite")));
%! quorvex (1, 1);
%! assert (quorvex ("feedError"), "");

## Without securities, every function that needs them says so; a long list of failures
## names the first five and counts the rest.
%!test
%! for f = {@qvquotes, @qvfundamentals, @qvhistory, @qvbars, @qvcant}
%!   try
%!     f{1} ();
%!     error ("no error");
%!   catch err
%!     assert (err.identifier, "quorvex:badSecurities", err.message);
%!   end_try_catch
%! endfor
%! list = arrayfun (@(k) sprintf ("NO%d", k), 1:12, "UniformOutput", false);
%! [message, id] = warned_by (@() qvquotes ([{"IBM"}, list]));
%! assert (id, "quorvex:securitiesFailed");
%! assert (message, ["qvquotes: no quote for 12 of 13 securities: NO1 (feed status 4), " ...
%!                   "NO2 (feed status 4), NO3 (feed status 4), NO4 (feed status 4), " ...
%!                   "NO5 (feed status 4) and 7 more (the second output lists them all)"]);

## The defaults take whole numbers from 0, and every form shows them without an output.
%!test
%! unwind_protect
%!   try
%!     qvdefaults ("QuoteDatabase", -4);
%!     error ("no error");
%!   catch err
%!     assert (err.identifier, "quorvex:badDatabase");
%!   end_try_catch
%!   assert (strtrim (evalc ("qvdefaults ('QuoteDatabase', 0)")), ...
%!           "quorvex defaults: quotes in database 0, fundamentals in database 2");
%! unwind_protect_cleanup
%!   qvdefaults ("reset");
%! end_unwind_protect
