function [quotes, failed] = qvquotes(securities, varargin)
%QVQUOTES  Current quotes of securities, by symbol.
%   Q = QVQUOTES(SECURITIES) reads the current quote of every security from the quote
%   database (see QVDEFAULTS). SECURITIES is one symbol ('IBM'), a cell array of symbols
%   ({'IBM','MSFT'}) or, in MATLAB, a string array; a symbol has at most 11 characters.
%   Q is a struct array with one element per security, in the order given, and the 45
%   fields of the quote (see HELP QUORVEX): Symbol, PriceType, LastPrice, LastSize,
%   LastPriceTime, BidPrice, AskPrice, Volume and the others.
%
%   Q = QVQUOTES(SECURITIES, NAME, VALUE, ...) takes these options:
%     'Qualifier'   one text for every security, or one per security (default '');
%                   an option's expiry month, for example '2406'. At most 4 characters.
%     'Database'    the feed database (default: the quote database of QVDEFAULTS).
%     'OutputType'  'struct' (default), 'table' (a table with one row per security,
%                   where the host has tables: MATLAB; in GNU Octave it raises
%                   quorvex:noTable) or 'columns' (the module's own layout: one 1-by-1
%                   structure of N-by-1 columns, as QUORVEX(2, ...) returns it).
%
%   [Q, FAILED] = QVQUOTES(...) also returns the securities the feed could not read (an
%   unknown symbol, for example): a struct array with the fields Index (the position in
%   SECURITIES), Symbol, Qualifier and Status (the feed's status; 4 means no such security
%   in the sample simulator). Their elements of Q hold NaN numbers and empty texts, and the
%   others are read as usual. With one output, a warning quorvex:securitiesFailed names
%   them instead.
%
%   A quote that the feed reads without a Symbol text is almost surely a record of another
%   kind (a fundamentals database read as quotes, say, which decodes into meaningless
%   numbers): the warning quorvex:suspectDatabase names the securities and the database.
%
%   Prices are scaled by the record's price type. Times (LastPriceTime, BidPriceTime, ...)
%   are fractions of a day, the fractional part of a date number: add today's date number
%   to get the moment, for example datestr(floor(now) + q.LastPriceTime, 'HH:MM'). A time
%   below 0 or from 1 on is the feed's mark of an invalid time. Ticks are -1, 0 or +1.
%
%   The whole list is read with one module call, which reports each security's status.
%
%   Examples:
%     q = qvquotes('IBM');
%     q = qvquotes({'IBM', 'MSFT', 'AAPL-C190'}, 'Qualifier', {'', '', '2406'});
%     fprintf('%-10s %10.2f %10.2f\n', q(1).Symbol, q(1).BidPrice, q(1).AskPrice);
%     [q, failed] = qvquotes({'IBM', 'NOSUCH'});
%     spread = [q.AskPrice] - [q.BidPrice];
%
%   See also QVFUNDAMENTALS, QVDEFAULTS, QUORVEX.
if nargin < 1
  qv_securities('qvquotes');
end
opts = qv_options('qvquotes', varargin, ...
                  struct('Qualifier', '', 'Database', [], 'OutputType', 'struct'));
symbols = qv_securities('qvquotes', securities, true);
qualifiers = qv_qualifiers('qvquotes', opts.Qualifier, numel(symbols));
type = qv_output_type('qvquotes', opts.OutputType, {'struct', 'table', 'columns'});
database = qv_database('qvquotes', opts.Database, 'quote');

[columns, status] = qv_snapshot(2, database, symbols, qualifiers);
failed = qv_failures('qvquotes', 'quote', symbols, qualifiers, status, nargout > 1);
% A quote the feed read without a Symbol text is almost surely a record of another kind: a
% fundamentals database read as quotes decodes into meaningless numbers.
blank = find(status == 0 & cellfun('isempty', columns.Symbol));
if ~isempty(blank)
  shown = min(numel(blank), 5);
  names = cell(1, shown);
  for k = 1:shown
    names{k} = qv_security_name(symbols{blank(k)}, qualifiers{blank(k)});
  end
  more = '';
  if numel(blank) > shown
    more = sprintf(' and %d more', numel(blank) - shown);
  end
  warning('quorvex:suspectDatabase', ...
          ['qvquotes: the quotes of %s%s read from database %d have no Symbol: database %d ' ...
           'most likely holds another kind of record than quotes (fundamentals?), and the ' ...
           'numbers are meaningless; see qvdefaults for the quote database'], ...
          strjoin(names, ', '), more, database, database);
end
quotes = qv_result(columns, type, {});
end
