function [columns, status] = qv_snapshot(code, database, symbols, qualifiers)
%QV_SNAPSHOT  A quote (CODE 2) or fundamentals (CODE 6) snapshot of a list of securities,
%   in the module's own layout, that survives securities the feed cannot read.
%   COLUMNS is the module's 1-by-1 structure with one row per security (one column of the
%   3-row dates); STATUS holds 0 for every security read and the feed's status for every one
%   that failed, whose row holds NaN numbers and empty texts. The whole list is one module
%   call, which with a second output goes on past a failed read.
[columns, status] = qv_module(code, database, numel(symbols), symbols, qualifiers);
end
