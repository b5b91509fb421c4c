function result = qv_table(columns, names)
%QV_TABLE  A table of COLUMNS (a cell array, one column each) under NAMES. MATLAB releases
%   before R2019b take only identifiers as variable names; there a name such as S&PCode
%   becomes S_PCode, every other character than a letter, digit or underscore an underscore.
try
  result = table(columns{:}, 'VariableNames', names);
catch err
  valid = regexprep(names, '[^A-Za-z0-9_]', '_');
  if isequal(valid, names)
    rethrow(err);
  end
  result = table(columns{:}, 'VariableNames', valid);
end
end
