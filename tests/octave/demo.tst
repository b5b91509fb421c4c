## The demo as scripts/demo.sh runs it: what it prints, and both charts as PNG files.
## Needs PCQW32_DATA_DIR (the sample store) and a HOME of its own (the demo reads the
## defaults, kept as preferences).

%!test
%! charts = tempname ();
%! unwind_protect
%!   text = evalc ("quorvex_demo (charts)");
%!   for expected = {"feed library 4.12b", "Quote board", "Spread", "MSFT", ...
%!                   "NOSUCH failed with feed status 4", "Fundamentals", "Div date", ...
%!                   "2024-06-21", "qvhistory('MSFT'): 120000 prints", ...
%!                   "qvbars('$SPX'): 75000 bars from 2024-01-02 14:30", "found 1 0", ...
%!                   "gives found 0", "Charts saved in"}
%!     assert (! isempty (strfind (text, expected{1})), ["demo output lacks " expected{1}]);
%!   endfor
%!   ## A board row: symbol, last, signed change and percent, bid, ask and their spread.
%!   row = regexp (text, "\nIBM +([0-9.]+) +[-+][0-9.]+ +[-+][0-9.]+% +([0-9.]+) +([0-9.]+) +([0-9.]+) ", ...
%!                 "tokens", "once");
%!   assert (numel (row), 4);
%!   [last, bid, ask, spread] = deal (num2cell (str2double (row)){:});
%!   assert (bid < ask && bid <= last && last <= ask);
%!   assert (spread, ask - bid, 0.005);
%!   assert (! isempty (regexp (text, " [0-9]{2}:[0-9]{2}\n", "once")), "no HH:MM time");
%!   for png = {"msft-history.png", "spx-bars.png"}
%!     file = fullfile (charts, png{1});
%!     info = imfinfo (file);
%!     assert ([info.Width, info.Height], [1000, 600]);
%!     ## A drawn chart has many colours; an empty frame has a few.
%!     assert (numel (unique (imread (file))) > 50, ["empty chart " png{1}]);
%!   endfor
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir (false, "local");
%!   if (exist (charts, "dir"))
%!     rmdir (charts, "s");
%!   endif
%! end_unwind_protect
