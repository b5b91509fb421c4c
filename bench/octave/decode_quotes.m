function q = decode_quotes (R)
  % Decodes quote records (260 bytes each, one a column of the uint8 matrix R) into the
  % structure of 45 fields the module returns for request 2.
  flags = uint16 (record_field (R, 22, "uint16"));
  ticks = uint16 (record_field (R, 28, "uint16"));
  divisor = price_divisors (record_field (R, 24, "int16"));
  bit = @(w, b) double (bitand (bitshift (w, -b), 1));
  tick = @(b) -bit (ticks, b) + (1 - bit (ticks, b)) .* bit (ticks, b - 1);
  price = @(o) record_field (R, o, "int32") ./ divisor;
  size32 = @(o) record_field (R, o, "uint32");
  q = struct ();
  q.Symbol = record_text (R, 2, 20);
  q.PriceType = record_field (R, 24, "uint16");
  q.PrimaryExchange = record_text (R, 36, 2);
  q.SecCategory = record_field (R, 26, "uint16");
  q.Status = bit (flags, 5);
  q.News = bit (flags, 6);
  names = {"Last", "Open", "High", "Low", "Yesterday", "Bid", "Ask"};
  groups = [44 56 68 80 92 104 116];
  tickBits = [15 13 0 0 11 9 7];
  for g = 1:7
    o = groups(g);
    q.([names{g} "Price"]) = price (o);
    if (g != 5)
      q.([names{g} "Size"]) = size32 (o + 4);
      q.([names{g} "PriceTime"]) = time_of_day (R, o + 10);
    end
    if (tickBits(g) > 0)
      q.([names{g} "Tick"]) = tick (tickBits(g));
    end
    q.([names{g} "Exchange"]) = record_text (R, o + 8, 2);
  end
  q.OpenRange = size32 (160);
  q.CloseRange = [size32(164), size32(168)];
  q.Volume = size32 (156);
  q.OpenInterest = size32 (152);
  q.QuoteIndicator = record_field (R, 38, "uint16");
  q.TradeIndicator = record_field (R, 172, "uint16");
  q.ExDividendToday = bit (flags, 14);
  q.SplitToday = bit (flags, 15);
end

% Signed hours and minutes bytes as a fraction of a day; a negative sum gives the minutes.
function t = time_of_day (R, o)
  h = record_field (R, o, "int8");
  m = record_field (R, o + 1, "int8");
  t = h * (1 / 24) + m * (1 / 1440);
  t(t < 0) = m(t < 0);
end
