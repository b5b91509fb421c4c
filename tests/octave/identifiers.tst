## Every error identifier the feed simulator can provoke, raised the way a script catches it,
## with the message text the module raises; and the help text lists them.
## Needs PCQW32_DATA_DIR (the sample store) and QUORVEX_SIM_TOOL (pcqw32-sim).
## Every fault is set for the one call it concerns (with_faults).

## Octave's %!error checks either the identifier or the message: each case has both.
%!shared big
%! ## Database 7: one security whose history is longer than a scan can return (500,008 rows).
%! csv = [tempname() ".csv"];
%! fid = fopen (csv, "w");
%! fprintf (fid, "symbol,qualifier,day,price,size,hour,minute,second,condition,price_type\n");
%! fprintf (fid, "BIG,,1,%d,1,9,30,0,0,2\n", mod (0:500007, 1000));
%! fclose (fid);
%! big = fullfile (getenv ("PCQW32_DATA_DIR"), "db7.sqlite");
%! if (exist (big, "file"))
%!   delete (big);
%! endif
%! [status, out] = system (sprintf ("'%s' import '%s' 7 history '%s'", ...
%!                                  getenv ("QUORVEX_SIM_TOOL"), getenv ("PCQW32_DATA_DIR"), csv));
%! delete (csv);
%! assert (status, 0, out);

%!error id=quorvex:attachFailed quorvex (1, 99)
%!error <Database Attach failed with error 12> quorvex (1, 99)
%!error id=quorvex:detachFailed with_faults ("detach:21", @() quorvex (1, 1))
%!error <Detach error 21> with_faults ("detach:21", @() quorvex (1, 1))
%!error id=quorvex:versionFailed with_faults ("version:22", @() quorvex (4, 1))
%!error <Get version error 22> with_faults ("version:22", @() quorvex (4, 1))
%!error id=quorvex:retrievalFailed with_faults ("get_record:23", @() quorvex (2, 1, 1, {"IBM"}, {""}))
%!error <Data retrieval error 23> with_faults ("get_record:23", @() quorvex (2, 1, 1, {"IBM"}, {""}))
%!error id=quorvex:retrievalFailed with_faults ("first_block:24", @() quorvex (5, 1, 0, {"IBM"}, {""}))
%!error <Data retrieval error 24> with_faults ("first_block:24", @() quorvex (5, 1, 0, {"IBM"}, {""}))
%!error id=quorvex:retrievalFailed with_faults ("get_record_ext:25", @() quorvex (7, 1, 0, {"IBM"}, {""}))
%!error <Data retrieval error 25> with_faults ("get_record_ext:25", @() quorvex (7, 1, 0, {"IBM"}, {""}))
%!error id=quorvex:approxFailed with_faults ("approx:26:1", @() quorvex (3, 1, 0, {"IBM"}, {""}))
%!error <Get Approx failed 26\.> with_faults ("approx:26:1", @() quorvex (3, 1, 0, {"IBM"}, {""}))
%!error id=quorvex:nextFailed with_faults ("approx:27:3", @() quorvex (3, 1, 0, {"IBM"}, {""}))
%!error <Get Next failed 27\.> with_faults ("approx:27:3", @() quorvex (3, 1, 0, {"IBM"}, {""}))
%!error id=quorvex:badInput quorvex (6, 2, 1, {"IBM"}, {"12345"})
%!error <a qualifier has at most 4 characters> quorvex (6, 2, 1, {"IBM"}, {"12345"})
%!error id=quorvex:capacityExceeded quorvex (3, 7, 0, {"BIG"}, {""})
%!error <more than 500000 rows> quorvex (3, 7, 0, {"BIG"}, {""})

## A fault that ends the history early is no error: the rows so far come back.
%!test
%! h = with_faults ("delivery:9:4", @() quorvex (3, 1, 0, {"IBM"}, {""}));
%! assert (size (h), [24, 7]);

## The help lists every identifier, the requests and the units.
%!test
%! text = evalc ("help quorvex");
%! for id = {"attachFailed", "detachFailed", "versionFailed", "retrievalFailed", ...
%!           "approxFailed", "nextFailed", "feedStalled", "capacityExceeded", "badInput", ...
%!           "feedLibrary", "noHistory"}
%!   assert (! isempty (strfind (text, ["quorvex:" id{1}])), ["help lacks " id{1}]);
%! endfor
%! for phrase = {"QUORVEX(1, DATABASE)", "QUORVEX(2, DATABASE, N, SYMBOLS, QUALIFIERS)", ...
%!               "S&PCode", "CloseRange", "fractions of a day", "QUORVEX_FEED_CALLBACK", ...
%!               "qvquotes('IBM')"}
%!   assert (! isempty (strfind (text, phrase{1})), ["help lacks " phrase{1}]);
%! endfor
