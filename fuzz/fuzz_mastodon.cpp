// Fuzzes every reader of Mastodon servers' answers and of the Mastodon cache: the JSON client's
// classification of an answer with its X-RateLimit headers (an ISO 8601 reset), the readers of
// accounts and account arrays, the Link header, WebFinger's JRD, account and server addresses,
// and the cache files.
#include "sources/json_client.h"
#include "sources/mastodon_answers.h"
#include "sources/mastodon_cache.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the status; the rest is the body, and its start the headers.
    const long statuses[] = {200, 401, 404, 429, 500, 503, 302, 206};
    const long status = statuses[data[0] & 7];
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string head = body.substr(0, 64);
    const std::map<std::string, std::string> headers = {
        {"x-ratelimit-remaining", head}, {"x-ratelimit-reset", head}, {"link", body}};
    UTL_JsonAnswer answer = UTL_JsonClient::classify(status, body, headers, 1765286600);
    UTL_JsonClient::seconds_until_reset(head, 1765286600);

    const nlohmann::json& j = answer.m_json;
    UTL_MastodonPerson person;
    size_t skipped = 0;
    UTL_MastodonAnswers::account_of(j, "social.example", person);
    UTL_MastodonAnswers::accounts_of(j, "social.example", skipped);
    UTL_MastodonAnswers::webfinger_server(j, "alice@social.example");
    UTL_MastodonAnswers::next_link(body);
    UTL_MastodonAnswers::normal_address(head);
    std::string origin, host;
    UTL_MastodonAnswers::split_url(body, origin, host);

    UTL_MastodonNetwork network;
    if (UTL_MastodonCache::parse_network(body, network)) UTL_MastodonCache::network_text(network);
    UTL_MastodonPart part;
    if (UTL_MastodonCache::parse_part(body, "alice@social.example", part))
        UTL_MastodonCache::part_text("alice@social.example", part);
    return 0;
}
