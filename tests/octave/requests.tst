## Every request of the module in GNU Octave against the feed simulator's sample store, each
## result compared with what the store holds (read a second way, with the sqlite3 shell).
## Needs PCQW32_DATA_DIR (the sample store, with database 3 a copy of database 1).

%!shared db1, db2
%! db1 = fullfile (getenv ("PCQW32_DATA_DIR"), "db1.sqlite");
%! db2 = fullfile (getenv ("PCQW32_DATA_DIR"), "db2.sqlite");

%!function t = fix_time (h, m)
%!  t = h * (1 / 24) + m * (1 / 1440);
%!  t(t < 0) = m(t < 0);
%!endfunction

%!function d = date_rows (texts)
%!  d = zeros (3, numel (texts));
%!  for i = find (! cellfun (@isempty, texts))(:)'
%!    d(:, i) = sscanf (texts{i}, "%d-%d-%d");
%!  endfor
%!endfunction

%!function [symbols, qualifiers] = store_securities (db)
%!  secs = store_query (db, "select symbol, qualifier from securities order by id");
%!  symbols = cellfun (@(r) r{1}, secs, "UniformOutput", false);
%!  qualifiers = cellfun (@(r) [r{2:end}], secs, "UniformOutput", false);
%!endfunction

## Request 1: the attach check returns the truncated database number.
%!assert (quorvex (1, 3.7), 3)
%!assert (quorvex (1, 1), 1)
%!error <Database Attach failed with error 12> quorvex (1, 99)

## Request 4: the version structure.
%!test
%! v = quorvex (4, 1);
%! want = store_query (db1, "select major, minor, release, serial from version"){1};
%! assert (fieldnames (v)', {"majorversion", "minorversion", "release", "serialnumber"});
%! assert ({v.majorversion, v.minorversion, v.release, v.serialnumber}, ...
%!         {str2double(want{1}), str2double(want{2}), want{3}, want{4}});

## Request 2: every security of the quote store, in store order.
%!test
%! [symbols, qualifiers] = store_securities (db1);
%! n = numel (symbols);
%! assert (n >= 50);
%! q = quorvex (2, 1, n, symbols, qualifiers);
%! assert (numel (fieldnames (q)), 45);
%! cols = ["coalesce(symbol_text, s.symbol), price_type, sec_category, status, news, " ...
%!         "last_price, last_size, last_hour, last_minute, last_tick, open_price, open_size, " ...
%!         "open_hour, open_minute, open_tick, high_price, high_size, high_hour, high_minute, " ...
%!         "low_price, low_size, low_hour, low_minute, yesterday_price, yesterday_tick, " ...
%!         "bid_price, bid_size, bid_hour, bid_minute, bid_tick, ask_price, ask_size, " ...
%!         "ask_hour, ask_minute, ask_tick, open_range, close_range_1, close_range_2, volume, " ...
%!         "open_interest, quote_indicator, trade_indicator, ex_dividend_today, split_today, " ...
%!         "primary_exchange, last_exchange, open_exchange, high_exchange, low_exchange, " ...
%!         "yesterday_exchange, bid_exchange, ask_exchange"];
%! recs = store_query (db1, ["select " cols " from quotes join securities s on " ...
%!                           "s.id = security_id order by s.id"]);
%! assert (numel (recs), n);
%! num = @(k) cellfun (@(r) str2double (r{k}), recs)';
%! txt = @(k) cellfun (@(r) r{k}, recs, "UniformOutput", false)';
%! day = @(h, m) fix_time (num (h), num (m));
%! assert (q.Symbol, txt (1));
%! assert ([q.PriceType, q.SecCategory, q.Status, q.News], [num(2), num(3), num(4), num(5)]);
%! assert ([q.LastPrice, q.LastSize, q.LastTick], [num(6), num(7), num(10)], 1e-9);
%! assert ([q.OpenPrice, q.OpenSize, q.OpenTick], [num(11), num(12), num(15)], 1e-9);
%! assert ([q.HighPrice, q.HighSize], [num(16), num(17)], 1e-9);
%! assert ([q.LowPrice, q.LowSize], [num(20), num(21)], 1e-9);
%! assert ([q.YesterdayPrice, q.YesterdayTick], [num(24), num(25)], 1e-9);
%! assert ([q.BidPrice, q.BidSize, q.BidTick], [num(26), num(27), num(30)], 1e-9);
%! assert ([q.AskPrice, q.AskSize, q.AskTick], [num(31), num(32), num(35)], 1e-9);
%! assert ([q.LastPriceTime, q.OpenPriceTime, q.HighPriceTime, q.LowPriceTime, ...
%!          q.BidPriceTime, q.AskPriceTime], ...
%!         [day(8, 9), day(13, 14), day(18, 19), day(22, 23), day(28, 29), day(33, 34)], 1e-12);
%! assert ([q.OpenRange, q.CloseRange, q.Volume, q.OpenInterest], ...
%!         [num(36), num(37), num(38), num(39), num(40)]);
%! assert ([q.QuoteIndicator, q.TradeIndicator, q.ExDividendToday, q.SplitToday], ...
%!         [num(41), num(42), num(43), num(44)]);
%! names = {"PrimaryExchange", "LastExchange", "OpenExchange", "HighExchange", ...
%!          "LowExchange", "YesterdayExchange", "BidExchange", "AskExchange"};
%! for k = 1:numel (names)
%!   assert (q.(names{k}), txt (44 + k));
%! endfor
%! assert (max (q.Volume) > 2^31);   # sizes above 2^31 stay positive
%!error <Data retrieval error 4> quorvex (2, 1, 1, {"NOSUCH"}, {""})

## Request 6: the fundamentals store.
%!test
%! [symbols, qualifiers] = store_securities (db2);
%! f = quorvex (6, 2, numel (symbols), symbols, qualifiers);
%! assert (fieldnames (f)', {"LastUpdate", "Name", "BaseItem", "EPS", "S&PCode", ...
%!                           "PriceType", "SecCategory", "ClosePrice", "Volume", ...
%!                           "VolumeFlag", "OpenInterest", "HistHigh", "HistLow", "DivExp", ...
%!                           "DivLast", "DivDate", "DivFreq", "ExpDate", "Outstanding", ...
%!                           "Beta", "ShPerContr", "StrikePrice", "RawMatDate", "CusipNumber"});
%! recs = store_query (db2, ["select name, base_item, cusip, last_update, eps, sp_code, " ...
%!                           "price_type, sec_category, close_price, volume, volume_flag, " ...
%!                           "open_interest, hist_high, hist_low, div_exp, div_last, div_freq, " ...
%!                           "outstanding, beta, sh_per_contr, strike_price, div_date, " ...
%!                           "exp_date, mat_date from fundamentals join securities s on " ...
%!                           "s.id = security_id order by s.id"]);
%! num = @(k) cellfun (@(r) str2double (r{k}), recs)';
%! txt = @(k) cellfun (@(r) r{k}, recs, "UniformOutput", false)';
%! assert ([f.Name, f.BaseItem, f.CusipNumber], [txt(1), txt(2), txt(3)]);
%! assert ([f.LastUpdate, f.EPS, f.("S&PCode"), f.PriceType, f.SecCategory], ...
%!         [num(4), num(5), num(6), num(7), num(8)], 1e-9);
%! assert ([f.ClosePrice, f.Volume, f.VolumeFlag, f.OpenInterest, f.HistHigh, f.HistLow], ...
%!         [num(9), num(10), num(11), num(12), num(13), num(14)], 1e-9);
%! assert ([f.DivExp, f.DivLast, f.DivFreq, f.Outstanding, f.Beta, f.ShPerContr], ...
%!         [num(15), num(16), num(17), num(18), num(19), num(20)], 1e-9);
%! assert (f.StrikePrice, num (21), 1e-9);
%! assert ({f.DivDate, f.ExpDate, f.RawMatDate}, ...
%!         {date_rows(txt (22)), date_rows(txt (23)), date_rows(txt (24))});

