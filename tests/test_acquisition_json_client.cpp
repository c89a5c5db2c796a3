// What the JSON client makes of an answer (taken, asked again, refused, rate-limited) and of the
// rate-limit headers servers write (Unix seconds, seconds from now, ISO 8601 with and without
// an offset, HTTP dates), and how the pacer and the growing waits act on them.
#include "sources/json_client.h"
#include "sources/request_pacer.h"

#include <gtest/gtest.h>

namespace {

using Kind = UTL_JsonAnswer::Kind;
constexpr std::time_t kNow = 1765286600;  // 2025-12-09T13:23:20Z

UTL_JsonAnswer classify(long status, const std::string& body,
                        const std::map<std::string, std::string>& headers = {}) {
    return UTL_JsonClient::classify(status, body, headers, kNow);
}

}  // namespace

TEST(JsonClient, AnswersAreTakenAskedAgainRefusedOrRateLimited) {
    const UTL_JsonAnswer ok = classify(200, R"({"did":"did:plc:a"})");
    EXPECT_EQ(ok.m_kind, Kind::kOk);
    EXPECT_EQ(ok.m_json["did"], "did:plc:a");

    // What is no answer this time is asked again, with what came instead.
    struct Case {
        long status;
        std::string body;
        std::string reason;
    } again[] = {
        {200, "<!DOCTYPE html><html><body>Maintenance</body></html>",
         "an HTML page instead of an answer"},
        {200, R"({"follows":[{"did":"did:plc:a")", "an answer that ends too early or is broken"},
        {200, "", "an empty answer"},
        {200, "Service Unavailable", "an unreadable answer (19 bytes that are not JSON)"},
        {500, R"({"error":"InternalServerError"})", "HTTP 500"},
        {503, "<html>down</html>", "HTTP 503"},
        {408, "", "HTTP 408"},
    };
    for (const Case& c : again) {
        const UTL_JsonAnswer a = classify(c.status, c.body);
        EXPECT_EQ(a.m_kind, Kind::kRetry) << c.body;
        EXPECT_EQ(a.m_reason, c.reason) << c.body;
    }

    // A refusal says why when the server is the API, and is not asked again.
    const UTL_JsonAnswer unknown =
        classify(400, R"({"error":"HandleNotFound","message":"Unable to resolve handle"})");
    EXPECT_EQ(unknown.m_kind, Kind::kRefused);
    EXPECT_EQ(unknown.m_error, "HandleNotFound");
    EXPECT_EQ(unknown.m_reason, "Unable to resolve handle, HTTP 400");
    EXPECT_EQ(classify(401, R"({"error":"AuthMissing"})").m_reason, "AuthMissing, HTTP 401");
    EXPECT_EQ(classify(404, "<html>Not Found</html>").m_reason, "HTTP 404");
    EXPECT_EQ(classify(404, "<html>Not Found</html>").m_kind, Kind::kRefused);

    // A 429 waits for the reset the headers name; Link and the like stay readable.
    const UTL_JsonAnswer limited = classify(429, R"({"error":"RateLimitExceeded"})",
                                            {{"ratelimit-reset", std::to_string(kNow + 42)},
                                             {"ratelimit-remaining", "0"},
                                             {"link", "<https://x.example/next>; rel=\"next\""}});
    EXPECT_EQ(limited.m_kind, Kind::kRateLimited);
    EXPECT_DOUBLE_EQ(limited.m_reset_in_s, 42.0);
    EXPECT_EQ(limited.m_remaining, 0);
    EXPECT_EQ(limited.m_headers.at("link"), "<https://x.example/next>; rel=\"next\"");
    EXPECT_EQ(classify(200, "{}", {{"x-ratelimit-remaining", " 299 "}}).m_remaining, 299);
    EXPECT_EQ(classify(200, "{}", {{"x-ratelimit-remaining", "lots"}}).m_remaining, -1);
}

TEST(JsonClient, ResetTimesInEveryFormServersWriteThem) {
    const auto in = [](const std::string& v) {
        return UTL_JsonClient::seconds_until_reset(v, kNow);
    };
    EXPECT_DOUBLE_EQ(in(std::to_string(kNow + 300)), 300.0);  // Unix seconds (Bluesky)
    EXPECT_DOUBLE_EQ(in("120"), 120.0);                       // seconds from now (Retry-After)
    EXPECT_DOUBLE_EQ(in("2025-12-09T13:25:00.000Z"), 100.0);  // ISO 8601 (Mastodon)
    EXPECT_DOUBLE_EQ(in("2025-12-09T14:25:00+01:00"), 100.0);
    EXPECT_DOUBLE_EQ(in("2025-12-09T13:25:00.000000Z"), 100.0);
    EXPECT_DOUBLE_EQ(in("2025-12-09T13:25:00.019685Z"), 101.0) << "not yet over at :00";
    EXPECT_DOUBLE_EQ(in("Tue, 09 Dec 2025 13:25:00 GMT"), 100.0);  // an HTTP date
    EXPECT_DOUBLE_EQ(in(std::to_string(kNow - 50)), 0.0) << "a reset in the past is now";
    for (const char* bad : {"", "soon", "-5", "2025-13-40T99:00:00Z", "2025-12-09T13:25:00+1"})
        EXPECT_EQ(in(bad), -1.0) << bad;
}

