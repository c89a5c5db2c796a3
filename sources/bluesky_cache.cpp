// UTL_BlueskyCache: the JSON documents of the Bluesky cache (nlohmann-json), both ways.
#include "sources/bluesky_cache.h"

#include "sources/json_fields.h"

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::json;

constexpr int kVersion = 1;
constexpr size_t kMaxFriends = 1000000;
constexpr size_t kMaxListed = 5000000;
constexpr size_t kMaxHandleBytes = 64u << 10;
const char* const kNetworkKey = "network";

json person_json(const UTL_BlueskyPerson& p) {
    return {
        {"did", p.m_did},       {"handle", p.m_handle},         {"name", p.m_name},
        {"avatar", p.m_avatar}, {"follows", p.m_follows_count}, {"followers", p.m_followers_count}};
}

// A cached person goes through the same checks as one the AppView sends.
bool person_from(const json& j, UTL_BlueskyPerson& out) {
    if (!j.is_object()) return false;
    json view = json::object();
    for (const char* key : {"did", "handle", "avatar"}) {
        const auto it = j.find(key);
        if (it != j.end()) view[key] = *it;
    }
    const auto name = j.find("name");
    if (name != j.end()) view["displayName"] = *name;
    const auto follows = j.find("follows");
    if (follows != j.end()) view["followsCount"] = *follows;
    const auto followers = j.find("followers");
    if (followers != j.end()) view["followersCount"] = *followers;
    return UTL_BlueskyAnswers::person_of(view, out);
}

}  // namespace

// --- Handles ------------------------------------------------------------------------------------

bool UTL_BlueskyCache::load_handle(const std::string& handle, std::string& did,
                                   std::int64_t& read) const {
    std::string bytes;
    if (!m_files.load("", "handle " + handle, kMaxHandleBytes, bytes)) return false;
    const json j = json::parse(bytes, nullptr, false);
    std::int64_t when = 0;
    if (!json_stamp_ok(j, kVersion, when)) return false;
    const auto h = j.find("handle");
    if (h == j.end() || !h->is_string() || h->get<std::string>() != handle) return false;
    const std::string found = UTL_BlueskyAnswers::did_of(j);
    if (found.empty()) return false;
    did = found;
    read = when;
    return true;
}

bool UTL_BlueskyCache::store_handle(const std::string& handle, const std::string& did,
                                    std::int64_t read) const {
    const json j = {{"version", kVersion}, {"read", read}, {"handle", handle}, {"did", did}};
    return m_files.store("", "handle " + handle, j.dump());
}

// --- The network --------------------------------------------------------------------------------

std::string UTL_BlueskyCache::network_text(const UTL_BlueskyNetwork& network) {
    json friends = json::array();
    for (const UTL_BlueskyPerson& p : network.m_friends) friends.push_back(person_json(p));
    const json j = {{"version", kVersion},           {"read", network.m_read},
                    {"did", network.m_ego.m_did},    {"ego", person_json(network.m_ego)},
                    {"friends", std::move(friends)}, {"unresolved", network.m_unresolved}};
    // NOTE: names may hold any character; "replace" keeps a file that a bad one cannot break.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool UTL_BlueskyCache::parse_network(const std::string& bytes, UTL_BlueskyNetwork& out) {
    const json j = json::parse(bytes, nullptr, false);
    UTL_BlueskyNetwork n;
    if (!json_stamp_ok(j, kVersion, n.m_read)) return false;
    const auto ego = j.find("ego");
    if (ego == j.end() || !person_from(*ego, n.m_ego)) return false;
    const auto friends = j.find("friends");
    if (friends == j.end() || !friends->is_array() || friends->size() > kMaxFriends) return false;
    for (const json& f : *friends) {
        UTL_BlueskyPerson p;
        if (person_from(f, p) && p.m_did != n.m_ego.m_did) n.m_friends.push_back(std::move(p));
    }
    const auto unresolved = j.find("unresolved");
    if (unresolved != j.end() && unresolved->is_array() && unresolved->size() <= kMaxFriends) {
        for (const json& d : *unresolved) {
            if (d.is_string() && UTL_BlueskyAnswers::usable_did(d.get_ref<const std::string&>()))
                n.m_unresolved.push_back(d.get<std::string>());
        }
    }
    out = std::move(n);
    return true;
}

