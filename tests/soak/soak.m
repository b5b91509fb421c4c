## -*- texinfo -*-
## @deftypefn {} {@var{failures} =} soak (@var{calls})
## Calls quorvex @var{calls} times (default 20000) in this one process against the feed
## simulator: all seven requests with valid inputs, bad inputs of every kind, and faults
## injected by the simulator (through PCQW32_FAULTS, read at every attach) at every failure
## point of every request.
##
## Every call must return its request's result (class, size, field names) or raise one of
## the module's quorvex: errors, the one its inputs or fault call for, with the status in its
## message. Resident memory must grow by less than 20 MB over the last 15,000 calls (scaled
## for shorter runs). Prints the figures and returns the number of failed checks.
##
## Faulted detaches leave their attachment open in the simulator, which is the feed's doing,
## not the module's: the count of them is printed as "expected open attachments", for
## scripts/soak.sh to compare with the simulator's report at exit.
## @end deftypefn

function failures = soak (calls)
  if (nargin < 1)
    calls = 20000;
  endif
  rand ("seed", 20240607);
  ## The module's warnings are checked as lines of their own, without the backtrace.
  warning ("off", "backtrace");

  tables = soak_tables ();
  window = min (15000, floor (calls * 3 / 4));
  window_start = calls - window;
  rss_start = NaN;
  tally = struct ("ok", 0, "raised", 0, "bad_input", 0, "faulted", 0, "printed", 0);
  per_request = zeros (1, 8);
  expected_open = 0;
  failures = 0;
  reported = 0;
  started = tic ();
  trace = ! isempty (getenv ("QUORVEX_SOAK_TRACE"));

  warm_up = warm_up_cases ();
  for k = 1:numel (warm_up)
    problem = run_case (warm_up{k}, tables);
    if (! isempty (problem))
      failures += 1;
      printf ("soak: warm-up call %d (%s): %s\n", k, warm_up{k}.label, problem);
    endif
  endfor
  printf ("soak: warm-up: %d calls in %.1f s, resident memory %.1f MB\n", numel (warm_up),
          toc (started), resident_kb () / 1024);

  for k = 1:calls
    if (k == window_start + 1)
      rss_start = resident_kb ();
    endif
    c = make_case (tables);
    if (trace && mod (k, 500) == 0)
      printf ("soak: after %d calls resident memory %.1f MB\n", k, resident_kb () / 1024);
    endif
    if (isempty (c.faults))
      unsetenv ("PCQW32_FAULTS");
    else
      setenv ("PCQW32_FAULTS", c.faults);
    endif

    [problem, outcome, printed] = run_case (c, tables);
    unsetenv ("PCQW32_FAULTS");

    per_request(min (max (c.request, 0), 7) + 1) += 1;
    expected_open += c.leaves_open;
    tally.printed += printed;
    if (! isempty (c.faults))
      tally.faulted += 1;
    endif
    if (strcmp (outcome, "ok"))
      tally.ok += 1;
    else
      tally.raised += 1;
      if (strcmp (outcome, "quorvex:badInput"))
        tally.bad_input += 1;
      endif
    endif
    if (! isempty (problem))
      failures += 1;
      if (reported < 20)
        reported += 1;
        printf ("soak: call %d (%s, faults '%s'): %s\n", k, c.label, c.faults, problem);
      endif
    endif
  endfor

  rss_end = resident_kb ();
  growth_mb = (rss_end - rss_start) / 1024;
  limit_mb = max (20 * window / 15000, 2);
  elapsed = toc (started);

  printf ("soak: %d calls in %.1f s (%.0f calls/s)\n", calls, elapsed, calls / elapsed);
  printf ("soak: by request code 0/outside..7: %s\n", num2str (per_request));
  printf ("soak: %d returned their result, %d raised a quorvex: error (%d input errors), %d ran with injected faults, %d printed a failed-delivery line\n",
          tally.ok, tally.raised, tally.bad_input, tally.faulted, tally.printed);
  printf ("soak: calls with an unexpected outcome: %d\n", failures);
  printf ("soak: resident memory %.1f MB -> %.1f MB over the last %d calls: growth %.2f MB (limit %.1f MB)\n",
          rss_start / 1024, rss_end / 1024, window, growth_mb, limit_mb);
  printf ("soak: expected open attachments (faulted detaches): %d\n", expected_open);
  if (growth_mb >= limit_mb)
    printf ("soak: resident memory grew by %.2f MB, limit %.1f MB\n", growth_mb, limit_mb);
    failures += 1;
  endif
