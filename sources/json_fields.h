// The field readers the sources share for JSON answers of web APIs: a value is used only when it
// has the type and size expected, so a hostile or broken answer gives less, never more. Any
// thread; nothing here throws.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

// The string at key of an object, or nullptr when there is none or it is not a string.
const std::string* json_string_at(const nlohmann::json& object, const char* key);
// A count at key: a whole number of at least 0 (capped at 2^40), else -1.
long json_count_at(const nlohmann::json& object, const char* key);
// A name fit for one line: controls become spaces, the ends are trimmed, and a name longer than
// max_bytes is cut at a character boundary (nlohmann-json has checked the UTF-8 already).
std::string json_one_line_name(const std::string& raw, size_t max_bytes);
// An http(s) address of at most max_bytes, without blanks or controls.
bool json_usable_address(const std::string& url, size_t max_bytes);
// The stamp a cache file opens with: {"version": version, "read": Unix seconds > 0}; the time
// in read, or false when the object carries another version or no time.
bool json_stamp_ok(const nlohmann::json& object, int version, std::int64_t& read);
