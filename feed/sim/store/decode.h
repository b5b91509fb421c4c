// The feed's packed records read back into the value structures of records.h: the inverse of
// the encoders, field by field at the same offsets of the record layout (pcqw32_layout.h),
// through the layout's readers. The tool uses them to show what a
// recorded library sent, whatever library wrote the bytes, so nothing here assumes that the
// simulator made them: texts end at their first zero byte or at the end of their room.
#ifndef QUORVEX_FEED_SIM_DECODE_H
#define QUORVEX_FEED_SIM_DECODE_H

#include "records.h"
#include "store_fields.h"

#include <cstddef>
#include <string>
#include <vector>

namespace pcqw32 {

// Quote record (at least through its trade indicator).
QuoteValues decodeQuote(const unsigned char *record);
// Fundamentals record; the CUSIP text runs to the end of the `size` bytes given (at least to
// the CUSIP's offset).
FundamentalsValues decodeFundamentals(const unsigned char *record, std::size_t size);
// Version record; the serial number runs to the end of the `size` bytes given (at least to the
// serial's offset).
VersionValues decodeVersion(const unsigned char *record, std::size_t size);
// CANT record: the value and text, and the security key it starts with (at least to the
// text's offset).
CantValues decodeCant(const unsigned char *record, std::size_t size, std::string &symbol,
                      std::string &qualifier);
// The eight rows of a history block in delivery order (historyRecordOfRow).
std::vector<HistoryRow> decodeHistoryBlock(const unsigned char *block);
// The eight bars of a bar block in record order.
std::vector<BarRow> decodeBarBlock(const unsigned char *block);

// A field of a value structure as text: integers in decimal, decimals in their shortest exact
// form, dates as YYYY-MM-DD (empty for no date), texts in double quotes with escapes for
// anything not printable.
std::string formatField(const FieldRef &field);

// "name=value name=value ..." over a field list (the store's column names).
std::string formatFields(const std::vector<FieldRef> &fields);

} // namespace pcqw32

#endif