endfunction

function kb = resident_kb ()
  status = fileread ("/proc/self/status");
  token = regexp (status, 'VmRSS:\s*(\d+)\s*kB', "tokens", "once");
  kb = str2double (token{1});
endfunction

## ---------------------------------------------------------------------------------------
## What the sample stores hold (scripts/soak.sh generates them with pcqw32-sim).

function t = soak_tables ()
  t.quote_fields = {"Symbol", "PriceType", "PrimaryExchange", "SecCategory", "Status", ...
                    "News", "LastPrice", "LastSize", "LastPriceTime", "LastTick", ...
                    "LastExchange", "OpenPrice", "OpenSize", "OpenPriceTime", "OpenTick", ...
                    "OpenExchange", "HighPrice", "HighSize", "HighPriceTime", ...
                    "HighExchange", "LowPrice", "LowSize", "LowPriceTime", "LowExchange", ...
                    "YesterdayPrice", "YesterdayTick", "YesterdayExchange", "BidPrice", ...
                    "BidSize", "BidPriceTime", "BidTick", "BidExchange", "AskPrice", ...
                    "AskSize", "AskPriceTime", "AskTick", "AskExchange", "OpenRange", ...
                    "CloseRange", "Volume", "OpenInterest", "QuoteIndicator", ...
                    "TradeIndicator", "ExDividendToday", "SplitToday"};
  t.quote_texts = {"Symbol", "PrimaryExchange", "LastExchange", "OpenExchange", ...
                   "HighExchange", "LowExchange", "YesterdayExchange", "BidExchange", ...
                   "AskExchange"};
  t.fundamentals_fields = {"LastUpdate", "Name", "BaseItem", "EPS", "S&PCode", ...
                           "PriceType", "SecCategory", "ClosePrice", "Volume", ...
                           "VolumeFlag", "OpenInterest", "HistHigh", "HistLow", "DivExp", ...
                           "DivLast", "DivDate", "DivFreq", "ExpDate", "Outstanding", ...
                           "Beta", "ShPerContr", "StrikePrice", "RawMatDate", "CusipNumber"};
  t.fundamentals_texts = {"Name", "BaseItem", "CusipNumber"};
  t.fundamentals_dates = {"DivDate", "ExpDate", "RawMatDate"};
  t.version_fields = {"majorversion", "minorversion", "release", "serialnumber"};

  ## Securities of both stores: symbol, qualifier.
  t.securities = {"AAPL", ""; "AAPL", "L"; "MSFT", ""; "IBM", ""; "IBM", "L"; "GE", "";
                  "GM", ""; "KO", ""; "PEP", ""; "XOM", ""; "CVX", ""; "JPM", "";
                  "BAC", ""; "T", ""; "AMD", ""; "MCD", ""; "AAPL-C190", "2406";
                  "MSFT-P400", "2409"; "KO-C65", "2407"; "NDX-C19500", "2406";
                  "$SPX", ""; "$DJI", ""; "$SOX", ""; "$VIX", ""};
  ## History scans and their rows; MSFT (120,000 rows) is drawn rarely.
  t.history = {"JPM", 8; "GE", 800; "$DJI", 4000; "JPM", 8; "GE", 800; "KO", 20000};
  ## Bar series: securities with bars, and some without (first block fails with 9).
  t.bars = {"GM", ""; "KO", ""; "IBM", ""; "MSFT-C430", "2406"; "GE", ""; "$DJI", "";
            "AAPL-P180", "2406"; "$SPX", ""};
  t.no_bars = {"PEP", ""; "$VIX", ""};
  ## Securities with a CANT record, and some without (the read fails with 4).
  t.cant = {"AAPL", ""; "IBM", ""; "GM", ""; "XOM", ""; "BAC", ""};
  t.no_cant = {"MSFT", ""; "KO", ""; "AAPL-C190", "2406"; "$SPX", ""};
  t.statuses = [4, 7, 99, -1, 12345, -32768, 2147483647];

  ## Inputs the module must refuse before any feed call.
  long_symbol = repmat ("X", 1, 40);
  t.bad = {
    {}, "no inputs";
    {2}, "code only";
    {2, 1}, "no count";
    {2, 1, 1}, "no lists";
    {2, 1, 1, {"IBM"}}, "no qualifiers";
    {3, 1, 1}, "history without lists";
    {5, 1, 1, {"IBM"}}, "bars without qualifiers";
    {6, 2}, "fundamentals without count";
    {4}, "version without database";
    {1}, "attach check without database";
    {"a", 1}, "text request code";
    {true, 1}, "logical request code";
    {{1}, 1}, "cell request code";
    {[1 2], 1}, "matrix request code";
    {[], 1}, "empty request code";
    {NaN, 1}, "NaN request code";
    {1 + 2i, 1}, "complex request code";
    {1, NaN}, "NaN database";
    {1, Inf}, "infinite database";
    {4, -Inf}, "minus infinite database";
    {1, 3e9}, "database beyond 32 bits";
    {1, -2147483649}, "database below 32 bits";
    {1, "1"}, "text database";
    {1, {1}}, "cell database";
    {1, struct("a", 1)}, "structure database";
    {2, 1, NaN, {"IBM"}, {""}}, "NaN count";
    {6, 2, 5e9, {"IBM"}, {""}}, "count beyond 32 bits";
    {2, 1, [1 2], {"IBM"}, {""}}, "matrix count";
    {2, 1, 1, "IBM", {""}}, "symbols not a cell";
    {6, 2, 1, {"IBM"}, ""}, "qualifiers not a cell";
    {3, 1, 1, [1 2 3], {""}}, "numeric symbols";
    {2, 1, 3, {"IBM", "KO"}, {"", "", ""}}, "short symbol list";
    {6, 2, 2, {"IBM", "KO"}, {""}}, "short qualifier list";
    {2, 1, 1, {1}, {""}}, "numeric symbol cell";
    {5, 1, 1, {"IBM"}, {7}}, "numeric qualifier cell";
    {3, 1, 1, {{"IBM"}}, {""}}, "nested cell";
    {2, 1, 1, {["IB"; "MX"]}, {""}}, "two-row symbol";
    {2, 1, 1, {"IBM"}, {"TOOLONG"}}, "long qualifier";
    {5, 1, 1, {"IBM"}, {"12345"}}, "five-character qualifier";
    {6, 2, 2, {"IBM", "KO"}, {"", long_symbol}}, "long text as qualifier";
    {7, 1, 1, {"IBM"}}, "CANT read with symbols only";
    {7, 1, 1, "IBM", ""}, "CANT read without cells";
    {3, 1, 1, {}, {}}, "empty lists";
    {2, 1, 1, {struct("a", 1)}, {""}}, "structure in a cell";
    {2, 1, 1, {true}, {""}}, "logical in a cell";
  };
