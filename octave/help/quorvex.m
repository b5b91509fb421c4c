%QUORVEX  Market data from the PCQW32 feed library.
%   RESULT = QUORVEX(REQUEST, DATABASE, ...) answers one request of the feed library PCQW32
%   through its entry point dbax. REQUEST is the request code (1 to 7, truncated toward
%   zero); any other numeric code returns at once with no output. DATABASE is the feed
%   database number. Symbols and qualifiers are given as cell arrays of texts: a symbol has
%   at most 11 characters (longer ones are cut), a qualifier at most 4.
%
%   For everyday work the functions below call QUORVEX for you, by name, with the databases
%   kept by QVDEFAULTS, plain texts for securities, named columns and date numbers:
%     qvquotes('IBM')               current quotes, a struct array (request 2)
%     qvfundamentals('KO')          fundamentals with their dates as date numbers (request 6)
%     qvhistory('MSFT')             trade history, named columns and time of day (request 3)
%     qvbars('$SPX')                bar series, only the bars delivered, with dates (request 5)
%     qvversion()                   the feed library's version (request 4)
%     qvattach(1)                   whether a database can be attached (request 1)
%     qvcant({'IBM', 'AAPL'})       CANT records read (request 7)
%     qvdefaults()                  the default databases, kept across sessions
%     qvlayout()                    the column names of history and bar rows
%     qvsample()                    writes the feed simulator's sample stores
%   Each has its own help (help qvquotes). A security the feed cannot read does not stop the
%   others in qvquotes and qvfundamentals: see their second output.
%
%   Requests
%
%   N = QUORVEX(1, DATABASE)
%     Attach check: attaches to DATABASE, detaches, returns its number.
%
%   [Q, STATUS] = QUORVEX(2, DATABASE, N, SYMBOLS, QUALIFIERS)
%     Quote snapshot of the first N securities (cells 1 to N of SYMBOLS and QUALIFIERS).
%     Returns a 1-by-1 structure of N-by-1 columns, row i for security i (45 fields):
%       Symbol PriceType PrimaryExchange SecCategory Status News
%       LastPrice LastSize LastPriceTime LastTick LastExchange
%       OpenPrice OpenSize OpenPriceTime OpenTick OpenExchange
%       HighPrice HighSize HighPriceTime HighExchange
%       LowPrice LowSize LowPriceTime LowExchange
%       YesterdayPrice YesterdayTick YesterdayExchange
%       BidPrice BidSize BidPriceTime BidTick BidExchange
%       AskPrice AskSize AskPriceTime AskTick AskExchange
%       OpenRange CloseRange (N-by-2) Volume OpenInterest
%       QuoteIndicator TradeIndicator ExDividendToday SplitToday
%     Symbol, PrimaryExchange and the *Exchange fields are N-by-1 cell arrays of texts.
%     N of 0 or less gives every field with 0 rows. With one output the first security the
%     feed cannot read raises 'Data retrieval error N'; with a second output the request
%     goes on past it: its row holds NaN in every number and '' in every text, and STATUS
%     is an N-by-1 column of the feed's statuses, 0 for a security read. Read quotes from a
%     quote database: the feed keeps fundamentals apart, and a quote read from a fundamentals
%     database decodes into meaningless numbers.
%
%   [H, ENDED] = QUORVEX(3, DATABASE, ANY, SYMBOLS, QUALIFIERS)
%     Price history of the security in cell 1: an R-by-7 matrix, one row per history
%     record, at most 500000 rows. Column 2 is the price, column 3 an unsigned count,
%     columns 1 and 4 to 7 byte fields of the record (qvlayout names them: day, price, size,
%     hour, minute, second, condition). It returns exactly the requested security's history:
%     the whole symbol and the whole qualifier are compared, and an empty qualifier means
%     the security without one. For an unknown security, or one without history, it
%     returns the 0-by-7 matrix and raises the warning quorvex:noHistory naming the symbol
%     and qualifier (and the qualifier the feed holds the symbol's history under, when the
%     feed went on to it); silence it with warning('off', 'quorvex:noHistory'). A feed that
%     reports a failure during the scan ends it there: the rows delivered so far are
%     returned and no error is raised; for a failed read the line 'DBA_GET_APPROX failed
%     with code N' is printed (N is the feed's status) and the warning
%     quorvex:historyIncomplete names the status and the rows returned. ENDED, when asked
%     for, is [STATUS EVENT]: the status and event code of the feed's delivery that ended
%     the scan (status 0 for a block of the next security).
%
%   V = QUORVEX(4, DATABASE)
%     Version of the feed library: a structure with majorversion, minorversion (numbers),
%     release and serialnumber (texts).
%
%   [B, ENDED] = QUORVEX(5, DATABASE, ANY, SYMBOLS, QUALIFIERS)
%     Bar series of the security in cell 1: a 75000-by-6 matrix, one row per bar; columns
%     2 to 5 are prices, columns 1 and 6 integers (qvlayout names them: stamp, open, high,
%     low, close, volume). Rows after the last bar are zero. The feed ends a series with a
%     nonzero status of its next-block read, its end of data or a failure; ENDED, when asked
%     for, is that status. qvbars warns of a series that did not end on the end of the data
%     (qvlayout's bars.endStatus).
%
%   [F, STATUS] = QUORVEX(6, DATABASE, N, SYMBOLS, QUALIFIERS)
%     Fundamentals snapshot of the first N securities: a 1-by-1 structure (24 fields),
%     N-by-1 columns unless noted:
%       LastUpdate Name BaseItem EPS S&PCode PriceType SecCategory
%       ClosePrice Volume VolumeFlag OpenInterest HistHigh HistLow
%       DivExp DivLast DivDate (3-by-N) DivFreq ExpDate (3-by-N)
%       Outstanding Beta ShPerContr StrikePrice RawMatDate (3-by-N)
%       CusipNumber
%     Name, BaseItem and CusipNumber are cell arrays of texts. Read the field S&PCode as
%     f.('S&PCode'). STATUS as for request 2.
%
%   QUORVEX(7, DATABASE, ANY, SYMBOLS, QUALIFIERS)
%     Reads the 'CANT' record of the security in cell 1 (an empty symbol and qualifier when
%     they are not given). Returns nothing; a failed read raises an error.
%
%   TEXT = QUORVEX('feedError')
%     The feed library's own description of the failed feed call that the last request
%     raised an error for: '' when the library offers none (the feed simulator offers one)
%     or the last request raised no feed failure. Makes no feed call. The functions by name
%     add it to the message of a failed attach.
%
%   Units
%
%   Prices are scaled by the divisor of their record's price-type code (code 12 divides by
%   100). Sizes and counts are unsigned integers. Times are fractions of a day (9:30 is
%   0.3958...), the fractional part of a date number: datenum(2024, 6, 12) + q.LastPriceTime
%   is the moment on 12 June 2024, and datestr(q.LastPriceTime(1), 'HH:MM') shows the time.
%   A time the feed marks as invalid holds its minutes byte instead. Ticks are -1, 0 or +1,
%   flags 0 or 1. Dates are three rows per security: the first two date bytes as b0*100+b1
%   (the year), then the third and fourth bytes (month and day); all zeros is no date.
%   qvfundamentals turns them into date numbers.
%
%   Errors
%
%   Every error carries an identifier, so scripts can catch it. In GNU Octave the message
%   begins with 'quorvex: '. The messages with %d show the feed's status code; what the
%   feed simulator's statuses mean (12: no such store file, 13: not a store, 9: end of
%   data, 15: not in the recording, ...) is listed under Feed statuses in the README, and
%   QUORVEX('feedError') gives the feed library's own description where it has one.
%     quorvex:attachFailed      'Database Attach failed with error %d'
%     quorvex:detachFailed      'Detach error %d'
%     quorvex:versionFailed     'Get version error %d'
%     quorvex:retrievalFailed   'Data retrieval error %d'
%     quorvex:approxFailed      'Get Approx failed %d.'
%     quorvex:nextFailed        'Get Next failed %d.'
%     quorvex:feedStalled       the feed stopped delivering during a history scan; the
%                               attachment is closed
%     quorvex:capacityExceeded  a history or bar series too long to return
%     quorvex:badInput          a missing or malformed input, named in the message
%     quorvex:feedLibrary       the feed library PCQW32 cannot be loaded, has no entry
%                               point dbax, was found neither beside the module nor on
%                               the PATH (Windows), or has a calling convention that
%                               cannot be used (a call removed an unexpected number of
%                               argument bytes)
%   and the warnings
%     quorvex:noHistory         request 3 found no history for the security
%     quorvex:historyIncomplete request 3 was cut by a failed delivery of the feed
%   The module always closes its attachment to the feed before it returns or raises.
%
%   32-bit Windows
%
%   The module loads PCQW32.dll by its full path from the module's own folder; only when
%   there is none there, from the first absolute folder of PATH that holds one. The current
%   folder is never searched, so a PCQW32.dll in the folder you work in is never run. A
%   PCQW32.dll that is found and fails to load is reported with its path and the system's
%   reason. The module works with a library whose dbax is __stdcall or __cdecl: the first
%   call tells which.
%   The environment variable QUORVEX_FEED_CALLBACK=stdcall or QUORVEX_FEED_CALLBACK=cdecl
%   overrides the calling convention of the history callback, for a feed library that mixes
%   conventions. It is read once, when the module first needs it; any other value is
%   refused with a clear error.
%
%   Examples:
%     n = quorvex(1, 1);
%     q = quorvex(2, 1, 2, {'IBM', 'MSFT'}, {'', ''});
%     board = [q.Symbol, num2cell([q.LastPrice, q.BidPrice, q.AskPrice])];
%     h = quorvex(3, 1, 0, {'IBM'}, {''});
%     f = quorvex(6, 2, 1, {'IBM'}, {''});
%     code = f.('S&PCode');
%     try
%       quorvex(2, 1, 1, {'NOSUCH'}, {''});
%     catch err
%       if strcmp(err.identifier, 'quorvex:retrievalFailed')
%         disp('unknown security');
%       end
%     end
%
%   See also QVQUOTES, QVFUNDAMENTALS, QVHISTORY, QVBARS, QVDEFAULTS.

% The module itself is the compiled quorvex.mex (quorvex.mexw32 on 32-bit Windows) beside
% this file; this file only carries its help text.
