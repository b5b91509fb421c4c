function [ok, message] = qvattach(varargin)
%QVATTACH  Whether a feed database can be attached.
%   OK = QVATTACH() attaches to the quote database (see QVDEFAULTS) and detaches again: OK is
%   true when the feed accepted the attachment, false when it refused it.
%   OK = QVATTACH(DATABASE) or QVATTACH('Database', DATABASE) checks another database.
%   [OK, MESSAGE] = QVATTACH(...) also returns the feed's refusal, for example
%   'quorvex: Database Attach failed with error 12' ('' when OK).
%
%   A feed library that cannot be loaded (quorvex:feedLibrary) or a failing detach
%   (quorvex:detachFailed) is raised as an error, as the module raises it.
%
%   Examples:
%     if qvattach(), disp('the quote database is there'); end
%     [ok, message] = qvattach(99);
%
%   See also QVVERSION, QVDEFAULTS, QUORVEX.
database = qv_database('qvattach', qv_database_argument('qvattach', varargin), 'quote');
message = '';
try
  quorvex(1, database);
  ok = true;
catch err
  if ~strcmp(err.identifier, 'quorvex:attachFailed')
    rethrow(err);
  end
  ok = false;
  message = err.message;
end
end
