// The wire format between the module and the feed helper, the process that runs the requests
// beside a feed library the host's process cannot load (a 32-bit PCQW32.dll under a 64-bit
// host, or any library when the feed is isolated on purpose).
//
// Control messages travel through a pipe: fixed 32-byte messages, one request and one reply
// per host call, after a handshake that names the protocol's version. The request's inputs
// and the reply's results travel through a shared memory section: fixed-width little-endian
// fields, with no pointer, handle or size_t in them, so that a 64-bit module and a 32-bit
// helper read them alike. Every offset in a reply is checked against the section, every
// count against what the bytes can hold: a malformed reply is refused, never followed.
//
// A reply is the sequence of what the request reported (printed lines, warnings, the error
// that ended it, the feed's own description of that error) in the order it reported them,
// then its output slots; array contents lie in a data area the directory points into.
#ifndef QUORVEX_HELPER_WIRE_H
#define QUORVEX_HELPER_WIRE_H

#include "request_call.h"
#include "results.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t HELPER_PROTOCOL_VERSION = 2;

// ---- Control messages ------------------------------------------------------------------

constexpr uint32_t HELPER_MESSAGE_MAGIC = 0x48585651; // "QVXH"
constexpr size_t HELPER_MESSAGE_SIZE = 32;
enum HelperMessageKind : uint32_t {
    HELPER_HELLO = 1,   // module -> helper: the module's version; helper -> module: its own
    HELPER_REQUEST = 2, // module -> helper: a request lies in the section
    HELPER_REPLY = 3,   // helper -> module: the reply lies in the section
    // helper -> module, before the reply: `bytes` raw records of kind `detail` lie at `offset`
    // of the section so far (see HelperRawProgress)
    HELPER_PROGRESS = 4,
};
// What a helper's hello says of it.
enum HelperReadiness : uint32_t {
    HELPER_READY = 0,        // the feed library is loaded
    HELPER_CANNOT_SERVE = 1, // the section holds the error that says why (a reply of one event)
};

// How long either side looks for the other's next message before it sleeps in the wait: waking
// a sleeping process costs tens of microseconds (more on a virtual machine), more than most
// replies take, and a host asking in a loop sends its next request at once. Bounded, so that a
// wait for a slow feed costs no processor time after it.
constexpr long HELPER_SPIN_MICROSECONDS = 200;

struct HelperMessage {
    uint32_t kind;
    uint32_t version;
    uint32_t sequence; // the request's number, echoed in its reply
    uint32_t bytes;    // bytes of the section the request or reply fills
    uint32_t detail;   // HelperReadiness in a hello, the RawRecords kind in a progress
    uint32_t offset;   // where a progress's records lie in the section
};

void encodeHelperMessage(const HelperMessage &message, unsigned char out[HELPER_MESSAGE_SIZE]);
// False for bytes that are not a message (wrong magic).
bool decodeHelperMessage(const unsigned char in[HELPER_MESSAGE_SIZE], HelperMessage *message);

// ---- Requests ------------------------------------------------------------------------------

constexpr uint32_t HELPER_REQUEST_MAGIC = 0x51525651; // "QVRQ"
constexpr size_t HELPER_REQUEST_HEADER_SIZE = 32;
constexpr size_t HELPER_SECURITY_SIZE = 2 * TEXT_BUFFER_SIZE;

// Bytes a request of `securities` securities takes in the section, with an environment of
// `environmentBytes` (see below).
size_t helperRequestSize(int32_t securities, size_t environmentBytes);

// Writes the request into `section` (of at least helperRequestSize bytes). A request may carry
// the host process's environment, `environmentBytes` of "NAME=value" texts each ended by a
// zero byte (the module sends it whenever it changed since the last request; null when the
// caller wrote it in place after the securities already): the feed
// library reads its settings from its process's environment, and a host script that changes
// one (setenv) must reach the library as it would in the host's own process.
void encodeHelperRequest(const RequestInputs &inputs, int outputCount, const char *environment,
                         size_t environmentBytes, unsigned char *section);

// Reads a request: its inputs, whose securities are copied into `securities` (room for
// `room`), and the outputs asked for. False, with `why` said, for a malformed request.
// The environment a request carries, when it carries one: *environment points into the
// section, *environmentBytes is its length (0 for none); every text in it ends in the bytes.
bool decodeHelperRequest(const unsigned char *section, size_t bytes, RequestInputs *inputs,
                         int *outputCount, SecurityText *securities, int32_t room,
                         const char **environment, size_t *environmentBytes, const char **why);
// The securities a request in the section names (0 for a malformed one), to size the copy.
int32_t helperRequestSecurities(const unsigned char *section, size_t bytes);

// The most bytes the reply to a request can take: its arrays at their largest, the longest
// texts, the directory and the reports. The module sizes the section by it.
size_t helperReplyBound(const RequestInputs &inputs, int outputCount);

// ---- Replies -------------------------------------------------------------------------------

