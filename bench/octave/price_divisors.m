function d = price_divisors (codes)
  % Divisor of each price-type code: the table of codes 0 to 15, and 1 for any other code.
  table = [256 64 1 1 1 256 256 256 256 1 1 10 100 1000 10000 100000];
  d = ones (size (codes));
  known = codes >= 0 & codes <= 15;
  d(known) = table(double (codes(known)) + 1);
end