TEST(RequestPacer, SlotsResetsAndGrowingWaits) {
    using Clock = UTL_RequestPacer::Clock;
    UTL_RequestPacer::Limits limits;
    limits.m_in_flight = 2;
    limits.m_per_second = 0;
    UTL_RequestPacer pacer(limits);
    const Clock::time_point t = Clock::now();
    EXPECT_TRUE(pacer.may_send("a", t));
    pacer.sent("a", t);
    pacer.sent("a", t);
    EXPECT_FALSE(pacer.may_send("a", t)) << "two in flight";
    EXPECT_TRUE(pacer.may_send("b", t)) << "another server has slots of its own";

    // A window used up pauses that server until its reset, though the answer was good.
    UTL_JsonAnswer last = classify(
        200, "{}", {{"x-ratelimit-remaining", "0"}, {"x-ratelimit-reset", "2025-12-09T13:24:20Z"}});
    pacer.answered("a", last, t);
    EXPECT_FALSE(pacer.may_send("a", t + std::chrono::seconds(59)));
    EXPECT_TRUE(pacer.may_send("a", t + std::chrono::seconds(60)));
    // A 429 without a reset waits the default; one absurdly far away at most the maximum.
    pacer.answered("b", classify(429, ""), t);
    EXPECT_TRUE(pacer.paused("b", t + std::chrono::seconds(9)));
    EXPECT_FALSE(pacer.paused("b", t + std::chrono::seconds(10)));
    pacer.answered("c", classify(429, "", {{"retry-after", "99999999"}}), t);
    EXPECT_FALSE(pacer.paused("c", t + std::chrono::seconds(3601)));
    EXPECT_EQ(pacer.pauses(), 3);

    // Waits double with each failure that is news, and requests of an older round add none.
    UTL_RetryWaits waits(1000, 4000);
    const int first = waits.round();
    EXPECT_TRUE(waits.failed(first, t));
    EXPECT_FALSE(waits.failed(first, t)) << "on the wire with the first: no news";
    EXPECT_EQ(waits.wait_ms(), 1000);
    EXPECT_TRUE(waits.failed(waits.round(), t));
    EXPECT_TRUE(waits.failed(waits.round(), t));
    EXPECT_TRUE(waits.failed(waits.round(), t));
    EXPECT_EQ(waits.wait_ms(), 4000) << "at most the maximum";
    EXPECT_EQ(waits.failures_in_a_row(), 4);
    EXPECT_EQ(waits.seconds_left(t), 4);
    waits.succeeded(first);
    EXPECT_FALSE(waits.calm()) << "an answer to an old request says nothing";
    waits.succeeded(waits.round());
    EXPECT_TRUE(waits.calm());
}

TEST(RequestPacer, PlansByWhatTheWindowHasLeft) {
    using Clock = UTL_RequestPacer::Clock;
    UTL_RequestPacer::Limits limits;
    limits.m_in_flight = 3;
    limits.m_per_second = 0;
    UTL_RequestPacer pacer(limits);
    const Clock::time_point t = Clock::now();
    const auto answer = [](const char* remaining, const char* reset) {
        return classify(200, "{}",
                        {{"x-ratelimit-remaining", remaining}, {"x-ratelimit-reset", reset}});
    };
    for (int i = 0; i < 3; ++i) pacer.sent("a", t);
    // 3 left, but 2 requests are still on the wire: one more may go, and then none until the
    // window ends at 13:25:00, 100 s on.
    pacer.answered("a", answer("3", "2025-12-09T13:25:00Z"), t);
    EXPECT_EQ(pacer.left("a", t), 1);
    ASSERT_TRUE(pacer.may_send("a", t));
    pacer.sent("a", t);
    EXPECT_FALSE(pacer.may_send("a", t)) << "the window has nothing left";
    EXPECT_TRUE(pacer.paused("a", t + std::chrono::seconds(99)));
    // An answer that left the server earlier, overtaken on the wire, gives back nothing.
    pacer.answered("a", answer("5", "2025-12-09T13:25:00Z"), t);
    EXPECT_FALSE(pacer.may_send("a", t));
    EXPECT_TRUE(pacer.may_send("b", t)) << "another server's window is its own";
    // The window over, the server is asked again, and the next window counts afresh.
    const Clock::time_point later = t + std::chrono::seconds(100);
    EXPECT_EQ(pacer.left("a", later), -1);
    EXPECT_TRUE(pacer.may_send("a", later));
    pacer.answered("a", answer("299", "2025-12-09T13:30:00Z"), later);
    EXPECT_EQ(pacer.left("a", later), 299 - pacer.in_flight("a"));
    EXPECT_EQ(pacer.pauses(), 0) << "no 429 and no empty window was waited for";
}
