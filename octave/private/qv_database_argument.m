function value = qv_database_argument(caller, args)
%QV_DATABASE_ARGUMENT  The database of a function that takes nothing else: none, a number
%   alone, or the option 'Database'. Empty when none is given.
if numel(args) == 1
  value = qv_check_database(caller, 'DATABASE', args{1});
else
  opts = qv_options(caller, args, struct('Database', []));
  value = opts.Database;
end
end
