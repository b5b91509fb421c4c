## QUORVEX  Market data from the PCQW32 feed library.
##
##   RESULT = quorvex (REQUEST, DATABASE, ...)
##
## REQUEST is the request code (1 to 7, truncated toward zero); DATABASE the
## feed database number. Any other numeric request code returns at once with
## no output. Symbols and qualifiers are given as cell arrays of texts:
## symbols are cut to their first 11 characters, qualifiers have at most 4.
##
## Requests
##
##   n = quorvex (1, DATABASE)
##       Attach check: attaches to DATABASE, detaches, returns its number.
##
##   q = quorvex (2, DATABASE, N, SYMBOLS, QUALIFIERS)
##       Quote snapshot of the first N securities (cells 1 to N of SYMBOLS and
##       QUALIFIERS). Returns a 1-by-1 structure of N-by-1 columns, row i for
##       security i (45 fields):
##         Symbol PriceType PrimaryExchange SecCategory Status News
##         LastPrice LastSize LastPriceTime LastTick LastExchange
##         OpenPrice OpenSize OpenPriceTime OpenTick OpenExchange
##         HighPrice HighSize HighPriceTime HighExchange
##         LowPrice LowSize LowPriceTime LowExchange
##         YesterdayPrice YesterdayTick YesterdayExchange
##         BidPrice BidSize BidPriceTime BidTick BidExchange
##         AskPrice AskSize AskPriceTime AskTick AskExchange
##         OpenRange CloseRange (N-by-2) Volume OpenInterest
##         QuoteIndicator TradeIndicator ExDividendToday SplitToday
##       Symbol, PrimaryExchange and the *Exchange fields are N-by-1 cell
##       arrays of texts. N of 0 or less gives every field with 0 rows.
##
##   h = quorvex (3, DATABASE, ANY, SYMBOLS, QUALIFIERS)
##       Price history of the security in cell 1: an R-by-7 matrix, one row
##       per history record; column 2 is the price, column 3 an unsigned count,
##       columns 1 and 4 to 7 byte fields of the record. At most 500000 rows.
##
##   v = quorvex (4, DATABASE)
##       Version of the feed library: a structure with majorversion,
##       minorversion (numbers), release and serialnumber (texts).
##
##   b = quorvex (5, DATABASE, ANY, SYMBOLS, QUALIFIERS)
##       Bar series of the security in cell 1: a 75000-by-6 matrix, one row
##       per bar; columns 2 to 5 are prices, columns 1 and 6 integers. Rows
##       after the last bar are zero.
##
##   f = quorvex (6, DATABASE, N, SYMBOLS, QUALIFIERS)
##       Fundamentals snapshot of the first N securities: a 1-by-1 structure
##       (24 fields), N-by-1 columns unless noted:
##         LastUpdate Name BaseItem EPS S&PCode PriceType SecCategory
##         ClosePrice Volume VolumeFlag OpenInterest HistHigh HistLow
##         DivExp DivLast DivDate (3-by-N) DivFreq ExpDate (3-by-N)
##         Outstanding Beta ShPerContr StrikePrice RawMatDate (3-by-N)
##         CusipNumber
##       Name, BaseItem and CusipNumber are cell arrays of texts. Read the
##       field S&PCode as f.("S&PCode").
##
##   quorvex (7, DATABASE, ANY [, SYMBOLS, QUALIFIERS])
##       Reads the "CANT" record of the security in cell 1 (an empty symbol
##       and qualifier when they are not given). Returns nothing; a failed
##       read raises an error.
##
## Units
##
##   Prices are scaled by the divisor of their record's price-type code
##   (for example code 12 divides by 100). Sizes and counts are unsigned
##   integers. Times are fractions of a day (9:30 is 0.3958...); a time the
##   feed marks as invalid holds its minutes byte instead. Ticks are -1, 0
##   or +1, flags 0 or 1. Dates are three rows per security: the first two
##   date bytes as b0*100+b1, then the third and fourth bytes.
##
## Errors
##
##   Every error carries an identifier, so scripts can catch it:
##     quorvex:attachFailed     "Database Attach failed with error %d"
##     quorvex:detachFailed     "Detach error %d"
##     quorvex:versionFailed    "Get version error %d"
##     quorvex:retrievalFailed  "Data retrieval error %d"
##     quorvex:approxFailed     "Get Approx failed %d."
##     quorvex:nextFailed       "Get Next failed %d."
##     quorvex:capacityExceeded a history or bar series too long to return
##     quorvex:badInput         a missing or malformed input, named in the
##                              message
##     quorvex:feedLibrary      the feed library PCQW32 cannot be loaded
##   %d is the feed's status code. The module always closes its attachment
##   to the feed before it returns or raises.
##
## Examples
##
##   quorvex (1, 1)                          % is database 1 reachable?
##   q = quorvex (2, 1, 2, {"IBM", "MSFT"}, {"", ""});
##   [q.Symbol, num2cell([q.LastPrice, q.BidPrice, q.AskPrice])]
##   h = quorvex (3, 1, 0, {"IBM"}, {""});  plot (h(:, 2));
##   f = quorvex (6, 2, 1, {"IBM"}, {""});  f.("S&PCode")
##   try
##     quorvex (2, 1, 1, {"NOSUCH"}, {""});
##   catch err
##     if (strcmp (err.identifier, "quorvex:retrievalFailed"))
##       disp ("unknown security");
##     endif
##   end_try_catch

## The module itself is the compiled quorvex.mex beside this file; this file
## only carries its help text.
