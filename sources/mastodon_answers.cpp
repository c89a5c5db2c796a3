// The readers of Mastodon servers' answers: every field checked for its type and size before it
// is used; nothing here throws, whatever the JSON or the header holds.
#include "sources/mastodon_answers.h"

#include "service/social_network.h"
#include "sources/json_fields.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace {

using json = nlohmann::json;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool usable_username(const std::string& user) {
    if (user.empty() || user.size() > 64) return false;
    for (unsigned char c : user)
        if (!std::isalnum(c) && c != '_' && c != '.' && c != '-') return false;
    return true;
}

// An account id as servers write it: digits (Mastodon), or letters and digits (other servers
// of the fediverse); it goes into an address's path, so nothing else.
bool id_of(const json& account, std::string& out) {
    const auto it = account.find("id");
    if (it == account.end()) return false;
    std::string id;
    if (it->is_string()) {
        id = it->get<std::string>();
    } else if (it->is_number_unsigned()) {
        id = std::to_string(it->get<unsigned long long>());
    } else {
        return false;
    }
    if (id.empty() || id.size() > UTL_MastodonAnswers::kMaxId) return false;
    for (unsigned char c : id)
        if (!std::isalnum(c) && c != '_' && c != '-') return false;
    out = std::move(id);
    return true;
}

}  // namespace

// --- Addresses ----------------------------------------------------------------------------------

bool UTL_MastodonAnswers::usable_domain(const std::string& domain) {
    if (domain == "localhost") return true;
    if (domain.empty() || domain.size() > 253 || domain.find('.') == std::string::npos)
        return false;
    if (domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string::npos)
        return false;
    for (unsigned char c : domain)
        if (!(std::islower(c) || std::isdigit(c)) && c != '-' && c != '.') return false;
    return true;
}

std::string UTL_MastodonAnswers::normal_address(const std::string& text) {
    std::string a = text;
    const size_t first = a.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    a = a.substr(first, a.find_last_not_of(" \t") - first + 1);
    if (!a.empty() && a[0] == '@') a.erase(0, 1);
    const size_t at = a.find('@');
    if (at == std::string::npos || a.find('@', at + 1) != std::string::npos) return "";
    const std::string user = lower(a.substr(0, at));
    const std::string domain = lower(a.substr(at + 1));
    if (!usable_username(user) || !usable_domain(domain)) return "";
    const std::string uid = user + "@" + domain;
    return UTL_SocialNetwork::valid_uid(uid) ? uid : "";
}

bool UTL_MastodonAnswers::split_url(const std::string& url, std::string& origin,
                                    std::string& host) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return false;
    const std::string scheme = lower(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") return false;
    const size_t start = colon + 3;
    const size_t end = url.find_first_of("/?#", start);
    const std::string authority =
        lower(url.substr(start, end == std::string::npos ? std::string::npos : end - start));
    const size_t port_at = authority.find(':');
    const std::string name = authority.substr(0, port_at);
    if (name.empty() || name.size() > 253) return false;
    for (unsigned char c : name)
        if (!(std::islower(c) || std::isdigit(c)) && c != '-' && c != '.') return false;
    if (port_at != std::string::npos) {
        const std::string port = authority.substr(port_at + 1);
        if (port.empty() || port.size() > 5) return false;
        for (unsigned char c : port)
            if (!std::isdigit(c)) return false;
        if (std::stol(port) < 1 || std::stol(port) > 65535) return false;
    }
    origin = scheme + "://" + authority;
    host = name;
    return true;
}

// --- Accounts -----------------------------------------------------------------------------------

