function result = qv_series(matrix, table_layout, type)
%QV_SERIES  A history or bar matrix in the layout asked for: 'matrix' is the module's matrix
%   as it stands; 'struct' a structure of named columns and 'table' a table with one row per
%   record, both without the rows of zeros after the last record (the feed's padding of its
%   last block, and the bar matrix's unused rows) and with the derived column of the layout.
if strcmp(type, 'matrix')
  result = matrix;
  return;
end
last = find(any(matrix ~= 0, 2), 1, 'last');
if isempty(last)
  last = 0;
end
matrix = matrix(1:last, :);
names = table_layout.names;
derived = table_layout.offset + zeros(last, 1);
for k = 1:numel(table_layout.from)
  derived = derived + matrix(:, strcmp(names, table_layout.from{k})) * table_layout.scale(k);
end
% The derived column follows the last column it is computed from.
at = max(find(ismember(names, table_layout.from)));
names = [names(1:at), {table_layout.derived}, names(at + 1:end)];
values = [num2cell(matrix(:, 1:at), 1), {derived}, num2cell(matrix(:, at + 1:end), 1)];
if strcmp(type, 'table')
  result = qv_table(values, names);
else
  result = cell2struct(values, names, 2);
end
end
