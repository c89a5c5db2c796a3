// UTL_MastodonCache: the JSON documents of the Mastodon cache (nlohmann-json), both ways.
#include "sources/mastodon_cache.h"

#include "sources/json_fields.h"

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::json;

constexpr int kVersion = 1;
constexpr size_t kMaxFriends = 1000000;
constexpr size_t kMaxListed = 5000000;
const char* const kNetworkKey = "network";

json person_json(const UTL_MastodonPerson& p) {
    return {{"uid", p.m_uid},
            {"id", p.m_id},
            {"username", p.m_username},
            {"name", p.m_name},
            {"avatar", p.m_avatar},
            {"url", p.m_url},
            {"following", p.m_following_count},
            {"followers", p.m_followers_count},
            {"hides", p.m_hides}};
}

// A cached person goes through the same checks as an account a server sends.
bool person_from(const json& j, UTL_MastodonPerson& out) {
    if (!j.is_object()) return false;
    const std::string* uid = json_string_at(j, "uid");
    if (!uid || uid->find('@') == std::string::npos) return false;
    json account = {{"acct", *uid}};
    const std::pair<const char*, const char*> keys[] = {{"id", "id"},
                                                        {"username", "username"},
                                                        {"name", "display_name"},
                                                        {"avatar", "avatar_static"},
                                                        {"url", "url"},
                                                        {"following", "following_count"},
                                                        {"followers", "followers_count"},
                                                        {"hides", "hide_collections"}};
    for (const auto& [mine, theirs] : keys) {
        const auto it = j.find(mine);
        if (it != j.end()) account[theirs] = *it;
    }
    UTL_MastodonPerson p;
    if (!UTL_MastodonAnswers::account_of(account, "", p) || p.m_uid != *uid) return false;
    out = std::move(p);
    return true;
}

// A list of uids: those that can be uids, the others left out.
bool uids_from(const json& j, const char* key, std::vector<std::string>& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_array() || it->size() > kMaxListed) return false;
    for (const json& u : *it) {
        if (!u.is_string()) continue;
        const std::string uid =
            UTL_MastodonAnswers::normal_address(u.get_ref<const std::string&>());
        if (!uid.empty() && uid == u.get_ref<const std::string&>()) out.push_back(uid);
    }
    return true;
}

// A server's address as the source keeps it: "https://host[:port]".
std::string server_from(const json& j) {
    const std::string* server = json_string_at(j, "server");
    std::string origin, host;
    if (!server || !UTL_MastodonAnswers::split_url(*server, origin, host) || origin != *server)
        return "";
    return origin;
}

}  // namespace

// --- The network --------------------------------------------------------------------------------

std::string UTL_MastodonCache::network_text(const UTL_MastodonNetwork& network) {
    json friends = json::array();
    for (const UTL_MastodonPerson& p : network.m_friends) friends.push_back(person_json(p));
    const json j = {{"version", kVersion},        {"read", network.m_read},
                    {"uid", network.m_ego.m_uid}, {"ego", person_json(network.m_ego)},
                    {"server", network.m_server}, {"friends", std::move(friends)}};
    // NOTE: names may hold any character; "replace" keeps a file that a bad one cannot break.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool UTL_MastodonCache::parse_network(const std::string& bytes, UTL_MastodonNetwork& out) {
    const json j = json::parse(bytes, nullptr, false);
    UTL_MastodonNetwork n;
    if (!json_stamp_ok(j, kVersion, n.m_read)) return false;
    const auto ego = j.find("ego");
    if (ego == j.end() || !person_from(*ego, n.m_ego)) return false;
    n.m_server = server_from(j);
    if (n.m_server.empty()) return false;
    const auto friends = j.find("friends");
    if (friends == j.end() || !friends->is_array() || friends->size() > kMaxFriends) return false;
    for (const json& f : *friends) {
        UTL_MastodonPerson p;
        if (person_from(f, p) && p.m_uid != n.m_ego.m_uid) n.m_friends.push_back(std::move(p));
    }
    out = std::move(n);
    return true;
}

