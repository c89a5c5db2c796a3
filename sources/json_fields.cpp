// The shared field readers of the sources' JSON answers.
#include "sources/json_fields.h"

#include <nlohmann/json.hpp>

const std::string* json_string_at(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return nullptr;
    return &it->get_ref<const std::string&>();
}

long json_count_at(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return -1;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer()) return -1;
    const long long v = it->get<long long>();
    return v < 0 ? -1 : static_cast<long>(v > (1LL << 40) ? (1LL << 40) : v);
}

std::string json_one_line_name(const std::string& raw, size_t max_bytes) {
    std::string s = raw.substr(0, max_bytes + 4);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    if (s.size() > max_bytes) {
        size_t cut = max_bytes;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s.resize(cut);
    }
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

bool json_usable_address(const std::string& url, size_t max_bytes) {
    if (url.size() > max_bytes) return false;
    if (url.compare(0, 8, "https://") != 0 && url.compare(0, 7, "http://") != 0) return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7f) return false;
    return true;
}

bool json_stamp_ok(const nlohmann::json& j, int version, std::int64_t& read) {
    if (!j.is_object()) return false;
    const auto v = j.find("version");
    const auto when = j.find("read");
    if (v == j.end() || !v->is_number_integer() || v->get<long long>() != version) return false;
    if (when == j.end() || !when->is_number_integer()) return false;
    read = when->get<std::int64_t>();
    return read > 0;
}
