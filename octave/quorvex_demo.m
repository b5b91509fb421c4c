function quorvex_demo(chartFolder)
%QUORVEX_DEMO  A tour of the quorvex functions against the feed simulator's sample store.
%   QUORVEX_DEMO() checks the quote database and the feed's version, prints a quote board
%   with change and spread, shows what becomes of an unknown security in a list, prints
%   fundamentals with their dates, reads a trade history, a bar series and CANT records,
%   and saves two charts as PNG files in the folder quorvex-charts of the current folder:
%   the MSFT prints of one day against the time of day, and the $SPX bars as daily candles
%   with a volume panel and dates on the axis. QUORVEX_DEMO(CHARTFOLDER) saves them there.
%
%   It reads the databases of QVDEFAULTS (quotes in 1, fundamentals in 2 unless set), which
%   the feed simulator's sample fills (see QVSAMPLE).
%
%   See also QVQUOTES, QVFUNDAMENTALS, QVHISTORY, QVBARS.
if nargin < 1
  chartFolder = fullfile(pwd, 'quorvex-charts');
end
defaults = qvdefaults();
if ~qvattach()
  error('quorvex:demo', 'quorvex_demo: database %d cannot be attached', ...
        defaults.QuoteDatabase);
end
v = qvversion();
fprintf('Quotes in database %d, fundamentals in database %d; feed library %d.%d%s (%s)\n\n', ...
        defaults.QuoteDatabase, defaults.FundamentalsDatabase, v.majorversion, ...
        v.minorversion, v.release, v.serialnumber);

% The quote board: one call for the whole list.
board = {'AAPL', 'MSFT', 'IBM', 'KO', 'XOM', 'GE', 'JPM', 'BAC', '$SPX', '$DJI', 'AAPL-C190'};
qualifiers = {'', '', '', '', '', '', '', '', '', '', '2406'};
q = qvquotes(board, 'Qualifier', qualifiers);
fprintf('Quote board: qvquotes(board, ''Qualifier'', qualifiers)\n');
fprintf('%-10s %10s %9s %7s %10s %10s %7s %13s %14s %6s\n', 'Symbol', 'Last', 'Change', ...
        'Chg%', 'Bid', 'Ask', 'Spread', 'Sizes', 'Volume', 'Time');
for k = 1:numel(q)
  change = q(k).LastPrice - q(k).YesterdayPrice;
  fprintf('%-10s %10.2f %+9.2f %+6.2f%% %10.2f %10.2f %7.2f %6d x %-6d %14d %6s\n', ...
          q(k).Symbol, q(k).LastPrice, change, 100 * change / q(k).YesterdayPrice, ...
          q(k).BidPrice, q(k).AskPrice, q(k).AskPrice - q(k).BidPrice, q(k).BidSize, ...
          q(k).AskSize, q(k).Volume, clock_time(q(k).LastPriceTime));
end

% A security the feed cannot read costs only its own element.
[q, failed] = qvquotes({'IBM', 'NOSUCH', 'KO'});
fprintf('\nqvquotes({''IBM'', ''NOSUCH'', ''KO''}): ');
for k = 1:numel(failed)
  fprintf('%s failed with feed status %d; ', failed(k).Symbol, failed(k).Status);
end
fprintf('IBM last %.2f, KO last %.2f\n', q(1).LastPrice, q(3).LastPrice);

% Fundamentals, with their dates as date numbers.
few = {'AAPL', 'IBM', 'KO', 'XOM', 'AAPL-C190'};
f = qvfundamentals(few, 'Qualifier', {'', '', '', '', '2406'});
fprintf('\nFundamentals: qvfundamentals(...)\n');
fprintf('%-10s %-32s %9s %7s %5s %8s %12s %12s\n', 'Symbol', 'Name', 'Close', 'EPS', ...
        'Beta', 'DivLast', 'Div date', 'Expiry');
for k = 1:numel(f)
  fprintf('%-10s %-32s %9.2f %7.2f %5.2f %8.2f %12s %12s\n', few{k}, f(k).Name, ...
          f(k).ClosePrice, f(k).EPS, f(k).Beta, f(k).DivLast, date_text(f(k).DivDate), ...
          date_text(f(k).ExpDate));
end

% A trade history and a bar series, with named columns.
h = qvhistory('MSFT');
fprintf('\nHistory: qvhistory(''MSFT''): %d prints from %.2f to %.2f\n', numel(h.Price), ...
        min(h.Price), max(h.Price));
