function list = qv_securities(caller, value, many)
%QV_SECURITIES  The securities argument as a column cell array of symbols.
%   VALUE is one symbol ('IBM'), a cell array of symbols or, in MATLAB, a string array. With
%   MANY false exactly one security is allowed. Every symbol is a text of 1 to 11 characters,
%   the most a feed key holds; anything else raises quorvex:badSecurities naming it.
if nargin < 2
  error('quorvex:badSecurities', ...
        '%s: the securities are missing; give one symbol such as ''IBM'' or a cell array such as {''IBM'', ''MSFT''}', ...
        caller);
end
if isa(value, 'string')
  value = cellstr(value);
end
if ischar(value)
  if ~isempty(value) && ~isrow(value)
    error('quorvex:badSecurities', ...
          '%s: a security is a text in one row; give several as a cell array', caller);
  end
  list = {value};
elseif iscell(value)
  list = value(:);
else
  error('quorvex:badSecurities', ...
        '%s: securities must be a text such as ''IBM'' or a cell array of texts, not %s', ...
        caller, class(value));
end
if ~many && numel(list) ~= 1
  error('quorvex:badSecurities', '%s: give exactly one security, not %d', ...
        caller, numel(list));
end
for k = 1:numel(list)
  symbol = list{k};
  if isa(symbol, 'string') && isscalar(symbol)
    symbol = char(symbol);
    list{k} = symbol;
  end
  if ~ischar(symbol) || (~isempty(symbol) && ~isrow(symbol))
    error('quorvex:badSecurities', '%s: security %d must be a text', caller, k);
  end
  if isempty(symbol)
    error('quorvex:badSecurities', '%s: security %d is an empty text', caller, k);
  end
  if numel(symbol) > 11
    error('quorvex:badSecurities', ...
          '%s: security %d (''%s'') has %d characters; a symbol has at most 11', ...
          caller, k, symbol, numel(symbol));
  end
end
end
