// UTL_ServiceSource: fetches the user's social graph from the service and feeds the controller:
// login, the friends, everyone's name and photos, then the friendships batch by batch, asking
// again after growing waits whatever fails, and saying in one status line what is happening.
#pragma once

#include "sources/network_source.h"
#include "sources/service_connection.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class UTL_SocialService;

// Where the graph comes from and how fast it is fetched: the command line's part that belongs
// to the acquisition (the host parses its own options and hands these on).
struct UTL_ServiceSourceOptions : UTL_SourceOptions {
    // Another service's REST address; empty: the embedded service on 127.0.0.1.
    std::string m_service_url;
    std::string m_api_key;  // empty: the compiled-in credentials
    std::string m_secret;
    std::string m_auth_token;  // a login token approved at the service, or empty
    // For the embedded service: a graph file instead of the demo network, its user (empty: the
    // person with the most friends), an optional people file, and whether directed edges
    // count only for pairs that point both ways.
    std::string m_graph_file;
    std::string m_ego;
    std::string m_people_file;
    bool m_mutual_only = false;
    // Seconds from a full friendship batch to the next. Negative: the service decides, no
    // wait when it says it has no rate limit, otherwise kDefaultBatchInterval.
    double m_batch_interval_s = -1.0;
    // The kept session: "" the user's config directory; m_keep_session false: none at all.
    std::string m_session_path;
    bool m_keep_session = true;

    // Takes NIMBRA_SERVICE, NIMBRA_API_KEY, NIMBRA_SECRET and NIMBRA_AUTH_TOKEN when set.
    void read_environment();
};

// One friendship batch as first sent: the index of its first friend and its number of pairs.
struct UTL_AcquisitionBatch {
    unsigned int m_first = 0;
    unsigned int m_pairs = 0;
};

// Owned by the host; main thread only. The host calls start() once when it is ready for
// people, and tick() once per frame before the controller's update.
class UTL_ServiceSource : public UTL_NetworkSource, public UTL_ServiceConnectionDelegate {
public:
    enum class Phase {
        kLogin,        // logging in, then asking for the friends
        kPeople,       // the friends are known; asking for everyone's name and photos
        kFriendships,  // everyone is on the globe; asking which friends are friends
        kDone,         // everything is in
        kFailed,       // given up for good (see failure_text())
    };

    // A service that does not say it has no rate limit gets a batch every this many seconds.
    static constexpr double kDefaultBatchInterval = 10.0;
    // Friendship batches asked at once from a service without a rate limit. Answers are taken,
    // and the next batches sent, while a frame is drawn too (tick_while_drawing), so a few keep
    // the service busy however slow the frames; each holds its lists of people (up to a hundred
    // kilobytes for thousands of friends), so many would cost memory for nothing.
    static constexpr int kBatchesInFlight = 64;

    // controller is borrowed and must outlive the acquisition; title receives the window title.
    UTL_ServiceSource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                      const UTL_ServiceSourceOptions& options);
    // The same with any target (borrowed).
    UTL_ServiceSource(UTL_AcquisitionTarget* target, TitleCallback title,
                      const UTL_ServiceSourceOptions& options);
    ~UTL_ServiceSource() override;

    // Starts the embedded service when no other is named, then the kept session or a login.
    // False with a reason in error when the graph file or the service cannot be used; the
    // globe then stays empty and the program goes on.
    bool start(std::string& error) override;
    // Per frame: hands over every answer that has arrived, asks again what failed once its
    // wait is over, and sends the friendship batches that are due.
    void tick() override;
    // While a frame is drawn: the friendship answers that have arrived (their friendships kept
    // aside until the next tick()) and the batches now due. Only once everyone is on the globe:
    // earlier answers change the people, which must wait for the frame to end.
    void tick_while_drawing(int max) override;
    void shutdown() override;
    // The embedded service's people live on this machine; its portraits are made afresh.
    bool local_photos() const override;
    std::string fresh_photos() const override;

    // --- The conversation -------------------------------------------------------------------
    void userLoginSuccessful() override;
    void userLoginFailed(const std::string& reason) override;
    void requestFriends();
    void gotFriends(const UTL_ServiceAnswer& answer);
    void requestUserInfo(const std::string& uids);
    void gotUserInfo(const UTL_ServiceAnswer& answer);
    // Builds the next batch of pairs and sends it.
    void requestAreFriends();
    void requestAreFriends(const std::string& uids1, const std::string& uids2);
    // An answer to a batch whose pairs are not known here (its pairs count as its entries).
    void gotAreFriends(const UTL_ServiceAnswer& answer);

    // --- State, for the host and the tests ----------------------------------------------------
    UTL_ServiceConnection* connection() { return m_connection.get(); }
    UTL_SocialService* embedded_service() { return m_service.get(); }
    Phase phase() const { return m_phase; }
    const std::vector<UTL_AcquisitionBatch>& sent_batches() const { return m_sent_batches; }
    const std::string& last_uids1() const { return m_last_uids1; }
    const std::string& last_uids2() const { return m_last_uids2; }
    // Batches whose friendships are on the globe (one that failed and came back counts once).
    int answered_batches() const { return m_answered_batches; }
    int failed_requests() const { return m_failed_requests; }
    // Requests sent and not answered yet.
    int outstanding_requests() const { return m_outstanding; }
    // Every person has arrived (the user-info answer was handled).
    bool people_loaded() const { return m_people_loaded; }
    // The last batch was sent and every batch has been answered.
    bool friendships_loaded() const;
    // Everything is in, or the acquisition has given up: nothing more will change.
    bool finished() const override { return m_phase == Phase::kDone || m_phase == Phase::kFailed; }
    // The wait before the next attempt after a failure, 0 while the service answers.
    int retry_wait_ms() const { return m_wait_ms; }
    // Batches wait for each other this long (0: several at once, no wait).
    double batch_interval_s() const { return m_interval_s; }
    // The friends the service has, and the friends it gave (fewer when it cuts the list).
    size_t friends_total() const { return m_friends_total; }
    size_t friends_given() const { return m_friends_given; }
    // The line over the scene: what is happening now, "" once everything is in.
    std::string status_text() const override;
    // Why nothing or not everything arrived: the failure, or the step still waited for.
    std::string failure_text() const override;

    // The friendship-batch pacing, kept here alone: the host counts no frames of its own.
    unsigned int m_last_conn_idx = 0;              // first friend of the next batch
    bool m_need_more_connections_request = false;  // a full batch went and pairs remain

