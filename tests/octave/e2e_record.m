## e2e_record (build_dir, sample_dir, work_dir)
## Records a session of all seven requests through the feed library in front of a second copy
## of it (build_dir/record-target), standing in for the vendor's library and reading a copy of
## the sample store with ignorable events and injected failures; then replays the recording
## alone. Every output, printed line and error must equal the direct run's.
function e2e_record (build_dir, sample_dir, work_dir)
  tool = fullfile (build_dir, "pcqw32-sim");
  target_lib = fullfile (build_dir, "record-target", "libPCQW32.so");
  target_data = fullfile (work_dir, "target-data");
  recordings = fullfile (work_dir, "recordings");
  confirm_recursive_rmdir (false);
  if (exist (work_dir, "dir"))
    rmdir (work_dir, "s");
  endif
  mkdir (work_dir);
  mkdir (target_data);
  copyfile (fullfile (sample_dir, "db1.sqlite"), target_data);
  copyfile (fullfile (sample_dir, "db2.sqlite"), target_data);
  run_tool (tool, "set", target_data, "1 event52_every 7");
  setenv ("PCQW32_FAULTS", "get_record:7:0:GE, delivery:5:3:AAPL, first_block:8:0:KO");
  unwind_protect
    setenv ("PCQW32_DATA_DIR", target_data);
    direct = run_requests (target_data);

    setenv ("PCQW32_RECORD_TARGET", target_lib);
    setenv ("PCQW32_RECORD_DIR", recordings);
    setenv ("PCQW32_RECORD_MODE", "all");
    recorded = run_requests (target_data);
    assert (isequal (recorded, direct), "recording changed what a request returns");
    printf ("recorded: %d requests as the direct run\n", numel (direct));

    ## The recording alone: the stand-in's data is out of reach.
    unsetenv ("PCQW32_RECORD_TARGET");
    unsetenv ("PCQW32_RECORD_DIR");
    unsetenv ("PCQW32_RECORD_MODE");
    movefile (target_data, [target_data "-away"]);
    setenv ("PCQW32_DATA_DIR", recordings);
    replayed = run_requests ([target_data "-away"]);
    for k = 1:numel (direct)
      assert (isequal (replayed{k}, direct{k}), "replay differs in request %d", k);
    endfor
    printf ("replayed: %d requests as the direct run\n", numel (direct));

    db1 = fullfile (recordings, "db1.sqlite");
    assert (str2double (store_query (db1, ["select count(*) from recorded_deliveries " ...
                                           "where event = 52"]){1}{1}) > 0);
    assert (str2double (store_query (db1, ["select count(*) from recorded_calls " ...
                                           "where operation = 33 and status = 0"]){1}{1}) > 9000);
    printf ("the recording holds event 52 deliveries and the bar series' blocks\n");

    ## A request the recording lacks gets status 15, and the trace names it.
    setenv ("PCQW32_RECORD_MODE", "none");
    try
      quorvex (2, 1, 1, {"ZZZZ"}, {""});
      error ("an unrecorded request was answered");
    catch err
      assert (err.identifier, "quorvex:retrievalFailed");
      assert (! isempty (strfind (err.message, "Data retrieval error 15")), err.message);
    end_try_catch
    [~, said] = system (sprintf ("PCQW32_TRACE=1 '%s' quote 1 ZZZZ 2>&1", ...
                                 fullfile (build_dir, "quorvex-cli")));
    assert (! isempty (strfind (said, 'not recorded: DBA_GET_RECORD of "ZZZZ"/""')), said);

    ## The tool lists the recording and decodes its calls.
    listed = run_tool (tool, "recordings", recordings, "1");
    assert (! isempty (strfind (listed, 'version  major=4 minor=12 release="b"')), listed);
    dumped = run_tool (tool, "calls", recordings, "2");
    assert (! isempty (strfind (dumped, 'fundamentals name="')), dumped);
    printf ("unrecorded request, trace and tool: ok\n");
  unwind_protect_cleanup
    unsetenv ("PCQW32_FAULTS");
    unsetenv ("PCQW32_RECORD_TARGET");
    unsetenv ("PCQW32_RECORD_DIR");
    unsetenv ("PCQW32_RECORD_MODE");
  end_unwind_protect
endfunction

## Every request, each as {printed text, output} or {error identifier, message}.
function out = run_requests (data_dir)
  ## Warnings are part of what a request gives (a cut history warns): without the backtrace,
  ## which names the line of the run that called.
  backtrace = warning ("query", "backtrace");
  warning ("off", "backtrace");
  restore = onCleanup (@() warning (backtrace.state, "backtrace"));
  quotes = store_query (fullfile (data_dir, "db1.sqlite"), ...
                        "select symbol, qualifier from securities order by id");
  symbols = cellfun (@(r) r{1}, quotes, "UniformOutput", false);
  qualifiers = cellfun (@(r) r{2}, quotes, "UniformOutput", false);
  keep = ! strcmp (symbols, "GE");   # GE's reads fail
  n = nnz (keep);
  requests = {{1, 1}, {1, 99}, {4, 1}, ...
              {2, 1, n, symbols(keep), qualifiers(keep)}, ...
              {2, 1, 2, {"IBM", "GE"}, {"", ""}}, {2, 1, 1, {"NOSUCH"}, {""}}, ...
              {6, 2, n, symbols(keep), qualifiers(keep)}, ...
              {3, 1, 0, {"MSFT"}, {""}}, {3, 1, 0, {"AAPL"}, {""}}, {3, 1, 0, {"GE"}, {""}}, ...
              {5, 1, 0, {"$SPX"}, {""}}, {5, 1, 0, {"IBM"}, {""}}, {5, 1, 0, {"KO"}, {""}}, ...
              {7, 1, 0, {"IBM"}, {""}}, {7, 1, 0, {"MSFT"}, {""}}};
  out = cell (size (requests));
  for k = 1:numel (requests)
    args = requests{k};
    value = [];
    try
      if (args{1} == 7)
        printed = evalc ("quorvex (args{:});");
      else
        printed = evalc ("value = quorvex (args{:});");
      endif
      out{k} = {printed, value};
    catch err
      out{k} = {err.identifier, err.message};
    end_try_catch
  endfor
  ## The failures are there as meant.
  assert (! isempty (strfind (out{5}{2}, "Data retrieval error 7")));
  assert (! isempty (strfind (out{13}{2}, "Data retrieval error 8")));
  assert (! isempty (strfind (out{9}{1}, "DBA_GET_APPROX failed with code 5")));
endfunction

function text = run_tool (tool, command, folder, rest)
  [status, text] = system (sprintf ("'%s' %s '%s' %s", tool, command, folder, rest));
  assert (status, 0, text);
endfunction
