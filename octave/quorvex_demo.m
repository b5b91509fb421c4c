## quorvex_demo ([chart_dir])
## A tour of the module against the feed simulator's sample store: all seven requests, a quote
## board, the fundamentals of a few securities, and two charts saved as PNG files in
## chart_dir (default: a folder "quorvex-charts" in the current folder).
function quorvex_demo (chart_dir)
  if (nargin < 1)
    chart_dir = fullfile (pwd (), "quorvex-charts");
  endif
  quotes_db = 1;
  fundamentals_db = 2;

  printf ("Attach check (request 1): database %d is reachable\n", quorvex (1, quotes_db));
  v = quorvex (4, quotes_db);
  printf ("Feed library (request 4): version %d.%d, release %s, serial %s\n\n", ...
          v.majorversion, v.minorversion, v.release, v.serialnumber);

  board = {"AAPL", "MSFT", "IBM", "KO", "XOM", "GE", "JPM", "BAC", "$SPX", "$DJI"};
  q = quorvex (2, quotes_db, numel (board), board, repmat ({""}, size (board)));
  printf ("Quote board (request 2)\n");
  printf ("%-8s %10s %9s %7s %18s %18s %14s %6s\n", "Symbol", "Last", "Change", "Chg%", ...
          "Bid x Size", "Ask x Size", "Volume", "Time");
  for i = 1:numel (board)
    change = q.LastPrice(i) - q.YesterdayPrice(i);
    percent = 100 * change / q.YesterdayPrice(i);
    printf ("%-8s %10.2f %+9.2f %+6.2f%% %10.2f x %-6d %10.2f x %-6d %14d %6s\n", ...
            q.Symbol{i}, q.LastPrice(i), change, percent, q.BidPrice(i), q.BidSize(i), ...
            q.AskPrice(i), q.AskSize(i), q.Volume(i), clock_time (q.LastPriceTime(i)));
  endfor

  few = {"AAPL", "IBM", "KO", "XOM"};
  f = quorvex (6, fundamentals_db, numel (few), few, repmat ({""}, size (few)));
  printf ("\nFundamentals (request 6)\n");
  printf ("%-6s %-34s %9s %7s %6s %8s %12s\n", "Symbol", "Name", "Close", "EPS", "Beta", ...
          "DivLast", "Div date");
  for i = 1:numel (few)
    printf ("%-6s %-34s %9.2f %7.2f %6.2f %8.2f %4d-%02d-%02d\n", few{i}, f.Name{i}, ...
            f.ClosePrice(i), f.EPS(i), f.Beta(i), f.DivLast(i), f.DivDate(:, i));
  endfor

  h = quorvex (3, quotes_db, 0, {"MSFT"}, {""});
  printf ("\nPrice history (request 3): %d prints of MSFT, from %.2f to %.2f\n", ...
          rows (h), min (h(:, 2)), max (h(:, 2)));
  b = quorvex (5, quotes_db, 0, {"$SPX"}, {""});
  bars = b(any (b != 0, 2), :);
  printf ("Bar series (request 5): %d bars of $SPX in the %d-row matrix\n", rows (bars), rows (b));
  quorvex (7, quotes_db, 0, {"IBM"}, {""});
  printf ("CANT record read (request 7): the record of IBM was read\n");
  try
    quorvex (2, quotes_db, 1, {"NOSUCH"}, {""});
  catch err
    printf ("An unknown security raises %s: %s\n", err.identifier, err.message);
  end_try_catch

  if (! exist (chart_dir, "dir"))
    mkdir (chart_dir);
  endif
  ## Headless charts: gnuplot draws them and cairo writes the PNG files. Its notices about
  ## the toolkit and Ghostscript do not concern PNG output.
  saved_warnings = warning ("off", "all");
  graphics_toolkit ("gnuplot");
  fig = figure ("visible", "off");
  plot (h(:, 2));
  title ("MSFT price history");
  xlabel ("print");
  ylabel ("price");
  history_png = fullfile (chart_dir, "msft-history.png");
  print (fig, history_png, "-dpngcairo");
  close (fig);

  fig = figure ("visible", "off");
  plot (bars(:, 5));
  title ("$SPX bar series, close");
  xlabel ("bar");
  ylabel ("close");
  bars_png = fullfile (chart_dir, "spx-bars.png");
  print (fig, bars_png, "-dpngcairo");
  close (fig);
  warning (saved_warnings);
  printf ("\nCharts saved in %s:\n  %s\n  %s\n", chart_dir, history_png, bars_png);
endfunction

function text = clock_time (day_fraction)
  minutes = round (day_fraction * 1440);
  text = sprintf ("%02d:%02d", floor (minutes / 60), mod (minutes, 60));
endfunction
