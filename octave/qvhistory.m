function [history, found, ended] = qvhistory(security, varargin)
%QVHISTORY  Trade history of one security, by symbol, with named columns.
%   H = QVHISTORY(SECURITY) reads the stored trade prints of one security ('MSFT') from the
%   quote database (see QVDEFAULTS), in the feed's order. H is a structure of column vectors,
%   one row per print, named by QVLAYOUT: Day, Price, Size, Hour, Minute, Second, Time and
%   Condition. Time is the time of day as a fraction of a day (Hour/24 + Minute/1440 +
%   Second/86400): plot(h.Time, h.Price) then datetick('x', 'HH:MM') draws the prints
%   against the clock, and a date number plus h.Time gives the moment.
%
%   H = QVHISTORY(SECURITY, NAME, VALUE, ...) takes these options:
%     'Qualifier'   the security's qualifier (default ''; at most 4 characters).
%     'Database'    the feed database (default: the quote database of QVDEFAULTS).
%     'OutputType'  'struct' (default), 'table' (MATLAB; in GNU Octave it raises
%                   quorvex:noTable) or 'matrix' (the module's R-by-7 matrix as
%                   QUORVEX(3, ...) returns it).
%
%   A security the feed holds no history for gives no rows. With one output the warning
%   quorvex:noHistory says so (silence it with warning('off', 'quorvex:noHistory')), and
%   names the qualifier the feed holds the symbol's history under when there is one; only
%   the blocks of the security asked for are taken, and no qualifier means the security
%   without one. [H, FOUND] = QVHISTORY(...) returns FOUND, true when there are rows, and
%   warns of no missing history.
%
%   A scan cut by a failed delivery of the feed returns the rows read before it, prints the
%   feed's line 'DBA_GET_APPROX failed with code N' and warns quorvex:historyIncomplete with
%   the status and the rows. [H, FOUND, ENDED] = QVHISTORY(...) returns how the scan ended,
%   [STATUS EVENT], the status and event code of the feed's delivery that ended it (status
%   0 for a delivery of the next security, the feed's end-of-data status, 9 with event 3 for
%   the feed simulator, past the last security), and warns of neither. The rows of zeros with which the feed completes its last block of eight are
%   left out (the 'matrix' output keeps them). Errors of the feed, such as
%   quorvex:feedStalled, are raised as the module raises them (see HELP QUORVEX).
%
%   Examples:
%     h = qvhistory('MSFT');
%     fprintf('%d prints of MSFT, last at %.2f\n', numel(h.Price), h.Price(end));
%     [h, found] = qvhistory('AAPL-C190', 'Qualifier', '2406');
%     m = qvhistory('GE', 'OutputType', 'matrix');
%
%   See also QVBARS, QVLAYOUT, QVQUOTES, QUORVEX.
if nargin < 1
  qv_securities('qvhistory');
end
opts = qv_options('qvhistory', varargin, ...
                  struct('Qualifier', '', 'Database', [], 'OutputType', 'struct'));
symbol = qv_securities('qvhistory', security, false);
qualifier = qv_qualifiers('qvhistory', opts.Qualifier, 1);
type = qv_output_type('qvhistory', opts.OutputType, {'struct', 'table', 'matrix'});
database = qv_database('qvhistory', opts.Database, 'quote');
layout = qvlayout();

% The module warns of a security without history and of a scan cut by a failed delivery; a
% caller who asks for FOUND (or ENDED) has said that it looks for itself, so the warning
% is held back for the length of the call.
held = {};
if nargout > 1
  held{end + 1} = 'quorvex:noHistory';
end
if nargout > 2
  held{end + 1} = 'quorvex:historyIncomplete';
end
saved = cell(size(held));
for k = 1:numel(held)
  saved{k} = warning('query', held{k});
  warning('off', held{k});
end
restore = onCleanup(@() restore_warnings(saved)); %#ok<NASGU>
[matrix, ended] = qv_module(3, database, 1, symbol, qualifier);
found = size(matrix, 1) > 0;
history = qv_series(matrix, layout.history, type);
end

function restore_warnings(saved)
for k = 1:numel(saved)
  warning(saved{k}.state, saved{k}.identifier);
end
end
