function version = qvversion(varargin)
%QVVERSION  Version of the feed library.
%   V = QVVERSION() asks the feed library for its version through the quote database (see
%   QVDEFAULTS); V = QVVERSION(DATABASE) or QVVERSION('Database', DATABASE) through another.
%   V is a structure with the fields majorversion and minorversion (numbers), release and
%   serialnumber (texts), as QUORVEX(4, ...) returns it.
%
%   Examples:
%     v = qvversion();
%     fprintf('feed library %d.%d%s (%s)\n', v.majorversion, v.minorversion, v.release, ...
%             v.serialnumber);
%
%   See also QVATTACH, QVDEFAULTS, QUORVEX.
database = qv_database('qvversion', qv_database_argument('qvversion', varargin), 'quote');
version = qv_module(4, database);
end
