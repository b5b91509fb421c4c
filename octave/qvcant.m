function [found, status] = qvcant(securities, varargin)
%QVCANT  Reads the CANT records of securities, by symbol.
%   FOUND = QVCANT(SECURITIES) reads the record tagged 'CANT' of every security from the
%   quote database (see QVDEFAULTS), with one module call each (QUORVEX request 7).
%   SECURITIES is one symbol, a cell array of symbols or, in MATLAB, a string array. FOUND
%   is a logical column, true for every security whose record the feed read.
%   [FOUND, STATUS] = QVCANT(...) also returns the feed's status for each security (0 when
%   read; 4 when the sample simulator holds no such record).
%
%   Options, as name-value pairs: 'Qualifier' (one text, or one per security; default '')
%   and 'Database' (default: the quote database of QVDEFAULTS). A failing read of one
%   security does not stop the others; every other error of the module is raised.
%
%   Examples:
%     found = qvcant({'IBM', 'MSFT'});
%     [found, status] = qvcant('AAPL');
%
%   See also QVQUOTES, QUORVEX.
if nargin < 1
  qv_securities('qvcant');
end
opts = qv_options('qvcant', varargin, struct('Qualifier', '', 'Database', []));
symbols = qv_securities('qvcant', securities, true);
qualifiers = qv_qualifiers('qvcant', opts.Qualifier, numel(symbols));
database = qv_database('qvcant', opts.Database, 'quote');

status = zeros(numel(symbols), 1);
for k = 1:numel(symbols)
  try
    qv_module(7, database, 1, symbols(k), qualifiers(k));
  catch err
    if ~strcmp(err.identifier, 'quorvex:retrievalFailed')
      rethrow(err);
    end
    status(k) = qv_feed_status(err.message);
  end
end
found = status == 0;
end
