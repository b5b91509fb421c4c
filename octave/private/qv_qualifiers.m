function list = qv_qualifiers(caller, value, count)
%QV_QUALIFIERS  The Qualifier option as a column cell array of COUNT qualifiers.
%   VALUE is one text for every security (default ''), or a cell array or MATLAB string array
%   with one text per security. A qualifier has at most 4 characters; anything else raises
%   quorvex:badQualifier naming it.
if isa(value, 'string')
  value = cellstr(value);
end
if ischar(value)
  if ~isempty(value) && ~isrow(value)
    error('quorvex:badQualifier', '%s: Qualifier must be a text in one row', caller);
  end
  list = repmat({value}, count, 1);
elseif iscell(value)
  list = value(:);
  if numel(list) ~= count
    error('quorvex:badQualifier', ...
          '%s: Qualifier holds %d texts for %d securities; give one per security or one text', ...
          caller, numel(list), count);
  end
else
  error('quorvex:badQualifier', '%s: Qualifier must be a text or a cell array of texts', ...
        caller);
end
for k = 1:numel(list)
  qualifier = list{k};
  if isa(qualifier, 'string') && isscalar(qualifier)
    qualifier = char(qualifier);
  end
  if isempty(qualifier) && (ischar(qualifier) || isnumeric(qualifier))
    qualifier = '';
  end
  if ~ischar(qualifier) || ~(isempty(qualifier) || isrow(qualifier))
    error('quorvex:badQualifier', '%s: qualifier %d must be a text', caller, k);
  end
  if numel(qualifier) > 4
    error('quorvex:badQualifier', ...
          '%s: qualifier %d (''%s'') has %d characters; a qualifier has at most 4', ...
          caller, k, qualifier, numel(qualifier));
  end
  list{k} = qualifier;
end
end
