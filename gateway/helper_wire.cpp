#include "helper_wire.h"

#include "failures.h"
#include "pcqw32_layout.h"
#include "raw_records.h"
#include "results.h"

#include <cstring>

namespace {

// The fields of the fixed-width headers, by their byte offsets. A control message: magic, kind,
// version, sequence, bytes, detail, offset. A request: magic, version, code, database, count,
// outputs, securities, environment bytes. A reply: magic, version, total bytes, events, slots,
// where the events and the directory start. An event: kind, identifier offset and length, text
// offset and length. An entry of a column of texts: the text's offset and length.
constexpr size_t MESSAGE_KIND_AT = 4, MESSAGE_VERSION_AT = 8, MESSAGE_SEQUENCE_AT = 12;
constexpr size_t MESSAGE_BYTES_AT = 16, MESSAGE_DETAIL_AT = 20, MESSAGE_OFFSET_AT = 24;
constexpr size_t REQUEST_VERSION_AT = 4, REQUEST_CODE_AT = 8, REQUEST_DATABASE_AT = 12;
constexpr size_t REQUEST_COUNT_AT = 16, REQUEST_OUTPUTS_AT = 20, REQUEST_SECURITIES_AT = 24;
constexpr size_t REQUEST_ENVIRONMENT_AT = 28;
constexpr size_t REPLY_VERSION_AT = 4, REPLY_TOTAL_AT = 8, REPLY_EVENT_COUNT_AT = 12;
constexpr size_t REPLY_SLOT_COUNT_AT = 16, REPLY_EVENTS_AT = 20, REPLY_DIRECTORY_AT = 24;
constexpr size_t REPLY_RESERVED_AT = 28;
constexpr size_t HELPER_EVENT_SIZE = 20;
constexpr size_t EVENT_ID_AT = 4, EVENT_ID_LENGTH_AT = 8, EVENT_TEXT_AT = 12;
constexpr size_t EVENT_TEXT_LENGTH_AT = 16;
constexpr size_t TEXT_ENTRY_SIZE = 8, TEXT_ENTRY_LENGTH_AT = 4;

// ---- Little-endian fields of the section ----

// A word at `at` itself.
constexpr size_t HERE = 0;

void putWord(unsigned char *at, uint32_t value) {
    writeU32(at, HERE, value);
}

uint32_t word(const unsigned char *at) {
    return readU32(at, HERE);
}

size_t aligned(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

// ---- Control messages ----

void encodeHelperMessage(const HelperMessage &message, unsigned char out[HELPER_MESSAGE_SIZE]) {
    std::memset(out, 0, HELPER_MESSAGE_SIZE);
    putWord(out, HELPER_MESSAGE_MAGIC);
    putWord(out + MESSAGE_KIND_AT, message.kind);
    putWord(out + MESSAGE_VERSION_AT, message.version);
    putWord(out + MESSAGE_SEQUENCE_AT, message.sequence);
    putWord(out + MESSAGE_BYTES_AT, message.bytes);
    putWord(out + MESSAGE_DETAIL_AT, message.detail);
    putWord(out + MESSAGE_OFFSET_AT, message.offset);
}

bool decodeHelperMessage(const unsigned char in[HELPER_MESSAGE_SIZE], HelperMessage *message) {
    if (word(in) != HELPER_MESSAGE_MAGIC) {
        return false;
    }
    message->kind = word(in + MESSAGE_KIND_AT);
    message->version = word(in + MESSAGE_VERSION_AT);
    message->sequence = word(in + MESSAGE_SEQUENCE_AT);
    message->bytes = word(in + MESSAGE_BYTES_AT);
    message->detail = word(in + MESSAGE_DETAIL_AT);
    message->offset = word(in + MESSAGE_OFFSET_AT);
    return true;
}

// ---- Requests ----
// Header: magic, version, code, database, count, outputs asked for, securities, the
// environment's bytes; then each security's 12-byte symbol and 12-byte qualifier buffers; then
// the environment.

size_t helperRequestSize(int32_t securities, size_t environmentBytes) {
    return HELPER_REQUEST_HEADER_SIZE +
           static_cast<size_t>(securities > 0 ? securities : 0) * HELPER_SECURITY_SIZE +
           environmentBytes;
}

void encodeHelperRequest(const RequestInputs &inputs, int outputCount, const char *environment,
                         size_t environmentBytes, unsigned char *section) {
    const int32_t securities = inputs.securities.count;
    std::memset(section, 0, HELPER_REQUEST_HEADER_SIZE);
    putWord(section, HELPER_REQUEST_MAGIC);
    putWord(section + REQUEST_VERSION_AT, HELPER_PROTOCOL_VERSION);
    putWord(section + REQUEST_CODE_AT, static_cast<uint32_t>(inputs.code));
    writeI32(section, REQUEST_DATABASE_AT, inputs.database);
    writeI32(section, REQUEST_COUNT_AT, inputs.count);
    putWord(section + REQUEST_OUTPUTS_AT, static_cast<uint32_t>(outputCount < 1 ? 1 : outputCount));
    putWord(section + REQUEST_SECURITIES_AT, static_cast<uint32_t>(securities));
    putWord(section + REQUEST_ENVIRONMENT_AT, static_cast<uint32_t>(environmentBytes));
    unsigned char *at = section + HELPER_REQUEST_HEADER_SIZE;
    for (int32_t i = 0; i < securities; ++i) {
        std::memcpy(at, inputs.securities.items[i].symbol, TEXT_BUFFER_SIZE);
        std::memcpy(at + TEXT_BUFFER_SIZE, inputs.securities.items[i].qualifier, TEXT_BUFFER_SIZE);
        at += HELPER_SECURITY_SIZE;
    }
    // Null: the caller wrote the environment in place already.
    if (environment != nullptr && environmentBytes > 0) {
        std::memcpy(at, environment, environmentBytes);
    }
}

int32_t helperRequestSecurities(const unsigned char *section, size_t bytes) {
    if (bytes < HELPER_REQUEST_HEADER_SIZE || word(section) != HELPER_REQUEST_MAGIC) {
        return 0;
    }
    const uint32_t securities = word(section + REQUEST_SECURITIES_AT);
    return securities > static_cast<uint32_t>(INT32_MAX) ? 0 : static_cast<int32_t>(securities);
}

bool decodeHelperRequest(const unsigned char *section, size_t bytes, RequestInputs *inputs,
                         int *outputCount, SecurityText *securities, int32_t room,
                         const char **environment, size_t *environmentBytes, const char **why) {
    if (bytes < HELPER_REQUEST_HEADER_SIZE || word(section) != HELPER_REQUEST_MAGIC ||
        word(section + REQUEST_VERSION_AT) != HELPER_PROTOCOL_VERSION) {
        *why = "the request has no header of this protocol's version";
        return false;
    }
    const uint32_t code = word(section + REQUEST_CODE_AT);
    const uint32_t outputs = word(section + REQUEST_OUTPUTS_AT);
    const uint32_t count = word(section + REQUEST_SECURITIES_AT);
    if (code < 1 || code > 7 || outputs < 1 || outputs > HELPER_MAX_SLOTS) {
        *why = "the request names no request code or output count the module sends";
        return false;
    }
    if (count > static_cast<uint32_t>(room) ||
        (bytes - HELPER_REQUEST_HEADER_SIZE) / HELPER_SECURITY_SIZE < count) {
        *why = "the request's securities do not fit its bytes";
        return false;
    }
    const uint32_t environmentLength = word(section + REQUEST_ENVIRONMENT_AT);
    const size_t securityBytes = static_cast<size_t>(count) * HELPER_SECURITY_SIZE;
    if (environmentLength > bytes - HELPER_REQUEST_HEADER_SIZE - securityBytes) {
        *why = "the request's environment does not fit its bytes";
        return false;
    }
    const unsigned char *variables = section + HELPER_REQUEST_HEADER_SIZE + securityBytes;
    if (environmentLength > 0 && variables[environmentLength - 1] != '\0') {
        *why = "the request's environment does not end its last text";
        return false;
    }
    *environment = reinterpret_cast<const char *>(variables);
    *environmentBytes = environmentLength;
    const unsigned char *at = section + HELPER_REQUEST_HEADER_SIZE;
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(securities[i].symbol, at, TEXT_BUFFER_SIZE);
        std::memcpy(securities[i].qualifier, at + TEXT_BUFFER_SIZE, TEXT_BUFFER_SIZE);
        // Every text ends within its buffer, whatever the bytes said.
        securities[i].symbol[TEXT_BUFFER_SIZE - 1] = '\0';
        securities[i].qualifier[TEXT_BUFFER_SIZE - 1] = '\0';
        at += HELPER_SECURITY_SIZE;
    }
    inputs->code = static_cast<int32_t>(code);
    inputs->database = readI32(section, REQUEST_DATABASE_AT);
    inputs->count = readI32(section, REQUEST_COUNT_AT);
    inputs->securities = SecurityList{securities, static_cast<int32_t>(count)};
    *outputCount = static_cast<int>(outputs);
    return true;
}

// ---- The bound of a reply ----

namespace {

// What any reply may add to its arrays: the header, the reports (each an identifier and a
// message of at most HELPER_MAX_REPORT bytes), the directory of a structure of the most fields.
constexpr size_t REPLY_FIXED_BYTES = 64 * 1024;
// One text of at most `room` bytes: its entry, its bytes and zero, padded.
constexpr size_t textBytes(size_t room) {
    return 8 + (room + 1 + 7) / 8 * 8;
}
// A quote row: 36 numbers (CloseRange two), 9 texts, its status.
constexpr size_t QUOTE_ROW_BYTES =
    37 * 8 + textBytes(QUOTE_SYMBOL_ROOM) + 8 * textBytes(QUOTE_EXCHANGE_ROOM) + 8;
// A fundamentals row: 18 numbers, three dates of three, 3 texts, its status.
constexpr size_t FUNDAMENTALS_ROW_BYTES = (18 + 9) * 8 + textBytes(FUNDAMENTALS_NAME_ROOM) +
                                          textBytes(FUNDAMENTALS_BASE_ITEM_ROOM) +
                                          textBytes(FUNDAMENTALS_CUSIP_ROOM) + 8;
// The raw records of a matrix at their most.
size_t rawRecordsBytes(RawRecords kind) {
    const RawRecordsLayout &layout = *rawRecordsLayout(kind);
    return layout.mostRecords * layout.recordSize;
}

} // namespace

size_t helperReplyBound(const RequestInputs &inputs, int outputCount) {
    (void)outputCount;
    const size_t securities = static_cast<size_t>(inputs.securities.count);
    switch (inputs.code) {
    case 2:
        return REPLY_FIXED_BYTES + securities * QUOTE_ROW_BYTES;
    case 3:
        return REPLY_FIXED_BYTES + rawRecordsBytes(RAW_HISTORY_BLOCKS);
    case 5:
        return REPLY_FIXED_BYTES + rawRecordsBytes(RAW_BAR_BLOCKS);
    case 6:
        return REPLY_FIXED_BYTES + securities * FUNDAMENTALS_ROW_BYTES;
    default:
        return REPLY_FIXED_BYTES + 2 * RECORD_BUFFER_SIZE;
    }
}

// ---- Reading a reply ----
// Header: magic, version, total bytes, event count, slot count, events offset, directory
// offset, reserved. Events: five words each (kind, identifier offset and length, text offset
// and length), their texts zero-terminated in the data area. The directory: one value per
// slot, each a tag and its words (see HelperValueTag).

namespace {

// A cursor over the directory's words, never past its end.
struct Directory {
    const unsigned char *section;
    size_t bytes;
    size_t at;
    size_t end;
    bool broken;
    const char *why;
    HelperRawProgress *progress; // null, or what was decoded of the raw records before
    bool rawSeen;                // a value of raw records came already
};

uint32_t take(Directory &d) {
    if (d.broken || d.end - d.at < 4) {
        d.broken = true;
        if (d.why == nullptr) {
            d.why = "the reply's directory ends in the middle of a value";
        }
        return 0;
    }
    const uint32_t value = word(d.section + d.at);
    d.at += 4;
    return value;
}

void refuse(Directory &d, const char *why) {
    if (!d.broken) {
        d.broken = true;
        d.why = why;
    }
}

// A text at `offset` of `length` bytes and its zero, inside the data area.
bool textInside(const Directory &d, uint32_t offset, uint32_t length) {
    return offset >= HELPER_REPLY_HEADER_SIZE && offset <= d.bytes && length < d.bytes - offset &&
           d.section[offset + length] == '\0' &&
           std::memchr(d.section + offset, 0, length) == nullptr;
}

// `count` items of `size` bytes at `offset`, inside the data area.
// `count` of a matrix is rows times columns, up to 2^64 - 2^33 + 1: compared by division, so
// that a product that wraps around is no small block.
bool blockInside(const Directory &d, uint32_t offset, uint64_t count, uint64_t size) {
    return offset >= HELPER_REPLY_HEADER_SIZE && offset <= d.bytes &&
           count <= static_cast<uint64_t>(d.bytes - offset) / size;
}

// Checks one value (build false) or creates it (build true) through the results seam.
ResultArray *value(Directory &d, bool build, int depth) {
    const uint32_t tag = take(d);
    switch (tag) {
    case HELPER_VALUE_NONE:
        return nullptr;
    case HELPER_VALUE_MATRIX: {
        const uint32_t rows = take(d);
        const uint32_t columns = take(d);
        const uint32_t offset = take(d);
        if (d.broken || offset % 8 != 0 ||
            !blockInside(d, offset, static_cast<uint64_t>(rows) * columns, sizeof(double))) {
            refuse(d, "a matrix of the reply lies outside its bytes");
            return nullptr;
        }
        if (!build) {
            return nullptr;
        }
        double *data = nullptr;
        ResultArray *matrix = resultMatrix(rows, columns, MATRIX_UNZEROED, &data);
        if (rows != 0 && columns != 0) {
            std::memcpy(data, d.section + offset,
                        static_cast<size_t>(rows) * columns * sizeof(double));
        }
        return matrix;
    }
    case HELPER_VALUE_TEXT: {
        const uint32_t offset = take(d);
        const uint32_t length = take(d);
        if (d.broken || !textInside(d, offset, length)) {
            refuse(d, "a text of the reply lies outside its bytes or is not one text");
            return nullptr;
        }
        return build ? resultText(reinterpret_cast<const char *>(d.section + offset)) : nullptr;
    }
    case HELPER_VALUE_TEXTS: {
        const uint32_t rows = take(d);
        const uint32_t entries = take(d);
        if (d.broken || entries % 4 != 0 || !blockInside(d, entries, rows, 8)) {
            refuse(d, "a column of texts of the reply lies outside its bytes");
            return nullptr;
        }
        for (uint32_t row = 0; row < rows; ++row) {
            const unsigned char *entry =
                d.section + entries + TEXT_ENTRY_SIZE * static_cast<size_t>(row);
            if (!textInside(d, word(entry), word(entry + TEXT_ENTRY_LENGTH_AT))) {
                refuse(d, "a text of the reply lies outside its bytes or is not one text");
                return nullptr;
            }
        }
        if (!build) {
            return nullptr;
        }
        ResultArray *texts = resultTexts(rows);
        for (uint32_t row = 0; row < rows; ++row) {
            const unsigned char *entry =
                d.section + entries + TEXT_ENTRY_SIZE * static_cast<size_t>(row);
            resultSetText(texts, row, reinterpret_cast<const char *>(d.section + word(entry)));
        }
        return texts;
    }
    case HELPER_VALUE_STRUCT: {
        const uint32_t count = take(d);
        if (d.broken || count > HELPER_MAX_FIELDS || depth > 0) {
            refuse(d, "a structure of the reply has more fields or nesting than any result");
            return nullptr;
        }
        const char *names[HELPER_MAX_FIELDS];
        ResultArray *values[HELPER_MAX_FIELDS];
        for (uint32_t field = 0; field < count; ++field) {
            const uint32_t offset = take(d);
            const uint32_t length = take(d);
            if (d.broken || !textInside(d, offset, length) || length == 0) {
                refuse(d, "a field name of the reply lies outside its bytes");
                return nullptr;
            }
            names[field] = reinterpret_cast<const char *>(d.section + offset);
            // The host refuses a structure that names a field twice, and a field must hold a
            // value: both are checked before anything is made.
            for (uint32_t earlier = 0; earlier < field; ++earlier) {
                if (std::strcmp(names[earlier], names[field]) == 0) {
                    refuse(d, "a structure of the reply names a field twice");
                    return nullptr;
                }
            }
            if (d.end - d.at >= 4 && word(d.section + d.at) == HELPER_VALUE_NONE) {
                refuse(d, "a field of the reply's structure has no value");
                return nullptr;
            }
            values[field] = value(d, build, depth + 1);
            if (d.broken) {
                return nullptr;
            }
            if (build && values[field] == nullptr) {
                refuse(d, "a field of the reply's structure has no value");
                return nullptr;
            }
        }
        return build ? resultStructure(static_cast<int>(count), names, values) : nullptr;
    }
    case HELPER_VALUE_RAW_RECORDS: {
        const uint32_t kind = take(d);
        const uint32_t count = take(d);
        const uint32_t offset = take(d);
        const RawRecordsLayout *layout = rawRecordsLayout(kind);
        if (d.broken || layout == nullptr || count > layout->mostRecords ||
            !blockInside(d, offset, count, layout->recordSize) || d.rawSeen) {
            refuse(d, "raw records of the reply are of no known kind, too many, more than one "
                      "matrix of them, or lie outside its bytes");
            return nullptr;
        }
        d.rawSeen = true;
        const bool begun = d.progress != nullptr && d.progress->begun;
        if (begun && (kind != d.progress->kind || offset != d.progress->offset ||
                      count < d.progress->records)) {
            refuse(d, "the reply's raw records are not those its progress announced");
            return nullptr;
        }
        if (!build) {
            return nullptr;
        }
        uint32_t from = 0;
        if (begun) {
            from = d.progress->records;
        } else {
            resultRawBegin(static_cast<RawRecords>(kind));
        }
        for (uint32_t r = from; r < count; ++r) {
            resultRawAppend(d.section + offset + layout->recordSize * r);
        }
        return resultRawEnd();
    }
    default:
        refuse(d, "the reply holds a value of a kind the module does not know");
        return nullptr;
    }
}

struct Event {
    uint32_t kind;
    const char *identifier;
    const char *text;
};

} // namespace

bool takeHelperProgress(const unsigned char *section, size_t sectionSize,
                        const HelperMessage &message, HelperRawProgress *progress,
                        const char **why) {
    const RawRecordsLayout *layout = rawRecordsLayout(message.detail);
    if (layout == nullptr || message.bytes > layout->mostRecords ||
        message.offset < HELPER_REPLY_HEADER_SIZE || message.offset > sectionSize ||
        static_cast<uint64_t>(message.bytes) * layout->recordSize >
            static_cast<uint64_t>(sectionSize - message.offset)) {
        *why = "its progress names raw records of no known kind, too many, or outside the section";
        return false;
    }
    if (progress->begun &&
        (message.detail != progress->kind || message.offset != progress->offset ||
         message.bytes < progress->records)) {
        *why = "its progress goes back, or to other records than it announced first";
        return false;
    }
    if (!progress->begun) {
        *progress = HelperRawProgress{true, message.detail, message.offset, 0};
        resultRawBegin(static_cast<RawRecords>(message.detail));
    }
    for (uint32_t r = progress->records; r < message.bytes; ++r) {
        resultRawAppend(section + message.offset + layout->recordSize * r);
    }
    progress->records = message.bytes;
    return true;
}

bool replayHelperReply(const unsigned char *section, size_t bytes, ResultArray **slots,
                       int slotCount, HelperError *error, const char **why,
                       HelperRawProgress *progress) {
    *error = HelperError{nullptr, nullptr, nullptr};
    if (bytes < HELPER_REPLY_HEADER_SIZE || word(section) != HELPER_REPLY_MAGIC ||
        word(section + REPLY_VERSION_AT) != HELPER_PROTOCOL_VERSION) {
        *why = "the reply has no header of this protocol's version";
        return false;
    }
    const uint32_t total = word(section + REPLY_TOTAL_AT);
    const uint32_t eventCount = word(section + REPLY_EVENT_COUNT_AT);
    const uint32_t slotTotal = word(section + REPLY_SLOT_COUNT_AT);
    const uint32_t eventsAt = word(section + REPLY_EVENTS_AT);
    const uint32_t directoryAt = word(section + REPLY_DIRECTORY_AT);
    if (total > bytes || total < HELPER_REPLY_HEADER_SIZE) {
        *why = "the reply says it is longer than the bytes that came";
        return false;
    }
    if (eventCount > HELPER_MAX_EVENTS || slotTotal > HELPER_MAX_SLOTS ||
        slotTotal > static_cast<uint32_t>(slotCount)) {
        *why = "the reply holds more reports or outputs than any request gives";
        return false;
    }
    Directory d{section, total, eventsAt, total, false, nullptr, progress, false};
    if (eventsAt < HELPER_REPLY_HEADER_SIZE || eventsAt > total || directoryAt < eventsAt ||
        directoryAt > total || (directoryAt - eventsAt) / HELPER_EVENT_SIZE < eventCount) {
        *why = "the reply's reports or directory lie outside its bytes";
        return false;
    }
    // Every report checked before any is made.
    Event events[HELPER_MAX_EVENTS];
    bool raises = false;
    for (uint32_t e = 0; e < eventCount; ++e) {
        const unsigned char *at = section + eventsAt + HELPER_EVENT_SIZE * static_cast<size_t>(e);
        const uint32_t kind = word(at);
        const uint32_t idAt = word(at + EVENT_ID_AT), idLength = word(at + EVENT_ID_LENGTH_AT);
        const uint32_t textAt = word(at + EVENT_TEXT_AT),
                       textLength = word(at + EVENT_TEXT_LENGTH_AT);
        const bool named = kind == HELPER_EVENT_WARNING || kind == HELPER_EVENT_ERROR;
        if (kind < HELPER_EVENT_PRINT || kind > HELPER_EVENT_DESCRIPTION ||
            !textInside(d, textAt, textLength) || textLength > HELPER_MAX_REPORT ||
            (named &&
             (!textInside(d, idAt, idLength) || idLength == 0 || idLength > HELPER_MAX_REPORT)) ||
            (raises && kind != HELPER_EVENT_DESCRIPTION)) {
            *why = "a report of the reply is malformed, or follows the error that ended it";
            return false;
        }
        raises = raises || kind == HELPER_EVENT_ERROR;
        events[e] = Event{kind, named ? reinterpret_cast<const char *>(section + idAt) : nullptr,
                          reinterpret_cast<const char *>(section + textAt)};
    }
    // The directory checked whole, then built.
    d.at = directoryAt;
    for (uint32_t s = 0; s < slotTotal; ++s) {
        value(d, false, 0);
    }
    if (d.broken) {
        *why = d.why;
        return false;
    }
    if (raises && slotTotal != 0) {
        *why = "the reply of a request that raised holds outputs";
        return false;
    }

    for (uint32_t e = 0; e < eventCount; ++e) {
        switch (events[e].kind) {
        case HELPER_EVENT_PRINT:
            reportPrint(events[e].text);
            break;
        case HELPER_EVENT_WARNING:
            reportWarning(events[e].identifier, events[e].text);
            break;
        case HELPER_EVENT_ERROR:
            error->identifier = events[e].identifier;
            error->text = events[e].text;
            break;
        case HELPER_EVENT_DESCRIPTION:
            error->description = events[e].text;
            break;
        default:
            break;
        }
    }
    if (error->identifier != nullptr) {
        return true;
    }
    d.at = directoryAt;
    d.broken = false;
    d.rawSeen = false;
    for (uint32_t s = 0; s < slotTotal; ++s) {
        slots[s] = value(d, true, 0);
    }
    return true;
}

// ---- Writing a reply ----

struct WireNode {
    HelperValueTag tag;
    uint32_t rows; // raw records: their count
    uint32_t columns;
    uint32_t kind;   // raw records: their RawRecords kind
    uint32_t offset; // the data: doubles, text, the column's entries, or the raw records
    uint32_t length; // a text's bytes
    int fieldCount;
    uint32_t nameAt[HELPER_MAX_FIELDS]; // structures: their field names in the data area
    uint32_t nameLength[HELPER_MAX_FIELDS];
    WireNode *fields[HELPER_MAX_FIELDS];
};

namespace {

// The most arrays one reply holds: a snapshot's fields, its statuses, a structure.
constexpr int NODE_POOL_SIZE = 2 * HELPER_MAX_FIELDS;
// Room kept at the end of the section for the reports and the directory, so that an error
// still fits when the arrays filled the rest.
constexpr size_t RESERVED_TAIL = 48 * 1024;

// The raw records of the matrix being written.
struct RawWriting {
    WireNode *node; // null: none under way, or no room for it (the reply has overflowed)
    const RawRecordsLayout *layout;
    size_t at; // where the records go
    size_t records;
    size_t announced; // records told to the progress function
};

HelperProgressFunction progressFunction = nullptr;

struct Writer {
    unsigned char *section;
    size_t size;
    size_t used;     // the data area's end
    bool overflowed; // an array or report found no room
    size_t wanted;   // bytes the arrays would have taken had there been room
    WireNode nodes[NODE_POOL_SIZE];
    int nodeCount;
    uint32_t eventKind[HELPER_MAX_EVENTS];
    uint32_t eventIdAt[HELPER_MAX_EVENTS], eventIdLength[HELPER_MAX_EVENTS];
    uint32_t eventTextAt[HELPER_MAX_EVENTS], eventTextLength[HELPER_MAX_EVENTS];
    uint32_t eventCount;
    RawWriting raw;
};

Writer writer;

// `bytes` of the data area at `alignment`; 0 when they do not fit before the tail (or, with
// `tail`, the section).
uint32_t reserve(size_t bytes, size_t alignment, bool tail = false) {
    const size_t at = aligned(writer.used, alignment);
    const size_t limit = tail ? writer.size : writer.size - RESERVED_TAIL;
    if (at > limit || bytes > limit - at) {
        writer.overflowed = true;
        writer.wanted = at + bytes + RESERVED_TAIL;
        return 0;
    }
    writer.used = at + bytes;
    return static_cast<uint32_t>(at);
}

// A zero-terminated copy of `text` (cut to `most` bytes) in the data area.
uint32_t storeText(const char *text, size_t most, uint32_t *length, bool tail = false) {
    size_t n = std::strlen(text);
    n = n > most ? most : n;
    const uint32_t at = reserve(n + 1, 1, tail);
    if (at == 0) {
        *length = 0;
        return 0;
    }
    std::memcpy(writer.section + at, text, n);
    writer.section[at + n] = '\0';
    *length = static_cast<uint32_t>(n);
    return at;
}

WireNode *newNode(HelperValueTag tag) {
    if (writer.nodeCount >= NODE_POOL_SIZE) {
        writer.overflowed = true;
        return nullptr;
    }
    WireNode *node = &writer.nodes[writer.nodeCount++];
    node->tag = tag;
    node->rows = node->columns = node->kind = node->offset = node->length = 0;
    node->fieldCount = 0;
    return node;
}

// The directory words of one value.
bool writeValue(const WireNode *node, int depth) {
    auto put = [](uint32_t value) {
        const uint32_t at = reserve(4, 4, true);
        if (at != 0) {
            putWord(writer.section + at, value);
        }
        return at != 0;
    };
    if (node == nullptr) {
        return put(HELPER_VALUE_NONE);
    }
    bool ok = put(node->tag);
    switch (node->tag) {
    case HELPER_VALUE_MATRIX:
        ok = ok && put(node->rows) && put(node->columns) && put(node->offset);
        break;
    case HELPER_VALUE_TEXT:
        ok = ok && put(node->offset) && put(node->length);
        break;
    case HELPER_VALUE_TEXTS:
        ok = ok && put(node->rows) && put(node->offset);
        break;
    case HELPER_VALUE_RAW_RECORDS:
        ok = ok && put(node->kind) && put(node->rows) && put(node->offset);
        break;
    case HELPER_VALUE_STRUCT:
        ok = ok && depth == 0 && put(static_cast<uint32_t>(node->fieldCount));
        for (int f = 0; ok && f < node->fieldCount; ++f) {
            ok = put(node->nameAt[f]) && put(node->nameLength[f]) &&
                 writeValue(node->fields[f], depth + 1);
        }
        break;
    default:
        ok = false;
    }
    return ok;
}

} // namespace

void replyBegin(unsigned char *section, size_t size) {
    writer.section = section;
    writer.size = size;
    writer.used = HELPER_REPLY_HEADER_SIZE;
    writer.overflowed = false;
    writer.wanted = 0;
    writer.nodeCount = 0;
    writer.eventCount = 0;
    writer.raw = RawWriting{};
}

WireNode *replyMatrix(size_t rows, size_t columns, double **data) {
    WireNode *node = newNode(HELPER_VALUE_MATRIX);
    if (node == nullptr || rows > UINT32_MAX || columns > UINT32_MAX) {
        return nullptr;
    }
    const uint32_t at = reserve(rows * columns * sizeof(double), 8);
    if (at == 0) {
        return nullptr;
    }
    node->rows = static_cast<uint32_t>(rows);
    node->columns = static_cast<uint32_t>(columns);
    node->offset = at;
    *data = reinterpret_cast<double *>(writer.section + at);
    return node;
}

void replySetProgress(HelperProgressFunction progress) {
    progressFunction = progress;
}

void replyRawBegin(RawRecords kind) {
    RawWriting &raw = writer.raw;
    raw = RawWriting{};
    raw.node = newNode(HELPER_VALUE_RAW_RECORDS);
    raw.layout = rawRecordsLayout(kind);
    if (raw.node == nullptr || raw.layout == nullptr) {
        raw.node = nullptr;
        writer.overflowed = true;
        return;
    }
    // The records follow one another from here; each takes its room as it comes.
    raw.at = reserve(0, 8);
    raw.node->kind = kind;
    raw.node->offset = static_cast<uint32_t>(raw.at);
}

void replyRawAppend(const unsigned char *record) {
    RawWriting &raw = writer.raw;
    if (raw.node == nullptr || raw.records >= raw.layout->mostRecords) {
        return;
    }
    const size_t size = raw.layout->recordSize;
    const uint32_t at = reserve(size, 1);
    if (at == 0 || at != raw.at + raw.records * size) {
        // No room left, or something else was placed after the records: the reply fails.
        writer.overflowed = true;
        raw.node = nullptr;
        return;
    }
    std::memcpy(writer.section + at, record, size);
    ++raw.records;
    if (progressFunction != nullptr &&
        (raw.records - raw.announced) * size >= HELPER_PROGRESS_BYTES) {
        raw.announced = raw.records;
        progressFunction(raw.node->kind, static_cast<uint32_t>(raw.at),
                         static_cast<uint32_t>(raw.records));
    }
}

WireNode *replyRawEnd() {
    RawWriting &raw = writer.raw;
    WireNode *node = raw.node;
    if (node != nullptr) {
        node->rows = static_cast<uint32_t>(raw.records);
    }
    raw = RawWriting{};
    return node;
}

WireNode *replyText(const char *text) {
    WireNode *node = newNode(HELPER_VALUE_TEXT);
    if (node == nullptr) {
        return nullptr;
    }
    node->offset = storeText(text, HELPER_MAX_REPORT, &node->length);
    return node->offset == 0 ? nullptr : node;
}

WireNode *replyTexts(size_t rows) {
    WireNode *node = newNode(HELPER_VALUE_TEXTS);
    if (node == nullptr || rows > UINT32_MAX) {
        return nullptr;
    }
    const uint32_t at = reserve(rows * 8, 8);
    if (at == 0) {
        return nullptr;
    }
    node->rows = static_cast<uint32_t>(rows);
    node->offset = at;
    // Every row an empty text until it is set: one zero byte they all point to.
    uint32_t emptyLength = 0;
    const uint32_t empty = storeText("", 0, &emptyLength);
    for (size_t row = 0; row < rows; ++row) {
        putWord(writer.section + at + TEXT_ENTRY_SIZE * row, empty);
        putWord(writer.section + at + TEXT_ENTRY_SIZE * row + TEXT_ENTRY_LENGTH_AT, 0);
    }
    return empty == 0 ? nullptr : node;
}

void replySetText(WireNode *texts, size_t row, const char *text) {
    uint32_t length = 0;
    const uint32_t at = storeText(text, HELPER_MAX_REPORT, &length);
    if (at == 0 || texts == nullptr || row >= texts->rows) {
        return;
    }
    putWord(writer.section + texts->offset + TEXT_ENTRY_SIZE * row, at);
    putWord(writer.section + texts->offset + TEXT_ENTRY_SIZE * row + TEXT_ENTRY_LENGTH_AT, length);
}

WireNode *replyStructure(int fieldCount, const char *const *names, WireNode *const *values) {
    WireNode *node = newNode(HELPER_VALUE_STRUCT);
    if (node == nullptr || fieldCount > static_cast<int>(HELPER_MAX_FIELDS)) {
        return nullptr;
    }
    node->fieldCount = fieldCount;
    for (int f = 0; f < fieldCount; ++f) {
        node->nameAt[f] = storeText(names[f], HELPER_MAX_REPORT, &node->nameLength[f]);
        node->fields[f] = values[f];
        if (node->nameAt[f] == 0 || values[f] == nullptr) {
            writer.overflowed = true;
            return nullptr;
        }
    }
    return node;
}

void replyEvent(HelperEventKind kind, const char *identifier, const char *text) {
    if (writer.eventCount >= HELPER_MAX_EVENTS) {
        writer.overflowed = true;
        return;
    }
    const uint32_t e = writer.eventCount++;
    writer.eventKind[e] = kind;
    writer.eventIdAt[e] = 0;
    writer.eventIdLength[e] = 0;
    if (identifier != nullptr) {
        writer.eventIdAt[e] =
            storeText(identifier, HELPER_MAX_REPORT, &writer.eventIdLength[e], true);
    }
    writer.eventTextAt[e] = storeText(text, HELPER_MAX_REPORT, &writer.eventTextLength[e], true);
}

size_t replyFinish(WireNode *const *slots, int slotCount, size_t *needed) {
    *needed = 0;
    const uint32_t eventsAt =
        reserve(HELPER_EVENT_SIZE * static_cast<size_t>(writer.eventCount), 4, true);
    if (eventsAt != 0) {
        for (uint32_t e = 0; e < writer.eventCount; ++e) {
            unsigned char *at = writer.section + eventsAt + HELPER_EVENT_SIZE * e;
            putWord(at, writer.eventKind[e]);
            putWord(at + EVENT_ID_AT, writer.eventIdAt[e]);
            putWord(at + EVENT_ID_LENGTH_AT, writer.eventIdLength[e]);
            putWord(at + EVENT_TEXT_AT, writer.eventTextAt[e]);
            putWord(at + EVENT_TEXT_LENGTH_AT, writer.eventTextLength[e]);
        }
    }
    const size_t directoryAt = aligned(writer.used, 4);
    bool ok = eventsAt != 0 && !writer.overflowed;
    for (int s = 0; ok && s < slotCount; ++s) {
        ok = writeValue(slots[s], 0);
    }
    if (!ok) {
        *needed = writer.wanted;
        return 0;
    }
    putWord(writer.section, HELPER_REPLY_MAGIC);
    putWord(writer.section + REPLY_VERSION_AT, HELPER_PROTOCOL_VERSION);
    putWord(writer.section + REPLY_TOTAL_AT, static_cast<uint32_t>(writer.used));
    putWord(writer.section + REPLY_EVENT_COUNT_AT, writer.eventCount);
    putWord(writer.section + REPLY_SLOT_COUNT_AT, static_cast<uint32_t>(slotCount));
    putWord(writer.section + REPLY_EVENTS_AT, eventsAt);
    putWord(writer.section + REPLY_DIRECTORY_AT, static_cast<uint32_t>(directoryAt));
    putWord(writer.section + REPLY_RESERVED_AT, 0);
    return writer.used;
}