bool UTL_MastodonCache::load_network(const std::string& ego_uid, UTL_MastodonNetwork& out) const {
    std::string bytes;
    if (!m_files.load(ego_uid, kNetworkKey, kMaxNetworkBytes, bytes)) return false;
    UTL_MastodonNetwork n;
    if (!parse_network(bytes, n) || n.m_ego.m_uid != ego_uid) return false;
    out = std::move(n);
    return true;
}

bool UTL_MastodonCache::store_network(const UTL_MastodonNetwork& network) const {
    return m_files.store(network.m_ego.m_uid, kNetworkKey, network_text(network));
}

// --- Parts --------------------------------------------------------------------------------------

std::string UTL_MastodonCache::part_text(const std::string& friend_uid,
                                         const UTL_MastodonPart& part) {
    json j = {{"version", kVersion}, {"read", part.m_read}, {"uid", friend_uid}};
    switch (part.m_kind) {
        case UTL_MastodonPart::Kind::kLists:
            if (part.m_has_following) j["following"] = part.m_following;
            if (part.m_has_followers) j["followers"] = part.m_followers;
            j["server"] = part.m_server;
            j["id"] = part.m_id;
            break;
        case UTL_MastodonPart::Kind::kHidden:
            j["hidden"] = true;
            break;
        case UTL_MastodonPart::Kind::kUnreadable:
            j["unreadable"] = part.m_reason;
            break;
        case UTL_MastodonPart::Kind::kNone:
            j["server"] = part.m_server;
            j["id"] = part.m_id;
            break;
    }
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool UTL_MastodonCache::parse_part(const std::string& bytes, const std::string& friend_uid,
                                   UTL_MastodonPart& out) {
    const json j = json::parse(bytes, nullptr, false);
    UTL_MastodonPart p;
    if (!json_stamp_ok(j, kVersion, p.m_read)) return false;
    const std::string* uid = json_string_at(j, "uid");
    if (!uid || *uid != friend_uid) return false;
    const auto hidden = j.find("hidden");
    const std::string* unreadable = json_string_at(j, "unreadable");
    if (hidden != j.end() && hidden->is_boolean() && hidden->get<bool>()) {
        p.m_kind = UTL_MastodonPart::Kind::kHidden;
    } else if (unreadable) {
        p.m_kind = UTL_MastodonPart::Kind::kUnreadable;
        p.m_reason = json_one_line_name(*unreadable, 200);
    } else {
        p.m_has_following = uids_from(j, "following", p.m_following);
        p.m_has_followers = uids_from(j, "followers", p.m_followers);
        // Neither list: where they are is all that was found before a stop.
        p.m_kind = p.m_has_following || p.m_has_followers ? UTL_MastodonPart::Kind::kLists
                                                          : UTL_MastodonPart::Kind::kNone;
        p.m_server = server_from(j);
        const std::string* id = json_string_at(j, "id");
        // The id goes into an address: it passes the account reader's check or is dropped.
        UTL_MastodonPerson probe;
        if (id && !p.m_server.empty() &&
            UTL_MastodonAnswers::account_of({{"id", *id}, {"username", "x"}, {"acct", "x@x.x"}}, "",
                                            probe)) {
            p.m_id = *id;
        } else {
            p.m_server.clear();
        }
        if (p.m_kind == UTL_MastodonPart::Kind::kNone && p.m_server.empty()) return false;
    }
    out = std::move(p);
    return true;
}

bool UTL_MastodonCache::load_part(const std::string& ego_uid, const std::string& friend_uid,
                                  UTL_MastodonPart& out) const {
    std::string bytes;
    return m_files.load(ego_uid, friend_uid, kMaxPartBytes, bytes) &&
           parse_part(bytes, friend_uid, out);
}

bool UTL_MastodonCache::store_part(const std::string& ego_uid, const std::string& friend_uid,
                                   const UTL_MastodonPart& part) const {
    return m_files.store(ego_uid, friend_uid, part_text(friend_uid, part));
}
