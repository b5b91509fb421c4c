## Every .m file that ships to users (the module's help in octave/help, the functions and the
## demo in octave/ and octave/private/) is written in the syntax MATLAB and GNU Octave share, and the examples in
## their help run. Needs QUORVEX_SOURCE_DIR and the sample store in PCQW32_DATA_DIR.

%!shared shipped
%! folder = fullfile (getenv ("QUORVEX_SOURCE_DIR"), "octave");
%! shipped = [glob(fullfile (folder, "*.m")); glob(fullfile (folder, "private", "*.m")); ...
%!            glob(fullfile (folder, "help", "*.m"))];

## Splits a line into its code, with the contents of single-quoted strings removed, and its
## comment. A quote after a name, a closing bracket, a dot or another quote is a transpose.
%!function [code, comment] = split_line (line)
%!  code = "";
%!  comment = "";
%!  quoted = false;
%!  previous = " ";
%!  i = 1;
%!  while (i <= numel (line))
%!    c = line(i);
%!    if (quoted)
%!      if (c == "'" && i < numel (line) && line(i + 1) == "'")
%!        i += 1;
%!      elseif (c == "'")
%!        quoted = false;
%!        code(end + 1) = c;
%!        previous = "x";
%!      endif
%!    elseif (c == "%")
%!      comment = line(i:end);
%!      return;
%!    else
%!      if (c == "'" && isempty (regexp (previous, "[A-Za-z0-9_)\\]}.']", "once")))
%!        quoted = true;
%!      endif
%!      code(end + 1) = c;
%!      if (! isspace (c))
%!        previous = c;
%!      endif
%!    endif
%!    i += 1;
%!  endwhile
%!endfunction

## The lines of file that hold syntax only Octave accepts, as "file:line: text".
%!function found = octave_only (file)
%!  words = ['\<(endif|endfor|endwhile|endfunction|endswitch|end_try_catch|' ...
%!           'end_unwind_protect|unwind_protect|unwind_protect_cleanup|printf|puts|fputs)\>'];
%!  anywhere = ['"|!=|\+\+|--|\+=|-=|\*=|/=|\*\*|' words];
%!  found = {};
%!  lines = strsplit (fileread (file), "\n");
%!  for n = 1:numel (lines)
%!    [code, comment] = split_line (lines{n});
%!    if (! isempty (regexp (code, ['[#!]|' anywhere], "once")) ...
%!        || ! isempty (regexp (comment, anywhere, "once")))
%!      found{end + 1} = sprintf ("%s:%d: %s", file, n, lines{n});
%!    endif
%!  endfor
%!endfunction

## The lines of file, code or help, that call a function MATLAB R2015b lacks, the last release
## for 32-bit Windows, where the module runs beside the feed library (string arrays and their
## functions came in R2016b).
%!function found = too_new (file)
%!  names = ['isstring|isStringScalar|string|strings|contains|startsWith|endsWith|strip|' ...
%!           'splitlines|join|compose|isfile|isfolder|convertStringsToChars|datetime|height'];
%!  found = {};
%!  lines = strsplit (fileread (file), "\n");
%!  for n = 1:numel (lines)
%!    [code, comment] = split_line (lines{n});
%!    if (! isempty (regexp ([code " " comment], ['\<(' names ')\s*\(|\<newline\>'], "once")))
%!      found{end + 1} = sprintf ("%s:%d: %s", file, n, lines{n});
%!    endif
%!  endfor
%!endfunction

## The code of the Examples section of a file's help: the indented lines after "Examples:".
%!function code = examples (file)
%!  code = "";
%!  lines = strsplit (fileread (file), "\n");
%!  at = find (! cellfun (@isempty, regexp (lines, '^%\s*Examples:\s*$')), 1);
%!  for n = at + 1:numel (lines)
%!    line = regexp (lines{n}, '^%   (.*\S.*)$', "tokens", "once");
%!    if (isempty (line))
%!      break;
%!    endif
%!    code = [code line{1} "\n"];
%!  endfor
%!endfunction

%!function run_examples (code)
%!  eval (code);
%!endfunction

%!test
%! assert (numel (shipped) >= 20);
%! found = {};
%! for k = 1:numel (shipped)
%!   found = [found, octave_only(shipped{k}), too_new(shipped{k})];
%! endfor
%! assert (found, {});

## The scan finds each construct it looks for, and passes what both hosts accept.
%!test
%! file = [tempname() ".m"];
%! flagged = {"# comment", "x = \"text\";", "if x, y; endif", "for k = 1:2, endfor", ...
%!            "while 0, endwhile", "endfunction", "try, catch, end_try_catch", ...
%!            "unwind_protect", "if !x, end", "x != 1", "printf ('%d', 1);", "x++;", ...
%!            "x += 1;", "y = 2 ** 3;", "% try x != y", "% see \"quotes\""};
%! clean = {"x = 'it''s # not ! a \"comment\"';", "y = x';", "z = [1 2]'' + x.';", ...
%!          "fprintf('%d%%\\n', 5); % fprintf and sprintf are shared", "if x ~= y, end", ...
%!          "s = {'a', 'b'}'; t = s{1}';", "% 'single' quotes in a comment"};
%! fid = fopen (file, "w");
%! fprintf (fid, "%s\n", flagged{:}, clean{:});
%! fclose (fid);
%! unwind_protect
%!   found = octave_only (file);
%!   assert (numel (found), numel (flagged));
%!   for k = 1:numel (flagged)
%!     assert (found{k}, sprintf ("%s:%d: %s", file, k, flagged{k}));
%!   endfor
%!   assert (too_new (file), {});
%!   fid = fopen (file, "w");
%!   fprintf (fid, "%s\n", "if isstring(x), end", "y = ['a' newline];", ...
%!            "% contains (x, 'a')", "ok = isa(x, 'string'); % a string array");
%!   fclose (fid);
%!   assert (numel (too_new (file)), 3);
%! unwind_protect_cleanup
%!   delete (file);
%! end_unwind_protect

## The examples of every function's help and of the module's help run as they stand.
%!test
%! data = getenv ("PCQW32_DATA_DIR");
%! sample = fullfile (tempdir (), "quorvex-sample");
%! ran = 0;
%! unwind_protect
%!   for k = 1:numel (shipped)
%!     code = examples (shipped{k});
%!     if (! isempty (code))
%!       evalc ("run_examples (code)");
%!       ran += 1;
%!     endif
%!     setenv ("PCQW32_DATA_DIR", data);
%!   endfor
%! unwind_protect_cleanup
%!   setenv ("PCQW32_DATA_DIR", data);
%!   qvdefaults ("reset");
%!   if (exist (sample, "dir"))
%!     confirm_recursive_rmdir (false, "local");
%!     rmdir (sample, "s");
%!   endif
%! end_unwind_protect
%! assert (ran, 11);
