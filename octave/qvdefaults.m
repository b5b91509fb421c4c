function defaults = qvdefaults(varargin)
%QVDEFAULTS  Sets and shows the feed databases the quorvex functions use by default.
%   QVDEFAULTS() shows the defaults; D = QVDEFAULTS() returns them as a structure with the
%   fields QuoteDatabase and FundamentalsDatabase.
%   QVDEFAULTS('QuoteDatabase', N, 'FundamentalsDatabase', M) sets either or both (whole
%   numbers from 0); they are kept as preferences of the group 'quorvex' (SETPREF), so they
%   hold in later sessions too. QVDEFAULTS('reset') forgets them. Called without an output,
%   every form shows the defaults as they then are.
%
%   The feed keeps quotes and fundamentals in separate databases, and a quote read from a
%   fundamentals database decodes into meaningless numbers; so QVQUOTES reads the quote
%   database, and QVHISTORY, QVBARS, QVCANT, QVVERSION and QVATTACH too, QVFUNDAMENTALS the
%   fundamentals database, unless a call names its own with the option 'Database'. With
%   nothing set they are those of the feed simulator's sample: quotes in 1, fundamentals
%   in 2.
%
%   Examples:
%     d = qvdefaults();
%     qvdefaults('QuoteDatabase', 1, 'FundamentalsDatabase', 2);
%
%   See also QVQUOTES, QVFUNDAMENTALS, SETPREF.
group = 'quorvex';
names = {'QuoteDatabase', 'FundamentalsDatabase'};
factory = [1, 2];

if nargin == 1 && (ischar(varargin{1}) || isa(varargin{1}, 'string')) && ...
    strcmpi(char(varargin{1}), 'reset')
  for k = 1:numel(names)
    if ispref(group, names{k})
      rmpref(group, names{k});
    end
  end
elseif nargin > 0
  given = qv_options('qvdefaults', varargin, cell2struct(cell(numel(names), 1), names, 1));
  % Every value is checked before any is kept.
  for k = 1:numel(names)
    if ~isempty(given.(names{k}))
      given.(names{k}) = qv_check_database('qvdefaults', names{k}, given.(names{k}));
    end
  end
  for k = 1:numel(names)
    if ~isempty(given.(names{k}))
      setpref(group, names{k}, given.(names{k}));
    end
  end
end

current = struct();
for k = 1:numel(names)
  value = factory(k);
  if ispref(group, names{k})
    value = getpref(group, names{k});
    try
      value = qv_check_database('qvdefaults', names{k}, value);
    catch err
      error('quorvex:badDatabase', ...
            '%s (a stored preference; qvdefaults(''reset'') forgets it)', err.message);
    end
  end
  current.(names{k}) = value;
end
if nargout > 0
  defaults = current;
else
  fprintf('quorvex defaults: quotes in database %d, fundamentals in database %d\n', ...
          current.QuoteDatabase, current.FundamentalsDatabase);
end
end