endfunction

## ---------------------------------------------------------------------------------------
## One call: inputs, faults and what must come of it.

function c = new_case (request, args, label)
  c.request = request;
  c.args = args;
  c.label = label;
  c.faults = "";
  c.nout = 1;
  c.expect = "ok";       # "ok", or the identifier that must be raised
  c.status = 0;          # the status the raised message carries
  c.rows = -1;           # rows of a snapshot or (when known) of a history scan
  c.prints = -1;         # failed-delivery lines the call must print (-1: not checked)
  c.leaves_open = 0;     # 1 when a faulted detach leaves the attachment open
endfunction

function v = pick (list)
  v = list{randi (numel (list))};
endfunction

function [syms, quals] = pick_securities (t, n)
  rows = randi (rows_of (t.securities), 1, n);
  syms = t.securities(rows, 1)';
  quals = t.securities(rows, 2)';
endfunction

function n = rows_of (cellarray)
  n = size (cellarray, 1);
endfunction

function c = valid_case (t, request)
  switch (request)
    case 1
      db = pick ({1, 2, 1.7, 2.2, int32(1), single(2)});
      c = new_case (1, {1, db}, "attach check");
      c.rows = fix (double (db));
    case 2
      n = randi ([0, 5]);
      [syms, quals] = pick_securities (t, n);
      c = new_case (2, {2, 1, n, syms, quals}, sprintf ("quote of %d", n));
      c.rows = n;
    case 3
      if (rand () < 0.004)
        h = {"MSFT", 120000};
      else
        h = t.history(randi (rows_of (t.history)), :);
      endif
      c = new_case (3, {3, 1, randi(9), h(1), {""}}, ["history of " h{1}]);
      c.rows = h{2};
      c.prints = 0;
    case 4
      c = new_case (4, {4, pick({1, 2})}, "version");
    case 5
      b = t.bars(randi (rows_of (t.bars)), :);
      c = new_case (5, {5, 1, 0, b(1), b(2)}, ["bars of " b{1}]);
    case 6
      n = randi ([0, 5]);
      [syms, quals] = pick_securities (t, n);
      c = new_case (6, {6, 2, n, syms, quals}, sprintf ("fundamentals of %d", n));
      c.rows = n;
    otherwise
      s = t.cant(randi (rows_of (t.cant)), :);
      c = new_case (7, {7, pick({1, 2}), 1, s(1), s(2)}, ["CANT read of " s{1}]);
      c.nout = 0;
  endswitch
