function [bars, found, ended] = qvbars(security, varargin)
%QVBARS  Bar series of one security, by symbol, with named columns and dates.
%   B = QVBARS(SECURITY) reads the bars of one security ('$SPX') from the quote database (see
%   QVDEFAULTS). B is a structure of column vectors, one row per bar the feed delivered and
%   no more (the module's 75000-row matrix is cut after the last bar), named by QVLAYOUT:
%   Stamp, Date, Open, High, Low, Close and Volume. Date is the bar's stamp as a date number
%   (UTC), so datetick('x') and datestr show it.
%
%   B = QVBARS(SECURITY, NAME, VALUE, ...) takes these options:
%     'Qualifier'   the security's qualifier (default ''; at most 4 characters).
%     'Database'    the feed database (default: the quote database of QVDEFAULTS).
%     'OutputType'  'struct' (default), 'table' (MATLAB; in GNU Octave it raises
%                   quorvex:noTable) or 'matrix' (the module's 75000-by-6 matrix as
%                   QUORVEX(5, ...) returns it, zeros after the last bar).
%
%   A security the feed cannot read bars of (unknown, or without bars) gives no rows. With
%   one output the warning quorvex:noBars names it with the feed's status; [B, FOUND] =
%   QVBARS(...) returns FOUND, true when there are bars, and warns of nothing. Other errors
%   of the module are raised as they are (see HELP QUORVEX).
%
%   The feed ends a series with a nonzero status of its next-block read, the end of its data
%   (QVLAYOUT's bars.endStatus, 9 for the feed simulator) or a failure. A series that ends on
%   any other status than the end of the data may be incomplete: the warning
%   quorvex:seriesIncomplete names the status and the rows read. [B, FOUND, ENDED] =
%   QVBARS(...) returns that status (the feed's status of the failed read when FOUND is
%   false) and warns of nothing.
%
%   Examples:
%     b = qvbars('$SPX');
%     fprintf('%d bars from %s\n', numel(b.Close), datestr(b.Date(1)));
%     [b, found] = qvbars('AAPL-C190', 'Qualifier', '2406');
%     [b, found, ended] = qvbars('MSFT');
%     layout = qvlayout();
%     complete = ended == layout.bars.endStatus;
%     m = qvbars('KO', 'OutputType', 'matrix');
%
%   See also QVHISTORY, QVLAYOUT, QUORVEX.
if nargin < 1
  qv_securities('qvbars');
end
opts = qv_options('qvbars', varargin, ...
                  struct('Qualifier', '', 'Database', [], 'OutputType', 'struct'));
symbol = qv_securities('qvbars', security, false);
qualifier = qv_qualifiers('qvbars', opts.Qualifier, 1);
type = qv_output_type('qvbars', opts.OutputType, {'struct', 'table', 'matrix'});
database = qv_database('qvbars', opts.Database, 'quote');
layout = qvlayout();

found = true;
try
  [matrix, ended] = qv_module(5, database, 1, symbol, qualifier);
catch err
  if ~strcmp(err.identifier, 'quorvex:retrievalFailed')
    rethrow(err);
  end
  found = false;
  ended = qv_feed_status(err.message);
  matrix = zeros(0, numel(layout.bars.names));
  if nargout < 2
    warning('quorvex:noBars', 'qvbars: no bars of %s (feed status %d)', ...
            qv_security_name(symbol{1}, qualifier{1}), ended);
  end
end
bars = qv_series(matrix, layout.bars, type);
if found && ended ~= layout.bars.endStatus && nargout < 3
  % The feed ends every series with a nonzero status; only its end of data says that the
  % series is whole.
  rows = find(any(matrix ~= 0, 2), 1, 'last');
  if isempty(rows)
    rows = 0;
  end
  warning('quorvex:seriesIncomplete', ...
          ['qvbars: the bar series of %s ended on feed status %d after %d rows, not on the ' ...
           'end of the data (status %d): it may be incomplete'], ...
          qv_security_name(symbol{1}, qualifier{1}), ended, rows, layout.bars.endStatus);
end
end
