function dates = qv_datenum(parts)
%QV_DATENUM  Feed dates as date numbers: PARTS holds one date per column, year (the first two
%   date bytes as b0*100+b1), month and day; the result is a column with one date number per
%   date, NaN for all zeros (no date) and for any other day that does not exist.
year = parts(1, :)';
month = parts(2, :)';
day = parts(3, :)';
dates = NaN(size(year));
valid = year >= 1 & month >= 1 & month <= 12 & day >= 1;
valid(valid) = day(valid) <= eomday(year(valid), month(valid));
if any(valid)
  dates(valid) = datenum(year(valid), month(valid), day(valid));
end
end
