function value = qv_check_database(caller, name, value)
%QV_CHECK_DATABASE  VALUE as a database number, or quorvex:badDatabase naming NAME.
if ~isnumeric(value) || ~isreal(value) || ~isscalar(value) || ~isfinite(value) || ...
    value ~= fix(value) || value < -2147483648 || value > 2147483647
  error('quorvex:badDatabase', ...
        '%s: %s must be a whole number (a feed database number such as 1)', caller, name);
end
value = double(value);
end
