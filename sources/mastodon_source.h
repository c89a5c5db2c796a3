// UTL_MastodonSource: a person's Mastodon network, each friend read on their own server: the
// person (user@server), their friends (the accounts they follow that follow them back), and a
// line between two friends who follow each other. A server lists only the follows it happens to
// know of another server's accounts, so every friend's lists are read on their home server
// (found by lookup, or by WebFinger where the domain is not the server), and people are matched
// by their address, never by id. Friends who hide their lists get their lines from the other
// side. Every server has its own rate limit, slots and waits after failures, so one that waits
// holds up no other; what was read is cached, so the next start is instant and an interrupted
// one resumes.
#pragma once

#include "sources/json_client.h"
#include "sources/mastodon_cache.h"
#include "sources/network_source.h"
#include "sources/request_pacer.h"

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct UTL_MastodonSourceOptions : UTL_SourceOptions {
    std::string m_account;  // "user@server.example" (or "@user@server.example")
    // Domain -> the base address its requests go to instead of https://DOMAIN.
    std::map<std::string, std::string> m_resolve;
    // Sent, as a bearer token, only to the person's own server.
    std::string m_token;
    bool m_refresh = false;  // read everything again, whatever the cache holds
    bool m_use_cache = true;
    std::string m_cache_dir;              // "" for the user's cache folder
    double m_max_age_s = 24 * 3600.0;     // older cache entries are read again
    int m_in_flight = 3;                  // requests on the wire at once, per server
    double m_requests_per_second = 10.0;  // per server (0: any)
    int m_workers = 8;                    // transfers at once, over all servers
    // Failures in a row after which a friend's server is left alone: its accounts' lines then
    // come from the other side. The person's own server follows m_give_up_after.
    int m_give_up_server_after = 8;
    // The wall clock for the cache's times and the status line (time(nullptr) when empty).
    std::function<std::time_t()> m_wall_clock;

    // Takes "DOMAIN=URL" (an http or https address); false with a reason in error.
    bool add_resolve(const std::string& text, std::string& error);
};

// Owned by the host; main thread only.
class UTL_MastodonSource : public UTL_NetworkSource {
public:
    enum class Phase {
        kLookup,  // the person's account on their server
        kEgo,     // whom they follow and who follows them: who the friends are
        kPairs,   // each friend's lists on their own server
        kDone,    // everything is in
        kFailed,  // given up for good (see failure_text())
    };

    // Requests of each kind, for the request count.
    enum Kind {
        kEgoLookup,
        kEgoWebFinger,
        kEgoFollowing,
        kEgoFollowers,
        kWebFinger,
        kLookup,
        kFollowing,
        kFollowers,
        kKinds
    };

    UTL_MastodonSource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                       const UTL_MastodonSourceOptions& options);
    UTL_MastodonSource(UTL_AcquisitionTarget* target, TitleCallback title,
                       const UTL_MastodonSourceOptions& options);
    ~UTL_MastodonSource() override;

    // False when the account is not user@domain. Shows a cached network at the first tick;
    // asks the servers only for what is missing or stale.
    bool start(std::string& error) override;
    void tick() override;
    bool finished() const override { return m_phase == Phase::kDone || m_phase == Phase::kFailed; }
    std::string status_text() const override;
    std::string failure_text() const override;
    void shutdown() override;

    // --- State, for tests, the benchmark and the status line ---------------------------------
    Phase phase() const { return m_phase; }
    const std::string& ego_uid() const { return m_ego.m_uid; }
    size_t friend_count() const { return m_friends.size(); }
    size_t friendship_count() const { return m_lines.size(); }
    // Friends who hide their lists, and friends whose lists could not be read.
    size_t hidden_count() const;
    size_t unreadable_count() const;
    // Listed accounts that cannot be shown (an address that cannot be a uid).
    size_t unusable_count() const { return m_unusable; }
    // Requests sent, retries and rate-limited ones included: in all, by kind, by server name.
    int requests_sent() const { return m_requests; }
    int requests_sent(Kind kind) const { return m_requests_by_kind[kind]; }
    std::map<std::string, int> requests_by_server() const;
    // The fewest requests that read this network from nothing: the person's lookup and lists,
    // for every friend on another server a lookup there, and every friend's following, 80 a
    // page (WebFinger, followers read for hidden friends and retries not counted).
    int lower_bound() const;
    int rate_limit_pauses() const { return m_pacer.pauses(); }
    // The network was shown from the cache.
    bool from_cache() const { return m_cache_time != 0; }
    // Nothing can go out now: every server with work waits (after a failure or for its limit).
    bool waiting() const;

