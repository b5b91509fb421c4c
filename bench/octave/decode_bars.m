function b = decode_bars (B)
  % Decodes bar blocks (256 bytes each: eight 32-byte records, one block a column of the
  % uint8 matrix B) into the 75000-by-6 matrix of request 5, every price scaled by the
  % divisor of its own record's price type.
  R = reshape (B, 32, []);
  divisor = price_divisors (record_field (R, 1, "uint8"));
  b = zeros (75000, 6);
  rows = columns (R);
  b(1:rows, :) = [record_field(R, 2, "uint32"), record_field(R, 6, "int32") ./ divisor, ...
                  record_field(R, 10, "int32") ./ divisor, record_field(R, 14, "int32") ./ divisor, ...
                  record_field(R, 18, "int32") ./ divisor, record_field(R, 22, "int32")];
end
