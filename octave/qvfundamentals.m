function [fundamentals, failed] = qvfundamentals(securities, varargin)
%QVFUNDAMENTALS  Fundamentals of securities, by symbol, with their dates as date numbers.
%   F = QVFUNDAMENTALS(SECURITIES) reads the fundamentals of every security from the
%   fundamentals database (see QVDEFAULTS). SECURITIES is one symbol ('IBM'), a cell array
%   of symbols or, in MATLAB, a string array. F is a struct array with one element per
%   security, in the order given, and the 24 fields of the fundamentals (see HELP QUORVEX):
%   Name, EPS, ClosePrice, HistHigh, HistLow, DivLast, DivDate, Beta, StrikePrice and the
%   others. Read the field S&PCode as f(1).('S&PCode').
%
%   The dates DivDate, ExpDate and RawMatDate are date numbers (days since year 0, as
%   DATENUM gives them; DATESTR shows them); NaN where the feed sent no date (all zeros) or
%   a day that does not exist.
%
%   F = QVFUNDAMENTALS(SECURITIES, NAME, VALUE, ...) takes these options:
%     'Qualifier'   one text for every security, or one per security (default '').
%     'Database'    the feed database (default: the fundamentals database of QVDEFAULTS).
%     'OutputType'  'struct' (default), 'table' (MATLAB; in GNU Octave it raises
%                   quorvex:noTable) or 'columns' (the module's own layout, as
%                   QUORVEX(6, ...) returns it, with 3-by-N dates: year, month, day).
%                   MATLAB before R2019b takes only identifiers as the names of table
%                   columns: there the column S&PCode is named S_PCode.
%
%   [F, FAILED] = QVFUNDAMENTALS(...) also returns the securities the feed could not read,
%   as QVQUOTES does; with one output a warning quorvex:securitiesFailed names them.
%
%   Examples:
%     f = qvfundamentals('KO');
%     fprintf('%s pays %.2f, last on %s\n', f.Name, f.DivLast, datestr(f.DivDate, 1));
%     f = qvfundamentals({'AAPL-C190', 'IBM'}, 'Qualifier', {'2406', ''});
%     expiry = datestr(f(1).ExpDate, 'yyyy-mm-dd');
%     code = f(2).('S&PCode');
%
%   See also QVQUOTES, QVDEFAULTS, QUORVEX.
if nargin < 1
  qv_securities('qvfundamentals');
end
opts = qv_options('qvfundamentals', varargin, ...
                  struct('Qualifier', '', 'Database', [], 'OutputType', 'struct'));
symbols = qv_securities('qvfundamentals', securities, true);
qualifiers = qv_qualifiers('qvfundamentals', opts.Qualifier, numel(symbols));
type = qv_output_type('qvfundamentals', opts.OutputType, {'struct', 'table', 'columns'});
database = qv_database('qvfundamentals', opts.Database, 'fundamentals');

[columns, status] = qv_snapshot(6, database, symbols, qualifiers);
failed = qv_failures('qvfundamentals', 'fundamentals', symbols, qualifiers, status, ...
                     nargout > 1);
fundamentals = qv_result(columns, type, {'DivDate', 'ExpDate', 'RawMatDate'});
end
