function failed = qv_failures(caller, what, symbols, qualifiers, status, quiet)
%QV_FAILURES  The securities whose STATUS is not 0, as a struct array with the fields Index,
%   Symbol, Qualifier and Status. Unless QUIET, a warning quorvex:securitiesFailed names them.
index = find(status ~= 0);
failed = struct('Index', num2cell(index), 'Symbol', symbols(index), ...
                'Qualifier', qualifiers(index), 'Status', num2cell(status(index)));
failed = reshape(failed, numel(index), 1);
if quiet || isempty(index)
  return;
end
names = cell(1, numel(index));
for k = 1:numel(index)
  names{k} = sprintf('%s (feed status %d)', ...
                     qv_security_name(symbols{index(k)}, qualifiers{index(k)}), status(index(k)));
end
warning('quorvex:securitiesFailed', '%s: no %s for %d of %d securities: %s', caller, what, ...
        numel(index), numel(status), strjoin(names, ', '));
end
