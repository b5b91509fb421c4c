## rows = store_query (file, sql)
## Runs SQL on a simulator store with the sqlite3 command-line shell and returns the rows as a
## cell array of cell arrays of texts (tab-separated fields; NULL gives an empty text). The
## test compares what the module returns with what the store holds, read this second way.
function rows = store_query (file, sql)
  sql = strrep (strrep (sql, "\\", "\\\\"), "$", "\\$");  # the shell must not expand them
  [status, out] = system (sprintf ("sqlite3 -batch -separator '\t' -nullvalue '' '%s' \"%s\"", ...
                                   file, sql));
  if (status != 0)
    error ("store_query: sqlite3 failed on %s: %s", file, out);
  endif
  lines = strsplit (out, "\n");
  lines = lines(! cellfun (@isempty, lines));
  rows = cellfun (@(l) strsplit (l, "\t", "CollapseDelimiters", false), lines, ...
                  "UniformOutput", false);
endfunction