bool UTL_MastodonAnswers::account_of(const json& account, const std::string& server_domain,
                                     UTL_MastodonPerson& out) {
    if (!account.is_object()) return false;
    UTL_MastodonPerson p;
    if (!id_of(account, p.m_id)) return false;
    const std::string* username = json_string_at(account, "username");
    const std::string* acct = json_string_at(account, "acct");
    if (!username || !usable_username(*username) || !acct) return false;
    p.m_username = *username;
    // A local account's acct is its username alone; a remote one's carries its domain.
    p.m_uid =
        normal_address(acct->find('@') == std::string::npos ? *acct + "@" + server_domain : *acct);
    if (p.m_uid.empty()) return false;
    const std::string* name = json_string_at(account, "display_name");
    if (name) p.m_name = json_one_line_name(*name, kMaxName);
    if (p.m_name.empty()) p.m_name = p.m_username;
    for (const char* key : {"avatar_static", "avatar"}) {
        const std::string* avatar = json_string_at(account, key);
        if (avatar && json_usable_address(*avatar, kMaxAddress)) {
            p.m_avatar = *avatar;
            break;
        }
    }
    const std::string* url = json_string_at(account, "url");
    if (url && json_usable_address(*url, kMaxAddress)) p.m_url = *url;
    p.m_following_count = json_count_at(account, "following_count");
    p.m_followers_count = json_count_at(account, "followers_count");
    const auto hides = account.find("hide_collections");
    p.m_hides = hides != account.end() && hides->is_boolean() && hides->get<bool>();
    out = std::move(p);
    return true;
}

std::vector<UTL_MastodonPerson> UTL_MastodonAnswers::accounts_of(const json& answer,
                                                                 const std::string& server_domain,
                                                                 size_t& skipped) {
    std::vector<UTL_MastodonPerson> out;
    if (!answer.is_array()) return out;
    for (const json& a : answer) {
        UTL_MastodonPerson p;
        if (account_of(a, server_domain, p)) {
            out.push_back(std::move(p));
        } else {
            ++skipped;
        }
    }
    return out;
}

// --- Link and WebFinger -------------------------------------------------------------------------

// <https://a.example/api/v1/accounts/1/following?max_id=7>; rel="next", <...>; rel="prev"
std::string UTL_MastodonAnswers::next_link(const std::string& header) {
    size_t at = 0;
    while (at < header.size()) {
        const size_t open = header.find('<', at);
        if (open == std::string::npos) return "";
        const size_t close = header.find('>', open + 1);
        if (close == std::string::npos) return "";
        const std::string target = header.substr(open + 1, close - open - 1);
        // The parameters up to the next link: a comma outside quotes.
        bool next = false;
        size_t i = close + 1;
        bool quoted = false;
        std::string params;
        for (; i < header.size(); ++i) {
            const char c = header[i];
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) break;
            params += c;
        }
        size_t p = 0;
        while ((p = params.find(';', p)) != std::string::npos) {
            ++p;
            const size_t eq = params.find('=', p);
            if (eq == std::string::npos) break;
            std::string name = lower(params.substr(p, eq - p));
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of(" \t") + 1);
            if (name != "rel") continue;
            size_t v = params.find_first_not_of(" \t", eq + 1);
            if (v == std::string::npos) break;
            std::string value;
            if (params[v] == '"') {
                const size_t endq = params.find('"', v + 1);
                value = params.substr(v + 1,
                                      endq == std::string::npos ? std::string::npos : endq - v - 1);
            } else {
                value = params.substr(v, params.find_first_of(" \t;", v) - v);
            }
            // rel may name several relations, blank-separated.
            value = " " + lower(value) + " ";
            for (char& c : value)
                if (c == '\t') c = ' ';
            if (value.find(" next ") != std::string::npos) next = true;
        }
        if (next) {
            std::string origin, host;
            if (!json_usable_address(target, kMaxAddress) || !split_url(target, origin, host))
                return "";
            return target;
        }
        at = i + 1;
    }
    return "";
}

std::string UTL_MastodonAnswers::webfinger_server(const json& answer, const std::string& address) {
    const std::string* subject = json_string_at(answer, "subject");
    if (!subject || lower(*subject) != "acct:" + address) return "";
    const auto links = answer.find("links");
    if (links == answer.end() || !links->is_array()) return "";
    for (const json& link : *links) {
        const std::string* rel = json_string_at(link, "rel");
        const std::string* type = json_string_at(link, "type");
        const std::string* href = json_string_at(link, "href");
        if (!rel || *rel != "self" || !type || !href) continue;
        const std::string t = lower(*type);
        if (t.compare(0, 25, "application/activity+json") != 0 &&
            t.compare(0, 19, "application/ld+json") != 0)
            continue;
        std::string origin, host;
        if (json_usable_address(*href, kMaxAddress) && split_url(*href, origin, host))
            return origin;
    }
    return "";
}
