function h = decode_history (B)
  % Decodes history blocks (144 bytes each: eight 18-byte records, one block a column of the
  % uint8 matrix B) into the rows-by-7 matrix of request 3: each block's records newest
  % first, its prices scaled by the divisor of its first record's price type.
  blocks = columns (B);
  R = reshape (B, 18, 8, blocks);
  R = reshape (R(:, 8:-1:1, :), 18, []);
  divisor = repelem (price_divisors (double (B(11, :))), 8).';
  h = [record_field(R, 8, "uint8"), record_field(R, 0, "int32") ./ divisor, ...
       record_field(R, 4, "uint32"), record_field(R, 15, "uint8"), ...
       record_field(R, 16, "uint8"), record_field(R, 17, "uint8"), record_field(R, 11, "uint8")];
end
