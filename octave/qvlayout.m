function layout = qvlayout()
%QVLAYOUT  The feed's record layout of history and bar rows: column names and meanings.
%   LAYOUT = QVLAYOUT() returns the one table that QVHISTORY and QVBARS name their columns
%   and convert their times and dates by. It follows the feed's record layout (for the feed
%   simulator, the history and bars tables of its documentation); where a feed lays out its
%   records otherwise, this is the one place to change.
%
%   History rows (QUORVEX request 3), module columns 1 to 7:
%     Day        day of the month of the trade print (1 to 31)
%     Price      trade price, scaled by the price type of its block
%     Size       shares (or contracts) traded
%     Hour       hour of the print, 0 to 23
%     Minute     minute of the print, 0 to 59
%     Second     second of the print, 0 to 59
%     Condition  the feed's trade condition code
%   and the derived column
%     Time       time of day as a fraction of a day: Hour/24 + Minute/1440 + Second/86400
%
%   Bar rows (QUORVEX request 5), module columns 1 to 6:
%     Stamp      start of the bar, in seconds since 1970-01-01 00:00 UTC
%     Open, High, Low, Close   prices, scaled by the bar's own price type
%     Volume     shares traded in the bar
%   and the derived column
%     Date       the stamp as a date number (UTC): datenum(1970, 1, 1) + Stamp/86400
%   The feed ends a bar series with a status of the next-block read: its end of data is
%   LAYOUT.bars.endStatus (9 for the feed simulator); QVBARS warns of a series that ended on
%   any other status as incomplete. For the vendor's library, a recording of a bar read shows
%   the status its series end with: pcqw32-sim calls <folder> <db> lists the last
%   DBA_GET_NEXT_BLOCK of each read with its status.
%
%   LAYOUT.history and LAYOUT.bars each hold: names (the module's columns in order), derived
%   (the name of the derived column), from (the columns it is computed from) and scale and
%   offset: derived = offset + sum of from(k) * scale(k). LAYOUT.bars.endStatus is the status
%   that ends a complete series.
%
%   Examples:
%     layout = qvlayout();
%     disp(strjoin(layout.bars.names, ', '));
%
%   See also QVHISTORY, QVBARS.
layout.history.names = {'Day', 'Price', 'Size', 'Hour', 'Minute', 'Second', 'Condition'};
layout.history.derived = 'Time';
layout.history.from = {'Hour', 'Minute', 'Second'};
layout.history.scale = [1 / 24, 1 / 1440, 1 / 86400];
layout.history.offset = 0;

layout.bars.names = {'Stamp', 'Open', 'High', 'Low', 'Close', 'Volume'};
layout.bars.derived = 'Date';
layout.bars.from = {'Stamp'};
layout.bars.scale = 1 / 86400;
layout.bars.offset = datenum(1970, 1, 1);
layout.bars.endStatus = 9;
end
