function [history, found] = qvhistory(security, varargin)
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
%   quorvex:noHistory says so (silence it with warning('off', 'quorvex:noHistory'));
%   [H, FOUND] = QVHISTORY(...) returns FOUND, true when there are rows, and warns of
%   nothing. The rows of zeros with which the feed completes its last block of eight are
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
opts = qv_options('qvhistory', varargin, ...
                  struct('Qualifier', '', 'Database', [], 'OutputType', 'struct'));
symbol = qv_securities('qvhistory', security, false);
qualifier = qv_qualifiers('qvhistory', opts.Qualifier, 1);
type = qv_output_type('qvhistory', opts.OutputType, {'struct', 'table', 'matrix'});
database = qv_database('qvhistory', opts.Database, 'quote');
layout = qvlayout();

% The module warns of a security without history; a caller who asks for FOUND has said
% that it looks for itself, so the warning is held back for the length of the call.
quiet = nargout > 1;
if quiet
  saved = warning('query', 'quorvex:noHistory');
  warning('off', 'quorvex:noHistory');
  restore = onCleanup(@() warning(saved.state, 'quorvex:noHistory'));
end
[lastMessage, lastId] = lastwarn();
lastwarn('', '');
matrix = quorvex(3, database, 1, symbol, qualifier);
[~, warnedId] = lastwarn();
if isempty(warnedId)
  lastwarn(lastMessage, lastId);
end
found = size(matrix, 1) > 0;
if ~found && ~quiet && ~strcmp(warnedId, 'quorvex:noHistory')
  % A security past the last one with history ends the scan on the end of the data, where
  % the module has nothing to warn of; the caller hears of it all the same.
  warning('quorvex:noHistory', ...
          'No history for symbol ''%s'' with qualifier ''%s'': the feed holds none for this security', ...
          symbol{1}, qualifier{1});
end
history = qv_series(matrix, layout.history, type);
end
