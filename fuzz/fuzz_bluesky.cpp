// Fuzzes every reader of Bluesky AppView answers and of the Bluesky cache: the JSON client's
// classification of an answer with its rate-limit headers, the readers of resolveHandle,
// getProfile(s), getFollows/getFollowers and getRelationships, and the cache files.
#include "sources/bluesky_answers.h"
#include "sources/bluesky_cache.h"
#include "sources/json_client.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the status and which header carries a reset; the rest is the body.
    const long statuses[] = {200, 400, 404, 429, 500, 502, 301, 204};
    const long status = statuses[data[0] & 7];
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string head = body.substr(0, 40);
    std::map<std::string, std::string> headers = {{"ratelimit-remaining", head}};
    headers[(data[0] & 8) ? "x-ratelimit-reset" : "retry-after"] = head;
    UTL_JsonAnswer answer = UTL_JsonClient::classify(status, body, headers, 1700000000);
    UTL_JsonClient::seconds_until_reset(body, 1700000000);

    const nlohmann::json& j = answer.m_json;
    size_t skipped = 0;
    std::string cursor;
    std::vector<std::string> not_found;
    UTL_BlueskyPerson person;
    UTL_BlueskyAnswers::did_of(j);
    UTL_BlueskyAnswers::person_of(j, person);
    UTL_BlueskyAnswers::profiles_of(j, skipped);
    UTL_BlueskyAnswers::page_of(j, "follows", cursor, skipped);
    UTL_BlueskyAnswers::page_of(j, "followers", cursor, skipped);
    UTL_BlueskyAnswers::relations_of(j, not_found);
    UTL_BlueskyAnswers::normal_handle(head);

    UTL_BlueskyNetwork network;
    if (UTL_BlueskyCache::parse_network(body, network)) UTL_BlueskyCache::network_text(network);
    UTL_BlueskyPart part;
    if (UTL_BlueskyCache::parse_part(body, "did:plc:a", part))
        UTL_BlueskyCache::part_text("did:plc:a", part);
    return 0;
}
