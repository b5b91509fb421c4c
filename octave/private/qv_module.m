function varargout = qv_module(varargin)
%QV_MODULE  Calls the module QUORVEX with the arguments given and as many outputs as asked.
%   A failed attach ('Database Attach failed with error 12') says only the feed's status; it
%   is raised again with the feed library's own description of the failure added, where the
%   library offers one (the feed simulator does: the file it could not open, for example),
%   and with where the statuses are listed. Every other error is raised as it is.
try
  [varargout{1:nargout}] = quorvex(varargin{:});
catch err
  if strcmp(err.identifier, 'quorvex:attachFailed')
    reason = quorvex('feedError');
    if ~isempty(reason)
      error('quorvex:attachFailed', '%s (%s; see "Feed statuses" in the README)', ...
            err.message, reason);
    end
  end
  rethrow(err);
end
end
