## m = store_numbers (file, sql)
## The result of a numeric SQL query as a matrix, one row per result row.
function m = store_numbers (file, sql)
  tmp = [tempname() ".csv"];
  sql = strrep (strrep (sql, "\\", "\\\\"), "$", "\\$");  # the shell must not expand them
  status = system (sprintf ("sqlite3 -batch -csv '%s' \"%s\" > '%s'", file, sql, tmp));
  if (status != 0)
    error ("store_numbers: sqlite3 failed on %s", file);
  endif
  info = dir (tmp);
  if (info.bytes == 0)
    m = zeros (0, 0);
  else
    m = dlmread (tmp, ",");
  endif
  delete (tmp);
endfunction