constexpr uint32_t HELPER_REPLY_MAGIC = 0x50525651; // "QVRP"
constexpr size_t HELPER_REPLY_HEADER_SIZE = 32;
// The most slots and structure fields, the deepest nesting, the longest report a reply holds.
constexpr uint32_t HELPER_MAX_SLOTS = 8;
constexpr uint32_t HELPER_MAX_FIELDS = 64;
constexpr uint32_t HELPER_MAX_EVENTS = 64;
constexpr uint32_t HELPER_MAX_REPORT = 4096;

enum HelperEventKind : uint32_t {
    HELPER_EVENT_PRINT = 1,       // text
    HELPER_EVENT_WARNING = 2,     // identifier, text
    HELPER_EVENT_ERROR = 3,       // identifier, text: the request ended with it
    HELPER_EVENT_DESCRIPTION = 4, // text: the feed's own description of the failure raised
};

enum HelperValueTag : uint32_t {
    HELPER_VALUE_NONE = 0,   // the slot is not set
    HELPER_VALUE_MATRIX = 1, // rows, columns, data offset: rows * columns doubles
    HELPER_VALUE_TEXT = 2,   // data offset, length: the text and its zero byte
    HELPER_VALUE_TEXTS = 3,  // rows, data offset: rows entries of {offset, length}
    HELPER_VALUE_STRUCT = 4, // field count, then per field: name offset, name length, value
    // kind (RawRecords), record count, data offset: the records as the feed delivered them,
    // decoded into their matrix by the module (raw_records.h says each kind's shape)
    HELPER_VALUE_RAW_RECORDS = 5,
};

// The error a request ended with, as the reply carries it; texts in the section (identifier
// null when the request raised nothing).
struct HelperError {
    const char *identifier;
    const char *text;
    const char *description; // the feed's own description of the failure, or null
};

// Reads a reply and replays it through the results seam: every report in its order, then,
// unless the request raised, the output slots (at most `slotCount`) into `slots`. The error a
// request raised is not raised here but handed back in *error, for the caller to raise once it
// has done what it must first. False, with `why` said and nothing made, for a reply that is
// malformed, truncated or larger than its bytes: every part is checked before any is made,
// and no byte outside `bytes` is read.
//
// `progress`, when given, holds what the module decoded of the reply's raw records while the
// helper was still writing them (takeHelperProgress): the reply's raw records must then be
// those, and only the rest are decoded.
struct HelperRawProgress {
    bool begun;
    uint32_t kind;
    uint32_t offset;
    uint32_t records; // decoded so far
};
bool replayHelperReply(const unsigned char *section, size_t bytes, ResultArray **slots,
                       int slotCount, HelperError *error, const char **why,
                       HelperRawProgress *progress = nullptr);

// A progress message of the helper: the raw records it has written so far into the section
// (of `sectionSize` bytes), decoded through the results seam (resultRawBegin with the first),
// so that the module decodes while the helper goes on reading the feed. False, with `why`
// said, for progress that names no kind, lies outside the section, or goes back or elsewhere.
bool takeHelperProgress(const unsigned char *section, size_t sectionSize,
                        const HelperMessage &message, HelperRawProgress *progress,
                        const char **why);

// ---- Writing a reply (the helper's side) ----------------------------------------------------
// The helper builds its reply in the section while the request runs: array contents go
// straight into the data area at their final place, and the directory that names them is
// written when the request has ended. No heap: the directory's nodes come from a fixed pool.

struct WireNode;

// Starts a reply in `section` of `size` bytes.
void replyBegin(unsigned char *section, size_t size);
// The arrays of the reply; null when the section has no room left (the reply then fails as a
// whole, see replyFinish).
WireNode *replyMatrix(size_t rows, size_t columns, double **data);
WireNode *replyText(const char *text);
WireNode *replyTexts(size_t rows);
void replySetText(WireNode *texts, size_t row, const char *text);
WireNode *replyStructure(int fieldCount, const char *const *names, WireNode *const *values);
// A matrix as the raw records it decodes from, written into the data area one by one as they
// come (room for the kind's most is taken at the start, the rest given back at the end). One
// at a time; appending calls nothing but a copy and the progress function, so it may happen on
// the feed's thread. Every HELPER_PROGRESS_BYTES of records, `progress` (when set) is told
// what lies where, for a progress message.
constexpr size_t HELPER_PROGRESS_BYTES = 256 * 1024;
using HelperProgressFunction = void (*)(uint32_t kind, uint32_t offset, uint32_t records);
void replySetProgress(HelperProgressFunction progress);
void replyRawBegin(RawRecords kind);
void replyRawAppend(const unsigned char *record);
WireNode *replyRawEnd();
// A report of the request, in its order.
void replyEvent(HelperEventKind kind, const char *identifier, const char *text);
// Writes the directory for the output slots and the header; returns the reply's bytes, or 0
// when it did not fit the section (or its pool), with *needed the bytes it would have taken
// where that is known.
size_t replyFinish(WireNode *const *slots, int slotCount, size_t *needed);

#endif
