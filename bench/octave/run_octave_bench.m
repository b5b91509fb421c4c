function run_octave_bench (records, out_file, repetitions)
  % Times the module (quorvex.mex answering from the in-memory feed library) against the
  % Octave decoders of the same records, after checking that both give the same result.
  % records: folder of the files written by quorvex-bench-records. Writes one line per case
  % to out_file: name, rows, and the median seconds of the module, of the decoder and of the
  % host's share of the module's call (host_only.mex: the same arrays, no feed, no decoding).
  if (nargin < 3)
    repetitions = 7;
  end
  quotes = read_records (fullfile (records, "quotes.bin"), 260);
  fundamentals = read_records (fullfile (records, "fundamentals.bin"), 260);
  history = read_records (fullfile (records, "history.bin"), 144);
  bars = read_records (fullfile (records, "bars.bin"), 256);
  pool = columns (quotes);
  out = fopen (out_file, "w");
  for n = [100 1000 10000 100000]
    symbols = arrayfun (@(i) sprintf ("S%06d", i), 0:n - 1, "UniformOutput", false);
    qualifiers = repmat ({"US"}, 1, n);
    rows = mod (0:n - 1, pool) + 1;
    R = quotes(:, rows);
    report (out, sprintf ("quotes/%d", n), n, repetitions, ...
            @() quorvex (2, 2, n, symbols, qualifiers), @() decode_quotes (R), ...
            @() host_only (2, n));
    R = fundamentals(:, rows);
    report (out, sprintf ("fundamentals/%d", n), n, repetitions, ...
            @() quorvex (6, 6, n, symbols, qualifiers), @() decode_fundamentals (R), ...
            @() host_only (6, n));
  end
  report (out, "history", 500000, repetitions, ...
          @() quorvex (3, 3, 1, {"HISTSEC"}, {"US"}), @() decode_history (history), ...
          @() host_only (3, 1));
  report (out, "bars", 75000, repetitions, ...
          @() quorvex (5, 5, 1, {"S000000"}, {"US"}), @() decode_bars (bars), ...
          @() host_only (5, 1));
  fclose (out);
end

function R = read_records (file, size)
  f = fopen (file, "r");
  R = fread (f, [size, Inf], "uint8=>uint8");
  fclose (f);
end

function report (out, name, rows, repetitions, module, decoder, host)
  if (! isequal (module (), decoder ()))
    error ("run_octave_bench: %s: the module and the decoder disagree", name);
  end
  tm = median_time (module, repetitions);
  td = median_time (decoder, repetitions);
  th = median_time (host, repetitions);
  fprintf (out, "%s %d %.9g %.9g %.9g\n", name, rows, tm, td, th);
  printf ("%-20s module %10.3f ms  octave decoder %10.3f ms  ratio %6.1f  host share %10.3f ms\n", ...
          name, tm * 1e3, td * 1e3, td / tm, th * 1e3);
end

function t = median_time (f, repetitions)
  times = zeros (1, repetitions);
  for k = 1:repetitions
    tic ();
    r = f ();
    times(k) = toc ();
    clear r;
  end
  t = median (times);
end
