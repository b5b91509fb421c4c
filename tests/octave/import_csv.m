## import_csv (db, kind, text)
## Imports the CSV text as records of kind (pcqw32-sim import) into database db of the
## store folder PCQW32_DATA_DIR; quotes and fundamentals go into a new store.
function import_csv (db, kind, text)
  data = getenv ("PCQW32_DATA_DIR");
  if (strcmp (kind, "quotes") || strcmp (kind, "fundamentals"))
    store = fullfile (data, sprintf ("db%d.sqlite", db));
    if (exist (store, "file"))
      delete (store);
    endif
  endif
  csv = [tempname() ".csv"];
  fid = fopen (csv, "w");
  fputs (fid, text);
  fclose (fid);
  [status, out] = system (sprintf ("'%s' import '%s' %d %s '%s' 2>&1", ...
                                   getenv ("QUORVEX_SIM_TOOL"), data, db, kind, csv));
  delete (csv);
  assert (status, 0, out);
endfunction
