function value = qv_check_database(caller, name, value)
%QV_CHECK_DATABASE  VALUE as a database number, or quorvex:badDatabase naming NAME.
%   A feed database number is a whole number from 0 to 2147483647: a negative number is a
%   slip (the module itself would pass it on to the feed unchecked).
if ~isnumeric(value) || ~isreal(value) || ~isscalar(value) || ~isfinite(value) || ...
    value ~= fix(value) || value < 0 || value > 2147483647
  error('quorvex:badDatabase', ...
        '%s: %s must be a whole number from 0 (a feed database number such as 1)', ...
        caller, name);
end
value = double(value);
end