bool UTL_BlueskyCache::load_network(const std::string& ego_did, UTL_BlueskyNetwork& out) const {
    std::string bytes;
    if (!m_files.load(ego_did, kNetworkKey, kMaxNetworkBytes, bytes)) return false;
    UTL_BlueskyNetwork n;
    if (!parse_network(bytes, n) || n.m_ego.m_did != ego_did) return false;
    out = std::move(n);
    return true;
}

bool UTL_BlueskyCache::store_network(const UTL_BlueskyNetwork& network) const {
    return m_files.store(network.m_ego.m_did, kNetworkKey, network_text(network));
}

// --- Parts --------------------------------------------------------------------------------------

std::string UTL_BlueskyCache::part_text(const std::string& friend_did,
                                        const UTL_BlueskyPart& part) {
    json j = {{"version", kVersion}, {"read", part.m_read}, {"did", friend_did}};
    if (part.m_kind == UTL_BlueskyPart::Kind::kFollows) {
        j["follows"] = part.m_follows;
    } else if (part.m_kind == UTL_BlueskyPart::Kind::kRelationships) {
        json list = json::array();
        for (const UTL_BlueskyRelation& r : part.m_relations)
            list.push_back({r.m_did, r.m_following ? 1 : 0, r.m_followed_by ? 1 : 0});
        j["relations"] = std::move(list);
    }
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool UTL_BlueskyCache::parse_part(const std::string& bytes, const std::string& friend_did,
                                  UTL_BlueskyPart& out) {
    const json j = json::parse(bytes, nullptr, false);
    UTL_BlueskyPart p;
    if (!json_stamp_ok(j, kVersion, p.m_read)) return false;
    const auto did = j.find("did");
    if (did == j.end() || !did->is_string() || did->get<std::string>() != friend_did) return false;
    const auto follows = j.find("follows");
    const auto relations = j.find("relations");
    if (follows != j.end() && follows->is_array() && follows->size() <= kMaxListed) {
        p.m_kind = UTL_BlueskyPart::Kind::kFollows;
        for (const json& d : *follows) {
            if (d.is_string() && UTL_BlueskyAnswers::usable_did(d.get_ref<const std::string&>()))
                p.m_follows.push_back(d.get<std::string>());
        }
    } else if (relations != j.end() && relations->is_array() && relations->size() <= kMaxListed) {
        p.m_kind = UTL_BlueskyPart::Kind::kRelationships;
        for (const json& r : *relations) {
            if (!r.is_array() || r.size() != 3 || !r[0].is_string() || !r[1].is_number_integer() ||
                !r[2].is_number_integer())
                continue;
            const std::string& other = r[0].get_ref<const std::string&>();
            if (!UTL_BlueskyAnswers::usable_did(other)) continue;
            p.m_relations.push_back(
                {other, r[1].get<long long>() != 0, r[2].get<long long>() != 0});
        }
    } else {
        return false;
    }
    out = std::move(p);
    return true;
}

bool UTL_BlueskyCache::load_part(const std::string& ego_did, const std::string& friend_did,
                                 UTL_BlueskyPart& out) const {
    std::string bytes;
    return m_files.load(ego_did, friend_did, kMaxPartBytes, bytes) &&
           parse_part(bytes, friend_did, out);
}

bool UTL_BlueskyCache::store_part(const std::string& ego_did, const std::string& friend_did,
                                  const UTL_BlueskyPart& part) const {
    return m_files.store(ego_did, friend_did, part_text(friend_did, part));
}
