function failed = qv_failures(caller, what, symbols, qualifiers, status, quiet)
%QV_FAILURES  The securities whose STATUS is not 0, as a struct array with the fields Index,
%   Symbol, Qualifier and Status. Unless QUIET, a warning quorvex:securitiesFailed names them (the
%   first five, and how many more).
index = find(status ~= 0);
failed = struct('Index', num2cell(index), 'Symbol', symbols(index), ...
                'Qualifier', qualifiers(index), 'Status', num2cell(status(index)));
failed = reshape(failed, numel(index), 1);
if quiet || isempty(index)
  return;
end
% The first few by name, so that a long list of failures stays a readable warning; FAILED
% holds them all.
shown = min(numel(index), 5);
names = cell(1, shown);
for k = 1:shown
  names{k} = sprintf('%s (feed status %d)', ...
                     qv_security_name(symbols{index(k)}, qualifiers{index(k)}), status(index(k)));
end
more = '';
if numel(index) > shown
  more = sprintf(' and %d more (the second output lists them all)', numel(index) - shown);
end
warning('quorvex:securitiesFailed', '%s: no %s for %d of %d securities: %s%s', caller, what, ...
        numel(index), numel(status), strjoin(names, ', '), more);
end