private:
    // One request as sent, kept so that it can be sent again as it was.
    struct Request {
        enum Kind { kLogin, kFriends, kUserInfo, kBatch } m_kind = kFriends;
        std::string m_uids1;   // user info: the uids; a batch: the first uid of each pair
        std::string m_uids2;   // a batch: the second uid of each pair
        unsigned m_pairs = 0;  // a batch's pairs
        int m_seq = -1;        // a batch's place among the batches, from 0
        int m_round = 0;       // the failure round in which it was sent
    };
    using Clock = std::chrono::steady_clock;

    void start_login();
    void send(Request request);
    // The connection's answer to a request sent here, and what is done with any answer.
    void answered(const Request& request, const UTL_ServiceAnswer& answer);
    void take(const Request& request, const UTL_ServiceAnswer& answer);
    void gotFriends(const Request& request, const UTL_ServiceAnswer& answer);
    void gotUserInfo(const Request& request, const UTL_ServiceAnswer& answer);
    void gotAreFriends(const Request& request, const UTL_ServiceAnswer& answer);
    void add_friendships(const std::vector<std::pair<std::string, std::string>>& pairs);
    // Friendships taken while a frame was drawn, for the next tick() to add.
    std::vector<std::pair<std::string, std::string>> m_deferred;
    bool m_deferring = false;  // inside tick_while_drawing()
    void add_deferred();
    // A request failed: it waits to be sent again, and the wait grows when the failure is news
    // (the request was sent after the last failure's wait).
    void failed(const Request& request, const std::string& reason, int error_code);
    void succeeded(const Request& request);
    void give_up(const std::string& why);
    // Sends what is due now: a login, the requests that failed, the next batches.
    void pump();
    bool batch_may_go(Clock::time_point now) const;
    void check_done();
    void log_failed_batches();
    void report_status();
    Clock::time_point now() const;
    int seconds_until_retry() const;
    // The logged-in user's uid, "" before the login.
    std::string my_uid() const;

    UTL_ServiceSourceOptions m_options;
    std::unique_ptr<UTL_SocialService> m_service;  // the embedded service, when used
    std::unique_ptr<UTL_ServiceConnection> m_connection;
    std::string m_service_url;  // where the requests go, for the messages

    Phase m_phase = Phase::kLogin;
    bool m_logged_in = false;
    bool m_login_pending = false;
    bool m_login_wanted = false;  // a login waits for the end of a wait
    bool m_friends_asked = false;
    int m_login_round = 0;
    std::deque<Request> m_retry;  // failed requests, in the order they failed
    int m_outstanding = 0;
    int m_batches_outstanding = 0;

    // Failures: a round starts with a failure that is news and ends with any answer.
    int m_round = 0;
    int m_wait_ms = 0;
    int m_failures_in_a_row = 0;
    int m_failed_requests = 0;
    Clock::time_point m_resume_at;
    std::string m_reason;        // the last failure, while the service does not answer
    std::string m_failure_text;  // why the acquisition gave up
    std::vector<std::string> m_failed_batch_reasons;  // this frame's, logged together

    // Pacing and progress of the friendships.
    double m_interval_s = kDefaultBatchInterval;
    Clock::time_point m_last_batch_at;
    bool m_batch_sent_yet = false;
    size_t m_friends_total = 0;
    size_t m_friends_given = 0;
    unsigned long long m_pairs_total = 0;
    unsigned long long m_pairs_answered = 0;
    size_t m_friendships_found = 0;
    bool m_people_loaded = false;
    bool m_last_batch_sent = false;
    int m_answered_batches = 0;
    // Batch answers reach the globe in the order the batches were built, whatever order they
    // arrive in, so the lines and the pictures are the same in every run. One that comes
    // early waits here, as its friendships only (it has a thousand pairs, a few are friends).
    int m_next_seq = 0;
    std::map<int, std::vector<std::pair<std::string, std::string>>> m_early;
    std::vector<UTL_AcquisitionBatch> m_sent_batches;
    std::string m_last_uids1;
    std::string m_last_uids2;
    std::string m_reported;  // the last status printed on standard error
};
