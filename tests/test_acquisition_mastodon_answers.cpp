// What the Mastodon source takes from servers' answers: account addresses in every form people
// type them, accounts local and remote with their ids and fallbacks, the Link header's next page
// among others and odd spacing, WebFinger's actor, and hostile values refused rather than used.
#include "sources/mastodon_answers.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using json = nlohmann::json;

TEST(MastodonAnswers, AddressesAndServerAddresses) {
    EXPECT_EQ(UTL_MastodonAnswers::normal_address("@Alice@Social.Example"), "alice@social.example");
    EXPECT_EQ(UTL_MastodonAnswers::normal_address(" bob_2@mastodon.social "),
              "bob_2@mastodon.social");
    for (const char* bad :
         {"", "alice", "@alice", "alice@", "a@b@c.example", "alice@nodot", "al ice@x.example",
          "alice@x..example", "alice@-x.example/", "alice@x.example:443", "al/ice@x.example"})
        EXPECT_EQ(UTL_MastodonAnswers::normal_address(bad), "") << bad;
    // A uid has at most 64 characters.
    EXPECT_EQ(UTL_MastodonAnswers::normal_address(std::string(60, 'a') + "@x.example"), "");

    std::string origin, host;
    ASSERT_TRUE(UTL_MastodonAnswers::split_url("HTTPS://Social.Example:8443/x?y", origin, host));
    EXPECT_EQ(origin, "https://social.example:8443");
    EXPECT_EQ(host, "social.example");
    for (const char* bad : {"ftp://x.example/", "https://", "https://user@x.example/",
                            "https://x.example:99999/", "x.example/path"})
        EXPECT_FALSE(UTL_MastodonAnswers::split_url(bad, origin, host)) << bad;
}

TEST(MastodonAnswers, AccountsLocalAndRemote) {
    const json local = json::parse(R"({"id":"109","username":"Alice","acct":"Alice",
        "display_name":"  Alice\nA. ","avatar":"https://files.example/a.gif",
        "avatar_static":"https://files.example/a.png","url":"https://web.example/@Alice",
        "following_count":12,"followers_count":3,"hide_collections":true})");
    UTL_MastodonPerson p;
    ASSERT_TRUE(UTL_MastodonAnswers::account_of(local, "social.example", p));
    EXPECT_EQ(p.m_uid, "alice@social.example") << "a local acct takes the server's domain";
    EXPECT_EQ(p.m_id, "109");
    EXPECT_EQ(p.m_name, "Alice A.") << "one line, trimmed";
    EXPECT_EQ(p.m_avatar, "https://files.example/a.png") << "the still picture";
    EXPECT_EQ(p.m_url, "https://web.example/@Alice");
    EXPECT_EQ(p.m_following_count, 12);
    EXPECT_TRUE(p.m_hides);
    EXPECT_EQ(p.username(), "alice");
    EXPECT_EQ(p.domain(), "social.example");

    // A remote account keeps its own domain; without a display name it shows its username,
    // and an address that is not http(s) is no photo.
    const json remote = json::parse(R"J([
        {"id":7,"username":"bob","acct":"Bob@Other.Example","display_name":"",
         "avatar_static":"javascript:alert(1)","following_count":-4},
        {"id":"8/../../admin","username":"eve","acct":"eve"},
        {"id":"9","username":"mallory","acct":"mallory@bad domain"},
        {"username":"noid","acct":"noid"},
        "not an account"])J");
    size_t skipped = 0;
    const std::vector<UTL_MastodonPerson> people =
        UTL_MastodonAnswers::accounts_of(remote, "social.example", skipped);
    ASSERT_EQ(people.size(), 1u);
    EXPECT_EQ(skipped, 4u);
    EXPECT_EQ(people[0].m_uid, "bob@other.example");
    EXPECT_EQ(people[0].m_id, "7");
    EXPECT_EQ(people[0].m_name, "bob");
    EXPECT_EQ(people[0].m_avatar, "");
    EXPECT_EQ(people[0].m_following_count, -1);
    EXPECT_TRUE(UTL_MastodonAnswers::accounts_of(json::object(), "x.example", skipped).empty());
}

TEST(MastodonAnswers, TheNextPageOfALinkHeader) {
    const auto next = UTL_MastodonAnswers::next_link;
    const std::string a = "https://social.example/api/v1/accounts/1/following?limit=80&max_id=7";
    EXPECT_EQ(next("<" + a + ">; rel=\"next\", <https://social.example/p>; rel=\"prev\""), a);
    EXPECT_EQ(next("<https://social.example/p>; rel=\"prev\",<" + a + ">;rel=next"), a);
    EXPECT_EQ(next("<" + a + ">; title=\"a, b\"; REL=\"prev next\""), a)
        << "a comma in quotes, a list of relations, any case";
    EXPECT_EQ(next("<https://social.example/p>; rel=\"prev\""), "");
    EXPECT_EQ(next("<https://social.example/p>; rel=\"nextish\""), "");
    EXPECT_EQ(next("</api/v1/accounts/1/following?max_id=7>; rel=\"next\""), "")
        << "an address is followed as given, never completed";
    EXPECT_EQ(next("<https://social.example/a b>; rel=\"next\""), "");
    EXPECT_EQ(next("<javascript:x>; rel=\"next\""), "");
    EXPECT_EQ(next("<https://social.example/p; rel=\"next\""), "") << "unclosed";
    EXPECT_EQ(next(""), "");
}

TEST(MastodonAnswers, WebFingerNamesTheServerOfTheAccount) {
    const json jrd = json::parse(R"({"subject":"acct:alice@social.example",
        "links":[{"rel":"http://webfinger.net/rel/profile-page","type":"text/html",
                  "href":"https://other.example/@alice"},
                 {"rel":"self","type":"application/activity+json",
                  "href":"https://Home.Server.Example/users/alice"}]})");
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(jrd, "alice@social.example"),
              "https://home.server.example");
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(jrd, "bob@social.example"), "")
        << "an answer about someone else";
    json ld = jrd;
    ld["links"][1]["type"] =
        "application/ld+json; profile=\"https://www.w3.org/ns/activitystreams\"";
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(ld, "alice@social.example"),
              "https://home.server.example");
    json page_only = jrd;
    page_only["links"].erase(1);
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(page_only, "alice@social.example"), "");
    json hostile = jrd;
    hostile["links"][1]["href"] = "file:///etc/passwd";
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(hostile, "alice@social.example"), "");
    EXPECT_EQ(UTL_MastodonAnswers::webfinger_server(json::array(), "alice@social.example"), "");
}
