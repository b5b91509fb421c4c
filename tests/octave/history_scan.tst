## Request 3 against the feed simulator: every history of the sample comes back exactly as the
## store holds it (read a second way, with the sqlite3 shell), and never another security's.
## Needs PCQW32_DATA_DIR (the sample store) and QUORVEX_SIM_TOOL (pcqw32-sim).

%!shared data, db1, tool
%! data = getenv ("PCQW32_DATA_DIR");
%! db1 = fullfile (data, "db1.sqlite");
%! tool = getenv ("QUORVEX_SIM_TOOL");

%!function h = stored_history (db, symbol, qualifier)
%!  h = store_numbers (db, sprintf (["select day, price, size, hour, minute, second, " ...
%!                                   "condition from history join securities s on " ...
%!                                   "s.id = security_id where s.symbol = '%s' and " ...
%!                                   "s.qualifier = '%s' order by seq"], symbol, qualifier));
%!endfunction

%!function [h, printed, id] = scan (symbol, qualifier)
%!  lastwarn ("", "");
%!  printed = evalc ("h = quorvex (3, 1, 0, {symbol}, {qualifier});");
%!  [~, id] = lastwarn ();
%!endfunction

%!test
%! ## Every security of the sample that holds history: exactly its own rows, no warning.
%! held = store_query (db1, ["select distinct s.symbol, s.qualifier from history join " ...
%!                           "securities s on s.id = security_id"]);
%! assert (numel (held) >= 9);
%! for k = 1:numel (held)
%!   [symbol, qualifier] = deal (held{k}{1}, [held{k}{2:end}]);
%!   [h, printed, id] = scan (symbol, qualifier);
%!   want = stored_history (db1, symbol, qualifier);
%!   assert (size (h), size (want));
%!   assert (h, want, 1e-9);
%!   assert (id, "");
%! endfor

%!test
%! ## The last security in key order ends on the end of the data: its rows, no warning, and
%! ## nothing printed, since the end of the data is no failure.
%! last = store_query (db1, ["select s.symbol, s.qualifier from history join securities s " ...
%!                           "on s.id = security_id order by s.symbol desc, s.qualifier desc " ...
%!                           "limit 1"]){1};
%! [h, printed, id] = scan (last{1}, [last{2:end}]);
%! assert (rows (h), rows (stored_history (db1, last{1}, [last{2:end}])));
%! assert (rows (h) > 0);
%! assert (printed, "");
%! assert (id, "");

%!test
%! ## Unknown, without history, or a prefix of another: empty, with the warning naming it.
%! warning ("on", "quorvex:noHistory", "local");
%! for symbol = {"NOSUCH", "BAC", "IB"}
%!   [h, printed, id] = scan (symbol{1}, "");
%!   assert (size (h), [0 7]);
%!   assert (id, "quorvex:noHistory");
%!   assert (! isempty (strfind (lastwarn (), ["'" symbol{1} "'"])));
%! endfor

%!test
%! ## Two neighbours that share all of one's symbol: each returns its own rows.
%! if (isempty (tool))
%!   return;
%! endif
%! dir = tempname ();
%! mkdir (dir);
%! unwind_protect
%!   copyfile (db1, fullfile (dir, "db1.sqlite"));
%!   sec = fullfile (dir, "securities.csv");
%!   his = fullfile (dir, "history.csv");
%!   fid = fopen (sec, "w");
%!   fprintf (fid, "symbol,qualifier,category\nGOOG,,equity\nGOOGL,,equity\n");
%!   fclose (fid);
%!   fid = fopen (his, "w");
%!   fprintf (fid, "symbol,qualifier,day,price,size,hour,minute,second,condition,price_type\n");
%!   for n = 1:16
%!     fprintf (fid, "GOOG,,%d,%d,%d,10,0,%d,1,2\n", n, 100 + n, 10 * n, n);
%!   endfor
%!   for n = 1:24
%!     fprintf (fid, "GOOGL,,%d,%d,%d,11,0,%d,2,2\n", n, 200 + n, 20 * n, n);
%!   endfor
%!   fclose (fid);
%!   for kind = {"securities", sec; "history", his}'
%!     [status, out] = system (sprintf ("'%s' import '%s' 1 %s '%s'", tool, dir, kind{1}, kind{2}));
%!     assert (status, 0, out);
%!   endfor
%!   setenv ("PCQW32_DATA_DIR", dir);
%!   for symbol = {"GOOG", "GOOGL"}
%!     [h, ~, id] = scan (symbol{1}, "");
%!     want = stored_history (fullfile (dir, "db1.sqlite"), symbol{1}, "");
%!     assert (rows (want), 8 * (1 + strcmp (symbol{1}, "GOOGL")) + 8);
%!     assert (h, want, 1e-9);
%!     assert (id, "");
%!   endfor
%! unwind_protect_cleanup
%!   setenv ("PCQW32_DATA_DIR", data);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (dir, "s");
%! end_unwind_protect