## Request 3: the longest history of the sample, in stored order.
%!test
%! h = quorvex (3, 1, 0, {"MSFT"}, {""});
%! want = store_numbers (db1, ["select day, price, size, hour, minute, second, condition " ...
%!                             "from history join securities s on s.id = security_id " ...
%!                             "where s.symbol = 'MSFT' and s.qualifier = '' order by seq"]);
%! assert (rows (h) >= 100000);
%! assert (h, want, 1e-9);

## Request 5: the full bar series.
%!test
%! b = quorvex (5, 1, 0, {"$SPX"}, {""});
%! want = store_numbers (db1, ["select stamp, open, high, low, close, volume from bars " ...
%!                             "join securities s on s.id = security_id " ...
%!                             "where s.symbol = '$SPX' order by seq"]);
%! assert (size (b), [75000, 6]);
%! assert (b, want, 1e-9);

## Request 7: a read that succeeds returns nothing; one that fails raises its message.
%!error <value on right hand side of assignment is undefined> x = quorvex (7, 1, 0, {"IBM"}, {""});
%!error <Data retrieval error 4> quorvex (7, 1, 0, {"MSFT"}, {""})

## Bad inputs raise, naming the input, and never take the host down; codes outside 1 to 7
## return at once with no output.
%!error <Input 4> quorvex (2, 1, 3, {"IBM"}, {""})
%!error <Input 4> quorvex (3, 1, 0, "IBM", {""})
%!error <Input 5> quorvex (6, 1, 1, {"IBM"}, {"TOOLONG"})
%!error <Input 2> quorvex (1)
%!error <Input 1> quorvex (NaN, 1)
%!error <value on right hand side of assignment is undefined> x = quorvex (9, 1);
