function opts = qv_options(caller, args, opts)
%QV_OPTIONS  Reads name-value pairs into the fields of OPTS, whose values are the defaults.
%   Names are matched without regard to case; an unknown name, a name that is not a text or a
%   name without its value raises quorvex:badOption naming it.
names = fieldnames(opts);
if mod(numel(args), 2) ~= 0
  error('quorvex:badOption', ...
        '%s: options come in name-value pairs (%s); the last one has no value', ...
        caller, strjoin(names', ', '));
end
for k = 1:2:numel(args)
  name = args{k};
  if isa(name, 'string') && isscalar(name)
    name = char(name);
  end
  if ~ischar(name) || (~isempty(name) && ~isrow(name))
    error('quorvex:badOption', '%s: argument %d must be an option name (%s)', ...
          caller, k + 1, strjoin(names', ', '));
  end
  hit = strcmpi(name, names);
  if ~any(hit)
    error('quorvex:badOption', '%s: unknown option ''%s''; the options are %s', ...
          caller, name, strjoin(names', ', '));
  end
  opts.(names{find(hit, 1)}) = args{k + 1};
end
end
