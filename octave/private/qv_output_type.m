function type = qv_output_type(caller, value, allowed)
%QV_OUTPUT_TYPE  The OutputType option, one of ALLOWED (matched without regard to case).
%   'table' needs the host's table class: where there is none (GNU Octave) it raises
%   quorvex:noTable, before any feed call.
if isa(value, 'string') && isscalar(value)
  value = char(value);
end
hit = [];
if ischar(value) && isrow(value)
  hit = find(strcmpi(value, allowed), 1);
end
if isempty(hit)
  error('quorvex:badOutputType', '%s: OutputType must be one of ''%s''', ...
        caller, strjoin(allowed, ''', '''));
end
type = allowed{hit};
if strcmp(type, 'table') && exist('table') == 0 %#ok<EXIST>
  others = allowed(~strcmp(allowed, 'table'));
  error('quorvex:noTable', ...
        ['%s: OutputType ''table'' needs the table class, which this host does not have; ' ...
         'use ''%s'''], caller, strjoin(others, ''' or '''));
end
end