b = qvbars('$SPX');
fprintf('Bars: qvbars(''$SPX''): %d bars from %s to %s UTC\n', numel(b.Close), ...
        datestr(b.Date(1), 'yyyy-mm-dd HH:MM'), datestr(b.Date(end), 'yyyy-mm-dd HH:MM'));
[found, status] = qvcant({'IBM', 'MSFT'});
fprintf('CANT records: qvcant({''IBM'', ''MSFT''}): found %d %d, feed status %d %d\n', ...
        found(1), found(2), status(1), status(2));
[~, found] = qvhistory('NOSUCH');
fprintf('A security without history: [h, found] = qvhistory(''NOSUCH'') gives found %d\n', ...
        found);

if ~exist(chartFolder, 'dir')
  mkdir(chartFolder);
end
isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
if isOctave
  % Headless charts: gnuplot draws them and cairo writes the files. Its notices about the
  % toolkit and Ghostscript do not concern PNG output.
  savedWarnings = warning('off', 'all');
  graphics_toolkit('gnuplot');
  printOptions = {'-dpngcairo'};
else
  printOptions = {'-dpng', '-r72'};
end
historyChart = fullfile(chartFolder, 'msft-history.png');
barChart = fullfile(chartFolder, 'spx-bars.png');
draw_history(h, historyChart, printOptions);
draw_candles(b, barChart, printOptions);
if isOctave
  warning(savedWarnings);
end
fprintf('\nCharts saved in %s:\n  %s\n  %s\n', chartFolder, historyChart, barChart);
end

function draw_history(h, file, printOptions)
% The prints of the last day of the history against the time of day.
day = h.Day(end);
before = find(h.Day ~= day, 1, 'last');
if isempty(before)
  before = 0;
end
rows = (before + 1:numel(h.Day))';
fig = chart_figure();
plot(h.Time(rows), h.Price(rows), 'b-');
datetick('x', 'HH:MM');
grid on;
title(sprintf('MSFT trade prints of day %d (%d prints)', day, numel(rows)));
xlabel('time of day');
ylabel('price');
print(fig, file, printOptions{:});
close(fig);
end

function draw_candles(b, file, printOptions)
% The minute bars gathered into daily candles, with the day's volume below.
[days, ~, group] = unique(floor(b.Date));
first = accumarray(group, (1:numel(group))', [], @min);
last = accumarray(group, (1:numel(group))', [], @max);
open = b.Open(first);
close_ = b.Close(last);
high = accumarray(group, b.High, [], @max);
low = accumarray(group, b.Low, [], @min);
volume = accumarray(group, b.Volume);
halfWidth = 0.35;

fig = chart_figure();
subplot(4, 1, 1:3);
hold on;
plot([days'; days'], [low'; high'], 'k-');
up = close_ >= open;
x = [days - halfWidth, days + halfWidth, days + halfWidth, days - halfWidth]';
y = [open, open, close_, close_]';
if any(up)
  fill(x(:, up), y(:, up), [0.2, 0.65, 0.3]);
end
if any(~up)
  fill(x(:, ~up), y(:, ~up), [0.85, 0.25, 0.2]);
end
hold off;
limits = [days(1) - 1, days(end) + 1];
xlim(limits);
datetick('x', 'mmm dd', 'keeplimits');
grid on;
title(sprintf('$SPX daily candles from %d minute bars', numel(b.Close)));
ylabel('index points');
subplot(4, 1, 4);
bar(days, volume / 1e6, 0.7);
xlim(limits);
datetick('x', 'mmm dd', 'keeplimits');
ylabel('volume (M)');
print(fig, file, printOptions{:});
close(fig);
end

function fig = chart_figure()
% An invisible figure that prints at 1000 by 600 pixels: its paper size at 72 dots per inch,
% the resolution gnuplot draws PNG files at (and MATLAB is asked for).
fig = figure('visible', 'off');
set(fig, 'PaperUnits', 'inches', 'PaperPosition', [0, 0, 1000 / 72, 600 / 72], ...
    'DefaultAxesFontSize', 11);
end

function text = clock_time(dayFraction)
minutes = round(dayFraction * 1440);
text = sprintf('%02d:%02d', floor(minutes / 60), mod(minutes, 60));
end

function text = date_text(dateNumber)
if isnan(dateNumber)
  text = '-';
else
  text = datestr(dateNumber, 'yyyy-mm-dd');
end
end
