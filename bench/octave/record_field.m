function v = record_field (R, offset, type)
  % Field at byte `offset` of every record (one record a column of the uint8 matrix R), as a
  % column of doubles; type is a typecast class name.
  switch (type)
    case {"uint8", "int8"}
      width = 1;
    case {"uint16", "int16"}
      width = 2;
    otherwise
      width = 4;
  end
  v = double (typecast (reshape (R(offset + 1:offset + width, :), [], 1), type));
end
