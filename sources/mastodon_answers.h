// The readers of Mastodon servers' answers (accounts/lookup, an account's following and
// followers with their Link header, WebFinger) and of account addresses and server addresses:
// what the Mastodon source uses of each, checked field by field, so a hostile or broken answer
// gives less, never more, and never a person that cannot be shown.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>
#include <vector>

// One account as the source keeps it.
struct UTL_MastodonPerson {
    std::string m_uid;            // "user@domain" in lower case: the same on every server
    std::string m_id;             // the account's id on the server that answered (ids differ)
    std::string m_username;       // as the server writes it ("Alice")
    std::string m_name;           // the display name, else the username
    std::string m_avatar;         // avatar_static (else avatar): an http(s) address, or ""
    std::string m_url;            // the profile page, whose host may differ from the domain
    long m_following_count = -1;  // -1: not known
    long m_followers_count = -1;
    bool m_hides = false;  // says it hides its follows and followers (hide_collections)

    std::string username() const { return m_uid.substr(0, m_uid.find('@')); }
    std::string domain() const { return m_uid.substr(m_uid.find('@') + 1); }
};

struct UTL_MastodonAnswers {
    // Longest values kept; longer ones are cut (names) or refused (addresses, ids).
    static constexpr size_t kMaxName = 256;
    static constexpr size_t kMaxAddress = 2048;
    static constexpr size_t kMaxId = 64;

    // "@Alice@Social.Example" or "alice@social.example" -> "alice@social.example"; "" when it
    // is not an account address whose lower case can be a uid on the globe.
    static std::string normal_address(const std::string& text);
    // A domain name: letters, digits, '-' and '.', at least one '.', or "localhost"; at most
    // 253 characters. Lower case only.
    static bool usable_domain(const std::string& domain);

    // An Account, as a server answers for one of its own accounts or a remote one it knows: the
    // uid is its acct, with the answering server's domain added to a local one. False when it
    // has no usable id, username or address.
    static bool account_of(const nlohmann::json& account, const std::string& server_domain,
                           UTL_MastodonPerson& out);
    // An array of Accounts (following, followers): every usable one; the others are counted in
    // skipped.
    static std::vector<UTL_MastodonPerson> accounts_of(const nlohmann::json& answer,
                                                       const std::string& server_domain,
                                                       size_t& skipped);
    // A Link header's rel="next" address, as given; "" when there is none or it is not a whole
    // http(s) address.
    static std::string next_link(const std::string& header);
    // A WebFinger answer (JRD) for acct:user@domain: the address of the server that holds the
    // account, "https://host[:port]" as its ActivityPub actor ("self") names it; "" when the
    // answer is about someone else or names no such actor.
    static std::string webfinger_server(const nlohmann::json& answer, const std::string& address);
    // "https://Social.Example:8443/x" -> origin "https://social.example:8443", host
    // "social.example" (without the port). False when it is not an http(s) address with a host.
    static bool split_url(const std::string& url, std::string& origin, std::string& host);
};