endfunction

## Calls that fail through the feed's own answers, with no fault injected.
function c = natural_failure_case (t)
  switch (randi (6))
    case 1
      c = new_case (2, {2, 1, 2, {"IBM", "NOSUCH"}, {"", ""}}, "quote of an unknown security");
      c.expect = "quorvex:retrievalFailed"; c.status = 4;
    case 2
      c = new_case (6, {6, 2, 1, {"ZZZZ"}, {"Q"}}, "fundamentals of an unknown security");
      c.expect = "quorvex:retrievalFailed"; c.status = 4;
    case 3
      nb = t.no_bars(randi (rows_of (t.no_bars)), :);
      c = new_case (5, {5, 1, 1, nb(1), nb(2)}, ["bars of " nb{1} " (none stored)"]);
      c.expect = "quorvex:retrievalFailed"; c.status = 9;
    case 4
      s = t.no_cant(randi (rows_of (t.no_cant)), :);
      if (rand () < 0.3)
        c = new_case (7, {7, 1, 0}, "CANT read without securities");
      else
        c = new_case (7, {7, 1, 1, s(1), s(2)}, ["CANT read of " s{1} " (none stored)"]);
      endif
      c.nout = 0;
      c.expect = "quorvex:retrievalFailed"; c.status = 4;
    case 5
      request = pick ({1, 2, 3, 4, 5, 6, 7});
      c = valid_case (t, request);
      c.args{2} = 9;   # no store for database 9
      c.label = [c.label " on a missing database"];
      c.expect = "quorvex:attachFailed"; c.status = 12;
      c.rows = -1;
    otherwise
      c = new_case (pick ({0, 8, -1, 1e6}), {}, "code outside 1 to 7");
      c.args = {c.request, 1, 1, {"IBM"}, {""}};
      c.nout = 0;
      c.request = 0;
  endswitch
endfunction

function c = bad_input_case (t)
  b = t.bad(randi (rows_of (t.bad)), :);
  request = 0;
  if (! isempty (b{1}) && isnumeric (b{1}{1}) && isscalar (b{1}{1}) && isreal (b{1}{1}))
    request = b{1}{1};
  endif
  c = new_case (request, b{1}, b{2});
  c.expect = "quorvex:badInput";
  c.nout = 0;
endfunction

