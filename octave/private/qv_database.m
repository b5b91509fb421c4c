function database = qv_database(caller, value, kind)
%QV_DATABASE  The database of a call: VALUE when given, else the default of KIND ('quote' or
%   'fundamentals') from qvdefaults. A database is a whole number in the signed 32-bit
%   range; anything else raises quorvex:badDatabase.
if isempty(value)
  defaults = qvdefaults();
  if strcmp(kind, 'fundamentals')
    database = defaults.FundamentalsDatabase;
  else
    database = defaults.QuoteDatabase;
  end
  return;
end
database = qv_check_database(caller, 'Database', value);
end
