function c = record_text (R, offset, room)
  % Text at byte `offset` of every record, up to its first zero byte and at most `room` bytes,
  % as a column cell array of strings.
  bytes = R(offset + 1:offset + room, :).';
  % Everything from the first zero byte on is cut.
  after = cumsum (bytes == 0, 2) > 0;
  bytes(after) = 0;
  c = deblank (cellstr (char (bytes)));
end
