function name = qv_security_name(symbol, qualifier)
%QV_SECURITY_NAME  A security as people write it: the symbol, and ':qualifier' when it has one.
if isempty(qualifier)
  name = symbol;
else
  name = [symbol ':' qualifier];
end
end
