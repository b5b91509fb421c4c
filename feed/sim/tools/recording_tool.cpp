// The tool's look inside recordings: the recordings a store holds, and every recorded call
// with its key and its records decoded field by field, under the store's column names.

#include "recording_tool.h"

#include "dbax.h"
#include "decode.h"
#include "recording.h"
#include "store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace pcqw32 {

namespace {

enum class Kind { GUESS, QUOTE, FUNDAMENTALS };

std::unique_ptr<RecordingStore> openStore(const std::string &folder, int32_t db, std::string &why) {
    return RecordingStore::openForReplay(databasePath(folder, db), why);
}

std::string security(const Bytes &key) {
    if (key.size() < SECURITY_KEY_SIZE) {
        return "(" + std::to_string(key.size()) + " bytes)";
    }
    return "\"" + keySymbol(key.data()) + "\"/\"" + keyQualifier(key.data()) + "\"";
}

void printRecordings(RecordingStore &store) {
    std::vector<RecordingInfo> recordings;
    if (!store.recordings(recordings)) {
        throw std::runtime_error(store.error());
    }
    std::printf("%s\n", store.path().c_str());
    for (const RecordingInfo &r : recordings) {
        std::printf("  recording %lld  started %s UTC  mode %s\n", static_cast<long long>(r.id),
                    r.started.c_str(), r.mode.c_str());
        std::printf("    library  %s\n", r.target.c_str());
        if (!r.versionAsked) {
            std::printf("    version  not asked\n");
        } else if (r.versionStatus != 0) {
            std::printf("    version  the query failed with status %d\n",
                        static_cast<int>(r.versionStatus));
        } else {
            VersionValues v = r.version;
            std::printf("    version  %s\n", formatFields(versionFields(v)).c_str());
        }
        std::printf("    %lld calls, %lld history deliveries\n", static_cast<long long>(r.calls),
                    static_cast<long long>(r.deliveries));
    }
}

// A quote record carries the security's symbol in its symbol field, where the fundamentals
// record has nothing the client reads.
bool looksLikeQuote(const RecordedCall &call) {
    if (call.key.size() < SECURITY_KEY_SIZE ||
        call.record.size() < QUOTE_SYMBOL_OFFSET + QUOTE_SYMBOL_ROOM) {
        return true;
    }
    const std::string symbol = keySymbol(call.key.data());
    return !symbol.empty() &&
           std::strncmp(reinterpret_cast<const char *>(call.record.data() + QUOTE_SYMBOL_OFFSET),
                        symbol.c_str(), symbol.size() + 1) == 0;
}

void printRecord(const RecordedCall &call, Kind kind) {
    const Bytes &r = call.record;
    if (r.empty()) {
        return;
    }
    const char *failed = call.status != 0 ? " (written although the call failed)" : "";
    switch (call.operation) {
    case DBA_GET_RECORD:
        if (kind == Kind::QUOTE || (kind == Kind::GUESS && looksLikeQuote(call))) {
            QuoteValues v = decodeQuote(r.data());
            std::printf("  quote%s %s\n", failed, formatFields(quoteFields(v)).c_str());
        } else {
            FundamentalsValues v = decodeFundamentals(r.data(), r.size());
            std::printf("  fundamentals%s %s\n", failed,
                        formatFields(fundamentalsFields(v)).c_str());
        }
        break;
    case DBA_GET_VERSION: {
        VersionValues v = decodeVersion(r.data(), r.size());
        std::printf("  version%s %s\n", failed, formatFields(versionFields(v)).c_str());
        break;
    }
    case DBA_GET_RECORD_EXT: {
        std::string symbol, qualifier;
        CantValues v = decodeCant(r.data(), r.size(), symbol, qualifier);
        std::printf("  cant%s security=\"%s\"/\"%s\" %s\n", failed, symbol.c_str(),
                    qualifier.c_str(), formatFields(cantFields(v)).c_str());
        break;
    }
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        if (r.size() >= BAR_BLOCK_SIZE) {
            for (BarRow &b : decodeBarBlock(r.data())) {
                std::printf("  bar%s %s\n", failed, formatFields(barFields(b)).c_str());
            }
        }
        break;
    default:
        break;
    }
}

void printCall(const RecordedCall &call, Kind kind, std::map<Bytes, int64_t> &securityRecords) {
    std::printf("call %lld  recording %lld  session %d  %s  parameter %d  status %d",
                static_cast<long long>(call.id), static_cast<long long>(call.recording),
                static_cast<int>(call.session), operationName(call.operation).c_str(),
                static_cast<int>(call.parameter), static_cast<int>(call.status));
    if (call.hasMode) {
        std::printf("  mode %d", static_cast<int>(call.mode));
    }
    if (call.run != 0) {
        std::printf("  (continues call %lld)", static_cast<long long>(call.run));
    }
    if (!call.attached && call.operation != DBA_ATTACH) {
        std::printf("  (block not attached)");
    }
    std::printf("\n");
    switch (call.operation) {
    case DBA_GET_RECORD:
    case DBA_GET_APPROX:
        if (!call.key.empty() && (call.operation == DBA_GET_RECORD || call.run == 0)) {
            std::printf("  key %s\n", security(call.key).c_str());
        }
        break;
    case DBA_GET_RECORD_EXT:
        if (call.key.size() >= TAGGED_KEY_SIZE) {
            std::printf("  key %s tag \"%.*s\"\n", security(call.key).c_str(),
                        static_cast<int>(KEY_TAG_SIZE),
                        reinterpret_cast<const char *>(call.key.data() + KEY_TAG_OFFSET));
        }
        break;
    case DBA_GET_FIRST_BLOCK:
    case DBA_GET_NEXT_BLOCK:
        if (!call.key.empty()) {
            auto found = securityRecords.find(call.key);
            if (found != securityRecords.end()) {
                std::printf("  key the security record of call %lld\n",
                            static_cast<long long>(found->second));
            } else {
                std::printf("  key a security record recorded with no DBA_GET_RECORD\n");
            }
        }
        break;
    default:
        break;
    }
    if (call.operation == DBA_GET_RECORD && call.status == 0 && !call.record.empty()) {
        securityRecords[call.record] = call.id;
    }
    printRecord(call, kind);
    if (call.hasScan) {
        std::printf("  scan block reserved4=%d reserved8=%d started=%d\n",
                    static_cast<int>(call.scan.reserved4), static_cast<int>(call.scan.reserved8),
                    static_cast<int>(call.scan.started));
    }
    int index = 0;
    for (const RecordedDelivery &d : call.deliveries) {
        std::printf("  delivery %d  event %d  status %d  key %s  started %d  callback returned "
                    "%d\n",
                    index++, static_cast<int>(d.event), static_cast<int>(d.status),
                    d.key.empty() ? "null" : security(d.key).c_str(),
                    static_cast<int>(d.seen.started), static_cast<int>(d.result));
        if (d.block.size() == HISTORY_BLOCK_SIZE) {
            for (HistoryRow &h : decodeHistoryBlock(d.block.data())) {
                std::printf("    history %s\n", formatFields(historyFields(h)).c_str());
            }
        }
    }
}

int32_t toInt(const char *text) {
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        throw std::runtime_error(std::string("\"") + text + "\" is not a number");
    }
    return static_cast<int32_t>(v);
}

} // namespace

