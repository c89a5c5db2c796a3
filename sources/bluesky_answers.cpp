// The readers of the AppView's answers: every field checked for its type and size before it
// is used; nothing here throws, whatever the JSON holds.
#include "sources/bluesky_answers.h"

#include "sources/json_fields.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace {

using json = nlohmann::json;

}  // namespace

bool UTL_BlueskyAnswers::usable_did(const std::string& did) {
    if (did.size() < 7 || did.size() > 64 || did.compare(0, 4, "did:") != 0) return false;
    if (did.find(':', 4) == std::string::npos || did.back() == ':') return false;
    for (unsigned char c : did)
        if (!std::isalnum(c) && c != '.' && c != '_' && c != '-' && c != ':') return false;
    return true;
}

std::string UTL_BlueskyAnswers::normal_handle(const std::string& text) {
    std::string h = text;
    if (!h.empty() && h[0] == '@') h.erase(0, 1);
    if (h.empty() || h.size() > 253 || h.find('.') == std::string::npos) return "";
    if (h.front() == '.' || h.back() == '.' || h.find("..") != std::string::npos) return "";
    for (char& c : h) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '-' && c != '.') return "";
        c = static_cast<char>(std::tolower(u));
    }
    return h;
}

std::string UTL_BlueskyAnswers::did_of(const json& answer) {
    const std::string* did = json_string_at(answer, "did");
    return did && usable_did(*did) ? *did : "";
}

bool UTL_BlueskyAnswers::person_of(const json& view, UTL_BlueskyPerson& out) {
    const std::string* did = json_string_at(view, "did");
    if (!did || !usable_did(*did)) return false;
    out = UTL_BlueskyPerson();
    out.m_did = *did;
    const std::string* handle = json_string_at(view, "handle");
    if (handle) out.m_handle = normal_handle(*handle);
    const std::string* name = json_string_at(view, "displayName");
    if (name) out.m_name = json_one_line_name(*name, kMaxName);
    if (out.m_name.empty()) out.m_name = out.m_handle.empty() ? out.m_did : out.m_handle;
    const std::string* avatar = json_string_at(view, "avatar");
    if (avatar && json_usable_address(*avatar, kMaxAddress)) out.m_avatar = *avatar;
    out.m_follows_count = json_count_at(view, "followsCount");
    out.m_followers_count = json_count_at(view, "followersCount");
    return true;
}

std::vector<UTL_BlueskyPerson> UTL_BlueskyAnswers::profiles_of(const json& answer,
                                                               size_t& skipped) {
    std::vector<UTL_BlueskyPerson> out;
    if (!answer.is_object()) return out;
    const auto list = answer.find("profiles");
    if (list == answer.end() || !list->is_array()) return out;
    for (const json& view : *list) {
        UTL_BlueskyPerson p;
        if (person_of(view, p)) {
            out.push_back(std::move(p));
        } else {
            ++skipped;
        }
    }
    return out;
}

std::vector<UTL_BlueskyPerson> UTL_BlueskyAnswers::page_of(const json& answer, const char* list,
                                                           std::string& cursor, size_t& skipped) {
    std::vector<UTL_BlueskyPerson> out;
    cursor.clear();
    if (!answer.is_object()) return out;
    const auto people = answer.find(list);
    if (people != answer.end() && people->is_array()) {
        for (const json& view : *people) {
            UTL_BlueskyPerson p;
            if (person_of(view, p)) {
                out.push_back(std::move(p));
            } else {
                ++skipped;
            }
        }
    }
    const std::string* next = json_string_at(answer, "cursor");
    if (next && next->size() <= kMaxCursor) cursor = *next;
    return out;
}

std::vector<UTL_BlueskyRelation> UTL_BlueskyAnswers::relations_of(
    const json& answer, std::vector<std::string>& not_found) {
    std::vector<UTL_BlueskyRelation> out;
    if (!answer.is_object()) return out;
    const auto list = answer.find("relationships");
    if (list == answer.end() || !list->is_array()) return out;
    for (const json& entry : *list) {
        const std::string* type = json_string_at(entry, "$type");
        const bool missing = (type && *type == "app.bsky.graph.defs#notFoundActor") ||
                             (entry.is_object() && entry.contains("notFound") &&
                              entry["notFound"].is_boolean() && entry["notFound"].get<bool>());
        if (missing) {
            const std::string* actor = json_string_at(entry, "actor");
            if (actor && usable_did(*actor)) not_found.push_back(*actor);
            continue;
        }
        const std::string* did = json_string_at(entry, "did");
        if (!did || !usable_did(*did)) continue;
        UTL_BlueskyRelation r;
        r.m_did = *did;
        // Each is an AT-URI of the follow record, present only when that way is followed.
        const std::string* following = json_string_at(entry, "following");
        const std::string* followed_by = json_string_at(entry, "followedBy");
        r.m_following = following && !following->empty();
        r.m_followed_by = followed_by && !followed_by->empty();
        out.push_back(std::move(r));
    }
    return out;
}