private:
    using Clock = std::chrono::steady_clock;

    struct Request {
        Kind m_kind = kEgoLookup;
        std::string m_server;  // the origin it goes to, "https://host[:port]"
        std::string m_arg;     // the username to look up, the address to finger, or the id
        std::string m_url;     // a later page: the Link address as given
        int m_friend = -1;     // the friend whose lists it reads
        int m_page = 0;        // pages of this list before it
        int m_round = 0;       // the server's failure round it was sent in
    };
    // One server: its queue, its waits after failures, what it has refused.
    struct Server {
        explicit Server(const UTL_SourceOptions& o)
            : m_waits(o.m_retry_delay_ms, o.m_max_retry_delay_ms) {}
        std::string m_name;  // the host as people know it
        UTL_RetryWaits m_waits;
        std::deque<Request> m_ready;
        std::deque<Request> m_retry;
        int m_sent = 0;  // on the wire
        int m_requests = 0;
        bool m_gave_up = false;
        bool m_refuses_anonymous = false;
        bool m_told = false;   // its failure was said on standard error
        std::string m_reason;  // the last failure, while it does not answer
    };
    // One friend on the globe and the reading of their lists.
    struct Friend {
        UTL_MastodonPerson m_person;  // as the person's server lists them
        UTL_MastodonPart m_part;      // what is known of their lists (cached or read)
        bool m_part_fresh = false;    // m_part need not be read again
        bool m_current = true;        // among the friends the last reading found
        bool m_busy = false;          // requests for them are under way
        bool m_settled = false;       // whom they follow is known, or that it cannot be
        bool m_tried_webfinger = false;
        bool m_wants_following = false;  // being read this run
        bool m_wants_followers = false;
        int m_lists_left = 0;
        std::vector<std::string> m_new_following;
        std::vector<std::string> m_new_followers;
        long m_home_following = -1;  // the counts their home server gives
        long m_home_followers = -1;
    };

    // Steps.
    void begin();
    void show_ego();
    void ask_ego_lookup(const std::string& server);
    void ego_lists_done();
    void add_friends(const std::vector<UTL_MastodonPerson>& people);
    void plan_pairs();
    void read_friend(int i, bool following, bool followers);
    void find_home(int i);
    void ask_lists(int i);
    void list_done(int i);
    // Their following cannot be had: they hide it, or it could not be read (lasting: a refusal
    // that is cached, not a server that is away).
    void friend_unread(int i, UTL_MastodonPart::Kind kind, const std::string& reason, bool lasting);
    void need_other_sides();
    void check_done();

    // Requests and answers.
    Server& server(const std::string& origin);
    // The base address of a host's requests: its --mastodon-resolve address, else https://host.
    std::string base_of(const std::string& host) const;
    void queue(Request request, bool front = false);
    void pump();
    void send(Request request);
    std::string url_of(const Request& request) const;
    void take(const Request& request, UTL_JsonAnswer& answer);
    void got(const Request& request, const UTL_JsonAnswer& answer);
    void refused(const Request& request, const UTL_JsonAnswer& answer);
    void failed(const Request& request, const std::string& reason);
    void drop_server(const std::string& origin);
    // A request that will not be asked (its server refuses or is given up): what it was for
    // ends without it.
    void abandon(const Request& request, const std::string& why, bool lasting);
    void give_up(const std::string& why);
    // The next page's address as this server may be asked it, "" when the list ends there.
    std::string next_page(const Request& request, const UTL_JsonAnswer& answer) const;

    // The friendships.
    void record(int from, int to);
    void take_part(int i);

    void report_status();
    Clock::time_point now() const;
    std::time_t wall_now() const;
    std::string progress_text() const;
    std::string remark_text() const;
    std::string servers_text() const;

    UTL_MastodonSourceOptions m_options;
    std::unique_ptr<UTL_JsonClient> m_client;
    std::unique_ptr<UTL_MastodonCache> m_cache;
    UTL_RequestPacer m_pacer;

    Phase m_phase = Phase::kLookup;
    UTL_MastodonPerson m_ego;     // m_uid from the start, the rest once looked up
    std::string m_ego_server;     // the origin that holds the person's account
    std::set<std::string> m_own;  // origins the token may go to
    bool m_ego_shown = false;
    bool m_ego_fingered = false;  // WebFinger was asked where the person's account is
    bool m_begun = false;
    std::time_t m_cache_time = 0;  // when the shown cache was read (its oldest part), 0: none
    bool m_refreshing = false;     // a cached network is being read again
    std::int64_t m_network_read = 0;

    // The person's lists while they are read.
    std::vector<UTL_MastodonPerson> m_ego_following;
    std::vector<UTL_MastodonPerson> m_ego_followers;
    int m_ego_lists_left = 0;

    std::map<std::string, Server> m_servers;  // by origin
    std::vector<Friend> m_friends;
    std::unordered_map<std::string, int> m_index;  // uid -> index into m_friends
    std::unordered_set<std::uint64_t> m_follows;   // friend i follows friend j: i << 32 | j
    std::unordered_set<std::uint64_t> m_lines;     // lines shown: min << 32 | max
    // Every page of a list asked for: a Link that leads back to one of them ends its list.
    std::unordered_set<std::string> m_pages_asked;
    size_t m_unusable = 0;
    int m_parts_total = 0;
    int m_parts_done = 0;

    std::map<std::uint64_t, Request> m_sent;
    std::uint64_t m_next_id = 1;
    int m_requests = 0;
    int m_requests_by_kind[kKinds] = {};
    int m_max_pages = 1000;  // a list longer than this many pages is not followed further

    std::string m_failure_text;  // why the source gave up
    std::string m_reported;      // the last status printed on standard error
};
