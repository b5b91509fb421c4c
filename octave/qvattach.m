function [ok, message] = qvattach(varargin)
%QVATTACH  Whether a feed database can be attached.
%   OK = QVATTACH() attaches to the quote database (see QVDEFAULTS) and detaches again: OK is
%   true when the feed accepted the attachment, false when it refused it.
%   OK = QVATTACH(DATABASE) or QVATTACH('Database', DATABASE) checks another database.
%   [OK, MESSAGE] = QVATTACH(...) also returns the feed's refusal ('' when OK): the feed's
%   status and, where the feed library describes its failures (the feed simulator does),
%   why, for example 'quorvex: Database Attach failed with error 12 (cannot open
%   .../db99.sqlite: the file does not exist; ...)'. What each status means is listed under
%   Feed statuses in the README.
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
  qv_module(1, database);
  ok = true;
catch err
  if ~strcmp(err.identifier, 'quorvex:attachFailed')
    rethrow(err);
  end
  ok = false;
  message = err.message;
end
end
