function status = qv_feed_status(message)
%QV_FEED_STATUS  The feed's status in a module message such as 'Data retrieval error 4'.
token = regexp(message, '(-?\d+)\D*$', 'tokens', 'once');
if isempty(token)
  status = NaN;
else
  status = str2double(token{1});
end
end
