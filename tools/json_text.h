// JSON string literals of texts that may hold any bytes (feed records are not checked for
// UTF-8), so that --json output is always valid JSON and keeps every byte.
#ifndef QUORVEX_TOOLS_JSON_TEXT_H
#define QUORVEX_TOOLS_JSON_TEXT_H

#include <string>

namespace quorvex_cli {

// `text` as a quoted JSON string. Well-formed UTF-8 sequences pass unchanged; every byte that
// is not part of one (overlong forms, surrogates, code points above U+10FFFF, truncated or
// stray sequence bytes) becomes \u00XX, the byte read as Latin-1. Quotes, backslashes,
// control characters and DEL are escaped.
std::string jsonText(const std::string &text);

} // namespace quorvex_cli

#endif
