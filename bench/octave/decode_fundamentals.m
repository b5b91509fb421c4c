function f = decode_fundamentals (R)
  % Decodes fundamentals records (260 bytes each, one a column of the uint8 matrix R) into
  % the structure of 24 fields the module returns for request 6.
  u16 = @(o) record_field (R, o, "uint16");
  u32 = @(o) record_field (R, o, "uint32");
  i32 = @(o) record_field (R, o, "int32");
  date = @(o) [double(R(o + 1, :)) * 100 + double(R(o + 2, :)); double(R(o + 3:o + 4, :))];
  divisor = price_divisors (record_field (R, 54, "int16"));
  dividendScale = 10 .^ u16 (64);
  f = struct ();
  f.LastUpdate = u16 (46);
  f.Name = record_text (R, 128, 48);
  f.BaseItem = record_text (R, 26, 20);
  f.EPS = record_field (R, 178, "int16") ./ 10 .^ u16 (176);
  f.("S&PCode") = u16 (180);
  f.PriceType = u16 (54);
  f.SecCategory = u16 (56);
  f.ClosePrice = i32 (92) ./ divisor;
  f.Volume = u32 (104);
  f.VolumeFlag = u16 (60);
  f.OpenInterest = i32 (108);
  f.HistHigh = i32 (96) ./ divisor;
  f.HistLow = i32 (100) ./ divisor;
  f.DivExp = u16 (70) ./ dividendScale;
  f.DivLast = u16 (66) ./ dividendScale;
  f.DivDate = date (72);
  f.DivFreq = u16 (48);
  f.ExpDate = date (76);
  f.Outstanding = u32 (112);
  f.Beta = u16 (58) * 0.01;
  f.ShPerContr = u32 (116);
  f.StrikePrice = i32 (120) ./ divisor;
  f.RawMatDate = date (80);
  f.CusipNumber = record_text (R, 186, 74);
end
