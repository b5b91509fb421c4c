function result = qv_result(columns, type, dateFields)
%QV_RESULT  A snapshot in the layout asked for: 'columns' is the module's 1-by-1 structure as
%   it stands; 'struct' a struct array with one element per security and 'table' a table with
%   one row per security, both with the 3-row dates of DATEFIELDS as date numbers.
if strcmp(type, 'columns')
  result = columns;
  return;
end
names = fieldnames(columns);
values = struct2cell(columns);
for k = 1:numel(names)
  if any(strcmp(names{k}, dateFields))
    values{k} = qv_datenum(values{k});
  end
end
if strcmp(type, 'table')
  result = qv_table(values, names');
  return;
end
count = size(values{1}, 1);
elements = cell(numel(names), count);
for k = 1:numel(names)
  value = values{k};
  if iscell(value)
    elements(k, :) = reshape(value, 1, count);
  elseif size(value, 2) == 1
    elements(k, :) = reshape(num2cell(value), 1, count);
  else
    elements(k, :) = reshape(num2cell(value, 2), 1, count);
  end
end
result = cell2struct(elements, names, 1);
end