const char RECORDING_USAGE[] = "  pcqw32-sim recordings <folder> <db>\n"
                               "  pcqw32-sim calls <folder> <db> [recording] "
                               "[--kind quote|fundamentals]\n";

int recordingCommand(int argc, char **argv) {
    if (argc < 4) {
        return -1;
    }
    const std::string command = argv[1];
    if (command != "recordings" && command != "calls") {
        return -1;
    }
    const std::string folder = argv[2];
    int32_t db = 0;
    if (!parseDatabaseNumber(argv[3], db)) {
        std::fprintf(stderr,
                     "pcqw32-sim: the database number is a non-negative integer, not \"%s\"\n"
                     "pcqw32-sim: usage:\n%s",
                     argv[3], RECORDING_USAGE);
        return 2;
    }
    int64_t recording = 0;
    Kind kind = Kind::GUESS;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command == "calls" && arg == "--kind" && i + 1 < argc) {
            const std::string k = argv[++i];
            if (k != "quote" && k != "fundamentals") {
                throw std::runtime_error("--kind is quote or fundamentals, not \"" + k + "\"");
            }
            kind = k == "quote" ? Kind::QUOTE : Kind::FUNDAMENTALS;
        } else if (command == "calls" && recording == 0) {
            recording = toInt(argv[i]);
        } else {
            return -1;
        }
    }
    std::string why;
    std::unique_ptr<RecordingStore> store = openStore(folder, db, why);
    if (!store) {
        throw std::runtime_error(why);
    }
    if (command == "recordings") {
        printRecordings(*store);
        return 0;
    }
    std::map<Bytes, int64_t> securityRecords;
    if (!store->forEachCall(
            recording, [&](const RecordedCall &call) { printCall(call, kind, securityRecords); })) {
        throw std::runtime_error(store->error());
    }
    return 0;
}

} // namespace pcqw32
