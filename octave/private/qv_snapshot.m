function [columns, status] = qv_snapshot(code, database, symbols, qualifiers)
%QV_SNAPSHOT  A quote (CODE 2) or fundamentals (CODE 6) snapshot of a list of securities,
%   in the module's own layout, that survives securities the feed cannot read.
%   COLUMNS is the module's 1-by-1 structure with one row per security (one column of the
%   3-row dates); STATUS holds 0 for every security read and the feed's status for every one
%   that failed, whose row holds NaN numbers and empty texts.
%
%   The whole list is read in one module call, so the normal case costs nothing more. Only
%   when that call fails with quorvex:retrievalFailed, which does not say which security
%   failed, are the halves of the list read again, and the halves of every failing half,
%   until each failing security stands alone; any other error is raised as it is.
count = numel(symbols);
status = zeros(count, 1);
parts = cell(0, 2);
pending = {(1:count)'};
while ~isempty(pending)
  rows = pending{end};
  pending(end) = [];
  try
    part = qv_module(code, database, numel(rows), symbols(rows), qualifiers(rows));
    if numel(rows) == count
      columns = part;
      return;
    end
    parts(end + 1, :) = {rows, part}; %#ok<AGROW>
  catch err
    if ~strcmp(err.identifier, 'quorvex:retrievalFailed') || isempty(rows)
      rethrow(err);
    end
    if numel(rows) == 1
      status(rows) = qv_feed_status(err.message);
    else
      half = ceil(numel(rows) / 2);
      pending{end + 1} = rows(half + 1:end); %#ok<AGROW>
      pending{end + 1} = rows(1:half); %#ok<AGROW>
    end
  end
end

% An empty read gives every field with its shape: N-by-k columns and texts have no rows,
% the 3-row dates no columns.
template = quorvex(code, database, 0, {}, {});
names = fieldnames(template);
empty = struct2cell(template);
values = cell(size(empty));
for k = 1:numel(names)
  byColumn = size(empty{k}, 2) == 0 && size(empty{k}, 1) > 0;
  if iscell(empty{k})
    value = repmat({''}, count, 1);
  elseif byColumn
    value = NaN(size(empty{k}, 1), count);
  else
    value = NaN(count, size(empty{k}, 2));
  end
  for p = 1:size(parts, 1)
    rows = parts{p, 1};
    got = struct2cell(parts{p, 2});
    if byColumn
      value(:, rows) = got{k};
    else
      value(rows, :) = got{k};
    end
  end
  values{k} = value;
end
columns = cell2struct(values, names, 1);
end
