function folder = qvsample(varargin)
%QVSAMPLE  Writes the feed simulator's sample stores and points the simulator at them.
%   QVSAMPLE() writes the sample market data of the feed simulator (database 1: quotes,
%   histories, bars and CANT records of 54 securities; database 2: their fundamentals) where
%   the simulator reads: the folder named by PCQW32_DATA_DIR when it is set, else the folder
%   pcqw32-data beside the simulator's library (and the module). QVSAMPLE(FOLDER) writes them into FOLDER instead. Either way the environment
%   variable PCQW32_DATA_DIR names the folder for the rest of the session. Returns the
%   folder.
%
%   It never writes over data that would be lost: a folder that holds a store the sample
%   tool did not write (a recording, or a store of your own), or a sample into which data
%   has since been imported, is refused with quorvex:sampleFailed, which names the file and
%   what to do. QVSAMPLE(..., 'Force', true) replaces samples even when data has been
%   imported into them; it still never replaces any other store. Regenerating an untouched
%   sample needs no option.
%
%   It runs the simulator's tool pcqw32-sim, found beside this file, beside the module
%   QUORVEX, in the bin folder of an installation, or on the PATH. Only the simulator reads
%   these stores: a real PCQW32 library keeps its own data.
%
%   Examples:
%     folder = qvsample(fullfile(tempdir(), 'quorvex-sample'));
%     qvsample(folder, 'Force', true);
%
%   See also QVDEFAULTS, QVQUOTES.
if ispc()
  toolName = 'pcqw32-sim.exe';
else
  toolName = 'pcqw32-sim';
end
here = fileparts(mfilename('fullpath'));
module = fileparts(which('quorvex'));
candidates = {fullfile(here, toolName), fullfile(module, toolName), ...
              fullfile(module, '..', '..', 'bin', toolName)};
tool = '';
for k = 1:numel(candidates)
  if exist(candidates{k}, 'file') == 2
    tool = candidates{k};
    break;
  end
end
if isempty(tool)
  tool = toolName;
end
folder = '';
args = varargin;
if ~isempty(args) && ~(ischar(args{1}) && strcmpi(args{1}, 'Force'))
  folder = args{1};
  args = args(2:end);
end
opts = qv_options('qvsample', args, struct('Force', false));
if ~(islogical(opts.Force) || isnumeric(opts.Force)) || ~isscalar(opts.Force)
  error('quorvex:badOption', 'qvsample: Force must be true or false');
end
if isa(folder, 'string') && isscalar(folder)
  folder = char(folder);
end
if isempty(folder) && ~isempty(getenv('PCQW32_DATA_DIR'))
  folder = getenv('PCQW32_DATA_DIR');
elseif isempty(folder)
  if isempty(module)
    error('quorvex:feedLibrary', 'qvsample: the module quorvex is not on the path');
  end
  folder = fullfile(module, 'pcqw32-data');
elseif ~ischar(folder) || ~isrow(folder)
  error('quorvex:badFolder', 'qvsample: FOLDER must be a text naming a folder');
end
force = '';
if opts.Force
  force = ' --force';
end
% The tool says why it refuses on its standard error, which the reason must not lose.
[status, output] = system([shell_quoted(tool) ' generate' force ' ' shell_quoted(folder) ' 2>&1']);
if status ~= 0
  error('quorvex:sampleFailed', 'qvsample: %s generate %s failed: %s', tool, folder, ...
        strtrim(output));
end
setenv('PCQW32_DATA_DIR', folder);
end

function quoted = shell_quoted(text)
% TEXT as one word of the system's shell, whatever characters it holds: in single quotes for
% a POSIX shell, in double quotes for cmd.exe, where a double quote cannot be one of them.
if ispc()
  if any(text == '"')
    error('quorvex:badFolder', 'qvsample: a path cannot hold a double quote (%s)', text);
  end
  quoted = ['"', text, '"'];
else
  quoted = ['''', strrep(text, '''', '''\'''''), ''''];
end
end
