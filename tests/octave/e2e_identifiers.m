## e2e_identifiers (tool, data_dir)
## Every error identifier the feed simulator can provoke, caught in Octave the way a script
## would catch it, with the message text the module raises; and the help text lists them.
## tool is the simulator's command-line tool, data_dir its data folder.
function e2e_identifiers (tool, data_dir)
  ## Database 7: one security whose history is longer than a scan can return.
  csv = [tempname() ".csv"];
  fid = fopen (csv, "w");
  fprintf (fid, "symbol,qualifier,day,price,size,hour,minute,second,condition,price_type\n");
  fprintf (fid, "BIG,,1,%d,1,9,30,0,0,2\n", mod (0:500007, 1000));
  fclose (fid);
  [status, out] = system (sprintf ("'%s' import '%s' 7 history '%s'", tool, data_dir, csv));
  delete (csv);
  assert (status, 0, out);
  unwind_protect
    check ("", @() quorvex (3, 7, 0, {"BIG"}, {""}), "quorvex:capacityExceeded", ...
           "more than 500000 rows");
    check ("", @() quorvex (1, 99), "quorvex:attachFailed", ...
           "Database Attach failed with error 12");
    check ("detach:21", @() quorvex (1, 1), "quorvex:detachFailed", "Detach error 21");
    check ("version:22", @() quorvex (4, 1), "quorvex:versionFailed", "Get version error 22");
    check ("get_record:23", @() quorvex (2, 1, 1, {"IBM"}, {""}), "quorvex:retrievalFailed", ...
           "Data retrieval error 23");
    check ("first_block:24", @() quorvex (5, 1, 0, {"IBM"}, {""}), ...
           "quorvex:retrievalFailed", "Data retrieval error 24");
    check ("get_record_ext:25", @() quorvex (7, 1, 0, {"IBM"}, {""}), ...
           "quorvex:retrievalFailed", "Data retrieval error 25");
    check ("approx:26:1", @() quorvex (3, 1, 0, {"IBM"}, {""}), "quorvex:approxFailed", ...
           "Get Approx failed 26.");
    check ("approx:27:3", @() quorvex (3, 1, 0, {"IBM"}, {""}), "quorvex:nextFailed", ...
           "Get Next failed 27.");
    check ("", @() quorvex (6, 2, 1, {"IBM"}, {"12345"}), "quorvex:badInput", ...
           "a qualifier has at most 4 characters");
    ## A fault that ends the history early is no error: the rows so far come back.
    setenv ("PCQW32_FAULTS", "delivery:9:4");
    h = quorvex (3, 1, 0, {"IBM"}, {""});
    assert (size (h), [24, 7]);
  unwind_protect_cleanup
    unsetenv ("PCQW32_FAULTS");
  end_unwind_protect

  text = evalc ("help quorvex");
  for id = {"attachFailed", "detachFailed", "versionFailed", "retrievalFailed", ...
            "approxFailed", "nextFailed", "capacityExceeded", "badInput", "feedLibrary"}
    assert (! isempty (strfind (text, ["quorvex:" id{1}])), ["help lacks " id{1}]);
  endfor
  for request = {"quorvex (1, DATABASE)", "quorvex (2, DATABASE, N, SYMBOLS, QUALIFIERS)", ...
                 "S&PCode", "CloseRange", "fractions of a day"}
    assert (! isempty (strfind (text, request{1})), ["help lacks " request{1}]);
  endfor
  printf ("identifiers and help: ok\n");
endfunction

function check (faults, f, identifier, text)
  setenv ("PCQW32_FAULTS", faults);
  expect_error (f, identifier, text);
endfunction