## A fault at one of the failure points of a valid call, and what the module must make of it.
function c = fault_case (t)
  request = randi (7);
  c = valid_case (t, request);
  s = t.statuses(randi (numel (t.statuses)));
  points = {"attach", "detach"};
  switch (request)
    case {2, 6}
      points = [points, {"get_record", "get_record_and_detach"}];
      if (c.rows == 0)
        c.args{3} = 1; c.args{4} = {"IBM"}; c.args{5} = {""}; c.rows = 1;
      endif
    case 3
      points = [points, {"approx_first", "approx_next", "wait", "delivery_printed", ...
                         "delivery_quiet"}];
    case 4
      points = [points, {"version"}];
    case 5
      points = [points, {"get_record", "first_block", "next_block", "get_record_and_detach"}];
    case 7
      points = [points, {"get_record_ext"}];
  endswitch
  point = pick (points);
  s2 = t.statuses(randi (numel (t.statuses)));
  c.label = [c.label ", fault at " point];
  switch (point)
    case "attach"
      c.faults = sprintf ("attach:%d", s);
      c.expect = "quorvex:attachFailed";
    case "detach"
      c.faults = sprintf ("detach:%d:1", s);
      c.expect = "quorvex:detachFailed";
      c.leaves_open = 1;
    case "version"
      c.faults = sprintf ("version:%d", s);
      c.expect = "quorvex:versionFailed";
    case "get_record"
      c.faults = sprintf ("get_record:%d:%d", s, randi (max (c.rows, 1)));
      c.expect = "quorvex:retrievalFailed";
    case "get_record_and_detach"
      c.faults = sprintf ("get_record:%d:1;detach:%d:1", s, s2);
      c.expect = "quorvex:retrievalFailed";
      c.leaves_open = 1;
    case "get_record_ext"
      c.faults = sprintf ("get_record_ext:%d", s);
      c.expect = "quorvex:retrievalFailed";
    case "first_block"
      c.faults = sprintf ("first_block:%d", s);
      c.expect = "quorvex:retrievalFailed";
    case "next_block"
      ## Not an error: the series ends after the blocks read so far.
      c.faults = sprintf ("next_block:%d:%d", s, randi (4));
    case "approx_first"
      c.faults = sprintf ("approx:%d:1", s);
      c.expect = "quorvex:approxFailed";
    case "approx_next"
      c.faults = sprintf ("approx:%d:2", s);
      c.expect = "quorvex:nextFailed";
    case "wait"
      ## Ignored by the module; the delivery it did not make comes with the next read.
      c.faults = sprintf ("wait:%d:1", s);
    case "delivery_printed"
      c.faults = sprintf ("delivery:%d:1:::2", s);
      c.rows = 0;
      c.prints = 1;
    case "delivery_quiet"
      c.faults = sprintf ("delivery:%d:1:::3", s);
      c.rows = 0;
      c.prints = 0;
  endswitch
  if (! strcmp (c.expect, "ok"))
    c.status = s;
  endif
endfunction

## Calls made before the soak proper, so that memory the process keeps for good is in place
## before the measured window: the scan's static columns touched in full, the largest
## results, and the simulator's call log filled (it keeps the first 1,048,576 feed calls; a
## scan of MSFT makes 30,004).
function list = warm_up_cases ()
  list = {};
  for i = 1:35
    c = new_case (3, {3, 1, 1, {"MSFT"}, {""}}, "history of MSFT");
    c.rows = 120000;
    c.prints = 0;
    list{end + 1} = c;
  endfor
  list{end + 1} = new_case (5, {5, 1, 1, {"$SPX"}, {""}}, "bars of $SPX");
  c = new_case (2, {2, 1, 40, repmat({"IBM"}, 1, 40), repmat({""}, 1, 40)}, "quote of 40");
  c.rows = 40;
  list{end + 1} = c;
  c = new_case (6, {6, 2, 40, repmat({"KO"}, 1, 40), repmat({""}, 1, 40)}, "fundamentals of 40");
  c.rows = 40;
  list{end + 1} = c;
endfunction

function c = make_case (t)
  r = rand ();
  if (r < 0.40)
    c = valid_case (t, randi (7));
  elseif (r < 0.50)
    c = natural_failure_case (t);
  elseif (r < 0.70)
    c = bad_input_case (t);
  else
    c = fault_case (t);
  endif
endfunction

## ---------------------------------------------------------------------------------------
## Running one call and judging it.

function [problem, outcome, printed] = run_case (c, t)
  problem = "";
  printed = 0;
  result = [];
  text = "";
  try
    if (c.request == 3 && c.nout == 1)
      ## The scan may print; capture it to check the line.
      text = evalc ("result = quorvex (c.args{:});");
    elseif (c.nout == 1)
      result = quorvex (c.args{:});
    else
      quorvex (c.args{:});
    endif
    outcome = "ok";
  catch err
    outcome = err.identifier;
    ## The host puts the function's name in front of a compiled function's message.
    message = regexprep (strtrim (err.message), '^quorvex: ', "");
  end_try_catch

  if (! isempty (text))
    lines = regexp (strtrim (text), '\n', "split");
    ## The module's warnings of an empty or a cut history come with the printed lines.
    warned = ! cellfun (@isempty, regexp (lines, ['^warning: quorvex: (No history for symbol|' ...
                                                  'The history of symbol) '], "once"));
    if (c.prints > 0 && ! any (! cellfun (@isempty, strfind (lines(warned), "is incomplete"))))
      problem = "a cut history did not warn quorvex:historyIncomplete";
      return;
    endif
    lines = lines(! warned);
    printed = numel (lines);
    for i = 1:numel (lines)
      if (isempty (regexp (lines{i}, '^DBA_GET_APPROX failed with code -?\d+$', "once")))
        problem = sprintf ("printed an unexpected line '%s'", lines{i});
        return;
      endif
    endfor
  endif

  if (strcmp (outcome, "ok"))
    if (! strcmp (c.expect, "ok"))
      problem = sprintf ("returned, %s expected", c.expect);
      return;
    endif
    if (c.prints >= 0 && printed != c.prints)
      problem = sprintf ("printed %d failed-delivery lines, %d expected", printed, c.prints);
      return;
    endif
    if (c.nout == 1)
      problem = check_result (c, result, t);
    endif
    return;
  endif

  if (strncmp (outcome, "quorvex:", 8) == 0)
    problem = sprintf ("raised '%s' (%s), not a module error", outcome, message);
  elseif (! strcmp (outcome, c.expect))
    problem = sprintf ("raised %s (%s), %s expected", outcome, message, c.expect);
  elseif (c.status != 0)
    want = status_message (outcome, c.status);
    if (! strcmp (message, want))
      problem = sprintf ("message '%s', '%s' expected", message, want);
    endif
  elseif (isempty (message))
    problem = "raised an empty message";
  endif
