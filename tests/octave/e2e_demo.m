## e2e_demo (chart_dir)
## Runs the demo and checks what it prints and that both charts exist and are not empty.
function e2e_demo (chart_dir)
  if (exist (chart_dir, "dir"))
    confirm_recursive_rmdir (false, "local");
    rmdir (chart_dir, "s");
  endif
  text = evalc ("quorvex_demo (chart_dir)");
  for expected = {"Quote board (request 2)", "Bid x Size", "MSFT", "Fundamentals (request 6)", ...
                  "120000 prints of MSFT", "75000 bars of $SPX", "quorvex:retrievalFailed", ...
                  "Charts saved in"}
    assert (! isempty (strfind (text, expected{1})), ["demo output lacks " expected{1}]);
  endfor
  assert (! isempty (regexp (text, "MSFT +[0-9]+\\.[0-9]{2} +[-+][0-9]+\\.[0-9]{2}", "once")));
  assert (! isempty (regexp (text, " [0-9]{2}:[0-9]{2}\n", "once")), "no HH:MM time");
  for png = {"msft-history.png", "spx-bars.png"}
    info = dir (fullfile (chart_dir, png{1}));
    assert (numel (info), 1, ["missing chart " png{1}]);
    assert (info.bytes > 2000, ["empty chart " png{1}]);
  endfor
  printf ("demo: ok\n");
endfunction