endfunction

function m = status_message (identifier, s)
  switch (identifier)
    case "quorvex:attachFailed"
      m = sprintf ("Database Attach failed with error %d", s);
    case "quorvex:detachFailed"
      m = sprintf ("Detach error %d", s);
    case "quorvex:versionFailed"
      m = sprintf ("Get version error %d", s);
    case "quorvex:retrievalFailed"
      m = sprintf ("Data retrieval error %d", s);
    case "quorvex:approxFailed"
      m = sprintf ("Get Approx failed %d.", s);
    case "quorvex:nextFailed"
      m = sprintf ("Get Next failed %d.", s);
    otherwise
      m = "";
  endswitch
endfunction

function problem = check_result (c, r, t)
  problem = "";
  switch (c.request)
    case 1
      if (! real_matrix (r, 1, 1) || r != c.rows)
        problem = "attach check: not the database number";
      endif
    case 2
      problem = check_structure (r, t.quote_fields, t.quote_texts, {}, c.rows);
      if (isempty (problem) && ! isequal (size (r.CloseRange), [c.rows, 2]))
        problem = "quote: CloseRange is not N-by-2";
      endif
    case 3
      if (! isa (r, "double") || ! isreal (r) || columns (r) != 7 || mod (rows (r), 8) != 0
          || rows (r) > 500000)
        problem = sprintf ("history: %s of %s", mat2str (size (r)), class (r));
      elseif (c.rows >= 0 && rows (r) != c.rows)
        problem = sprintf ("history: %d rows, %d expected", rows (r), c.rows);
      endif
    case 4
      if (! isstruct (r) || ! isequal (size (r), [1, 1])
          || ! isequal (fieldnames (r)', t.version_fields)
          || ! real_matrix (r.majorversion, 1, 1) || ! ischar (r.serialnumber))
        problem = "version: not the 4-field structure";
      endif
    case 5
      if (! real_matrix (r, 75000, 6))
        problem = sprintf ("bars: %s of %s", mat2str (size (r)), class (r));
      endif
    case 6
      problem = check_structure (r, t.fundamentals_fields, t.fundamentals_texts,
                                 t.fundamentals_dates, c.rows);
  endswitch
endfunction

function ok = real_matrix (x, m, n)
  ok = isa (x, "double") && isreal (x) && isequal (size (x), [m, n]);
endfunction

function problem = check_structure (r, fields, texts, dates, n)
  problem = "";
  if (! isstruct (r) || ! isequal (size (r), [1, 1]))
    problem = "not a 1-by-1 structure";
    return;
  endif
  if (! isequal (fieldnames (r)', fields))
    problem = "field names or order differ";
    return;
  endif
  for i = 1:numel (fields)
    v = r.(fields{i});
    name = fields{i};
    if (any (strcmp (name, texts)))
      if (! iscellstr (v) || ! isequal (size (v), [n, 1]))
        problem = [name ": not an N-by-1 cell of texts"];
        return;
      endif
    elseif (any (strcmp (name, dates)))
      if (! real_matrix (v, 3, n))
        problem = [name ": not 3-by-N"];
        return;
      endif
    elseif (! strcmp (name, "CloseRange") && ! real_matrix (v, n, 1))
      problem = [name ": not an N-by-1 column"];
      return;
    endif
  endfor
endfunction
