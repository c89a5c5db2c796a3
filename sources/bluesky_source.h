// UTL_BlueskySource: a person's Bluesky network read through the public AppView: the person,
// their friends (the accounts they follow that follow them back), and a line between two
// friends who follow each other. Each friend's side is read the cheaper way (their follows
// page by page, or getRelationships about the other friends), within a few requests in flight
// and a ceiling per second, waiting out rate limits and asking again after failures; what was
// read is cached, so the next start is instant and an interrupted one resumes.
#pragma once

#include "sources/bluesky_cache.h"
#include "sources/json_client.h"
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

struct UTL_BlueskySourceOptions : UTL_SourceOptions {
    static constexpr const char* kDefaultHost = "https://public.api.bsky.app";

    std::string m_actor;                // a handle ("alice.bsky.social", "@alice...") or a DID
    std::string m_host = kDefaultHost;  // the AppView
    bool m_refresh = false;             // read everything again, whatever the cache holds
    bool m_use_cache = true;
    std::string m_cache_dir;           // "" for the user's cache folder
    double m_max_age_s = 24 * 3600.0;  // older cache entries are read again
    int m_in_flight = UTL_JsonClient::kWorkers;
    double m_requests_per_second = 10.0;
    // The wall clock for the cache's times and the status line (time(nullptr) when empty).
    std::function<std::time_t()> m_wall_clock;

    // Takes NIMBRA_BLUESKY_HOST when set.
    void read_environment();
};

// Owned by the host; main thread only.
class UTL_BlueskySource : public UTL_NetworkSource {
public:
    enum class Phase {
        kResolve,   // the handle's DID
        kEgo,       // the person's profile, follows and followers: who the friends are
        kProfiles,  // the friends' profiles (names, photos, how many they follow)
        kPairs,     // which friends follow each other
        kDone,      // everything is in
        kFailed,    // given up for good (see failure_text())
    };

    // Requests of each kind, for the request count and its lower bound.
    enum Kind {
        kResolveHandle,
        kEgoProfile,
        kEgoFollows,
        kEgoFollowers,
        kEgoRelations,
        kProfiles,
        kFollows,
        kRelations,
        kKinds
    };

    UTL_BlueskySource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                      const UTL_BlueskySourceOptions& options);
    UTL_BlueskySource(UTL_AcquisitionTarget* target, TitleCallback title,
                      const UTL_BlueskySourceOptions& options);
    ~UTL_BlueskySource() override;

    // False when the actor is neither a handle nor a DID. Shows a cached network at the first
    // tick; asks the AppView only for what is missing or stale.
    bool start(std::string& error) override;
    void tick() override;
    // While a frame is drawn: the answers that have arrived are set aside (the scene hears of
    // them at the next tick()) and the requests already queued go out as their slots free.
    void tick_while_drawing(int max) override;
    bool finished() const override { return m_phase == Phase::kDone || m_phase == Phase::kFailed; }
    std::string status_text() const override;
    std::string failure_text() const override;
    void shutdown() override;

    // --- State, for tests, the benchmark and the status line ---------------------------------
    Phase phase() const { return m_phase; }
    // Requests sent and not yet answered.
    size_t requests_on_the_wire() const { return m_sent.size(); }
    const std::string& ego_did() const { return m_ego.m_did; }
    size_t friend_count() const { return m_friends.size(); }
    size_t friendship_count() const { return m_lines.size(); }
    // Accounts skipped because they no longer resolve (or cannot be shown).
    size_t unresolved_count() const { return m_unresolved.size() + m_unusable; }
    // Friends whose side could not be read (the AppView refused it).
    size_t unreadable_count() const { return m_unreadable; }
    // Requests sent, retries and rate-limited ones included, and by kind.
    int requests_sent() const { return m_requests; }
    int requests_sent(Kind kind) const { return m_requests_by_kind[kind]; }
    // The fewest requests that could read this network from nothing by follows and
    // relationships: the person's side the cheapest way, then for the best split of the friends
    // the follows pages of some and getRelationships for every pair that involves the others,
    // 30 pairs a call (the friends' profiles and any retries not counted).
    int lower_bound() const;
    int rate_limit_pauses() const { return m_pacer.pauses(); }
    // The network was shown from the cache.
    bool from_cache() const { return m_cache_time != 0; }
    // Nothing goes out until a wait after a failure or a rate-limit pause is over.
    bool waiting() const;

private:
    struct Request {
        Kind m_kind = kResolveHandle;
        std::string m_actor;                // whom it is about
        std::string m_cursor;               // a page's cursor
        std::vector<std::string> m_others;  // getProfiles' actors, getRelationships' others
        int m_friend = -1;                  // the friend whose side it reads
        int m_page = 0;                     // pages of this list before it
        int m_round = 0;                    // the failure round it was sent in
    };
    // One friend on the globe and the reading of their side.
    struct Friend {
        UTL_BlueskyPerson m_person;
        UTL_BlueskyPart m_part;                  // what is known of their side (cached or read)
        bool m_part_fresh = false;               // m_part need not be read again
        bool m_reading = false;                  // requests for their side are under way
        bool m_current = true;                   // among the friends the last reading found
        bool m_by_relations = false;             // read through getRelationships this run
        int m_chunks_left = 0;                   // getRelationships calls still to answer
        std::vector<std::string> m_new_follows;  // pages read so far this run
        std::vector<UTL_BlueskyRelation> m_new_relations;
    };
    using Clock = std::chrono::steady_clock;

    // Steps.
    void begin_with_ego_did();
    void show_cached_network();
    void ask_ego();
    void ego_list_done();
    void friends_known(const std::vector<UTL_BlueskyPerson>& friends);
    void add_friends(const std::vector<UTL_BlueskyPerson>& people);
    void plan_pairs();
    void part_done(int i);
    void check_done();

    // Requests and answers.
    void queue(Request request, bool front = false);
    void pump();
    // Moves the client's answers to m_arrived, their requests off the wire.
    void collect_answers();
    std::deque<std::pair<Request, UTL_JsonAnswer>> m_arrived;  // answered, not yet taken
    void send(Request request);
    void take(const Request& request, UTL_JsonAnswer& answer);
    void got(const Request& request, const nlohmann::json& answer);
    void refused(const Request& request, const UTL_JsonAnswer& answer);
    void failed(const Request& request, const std::string& reason);
    void give_up(const std::string& why);
    std::string url_of(const Request& request) const;

    // The friendships.
    void record(int from, int to);
    void take_part(int i);

    void report_status();
    Clock::time_point now() const;
    std::time_t wall_now() const;
    std::string progress_text() const;
    std::string host_name() const;

    UTL_BlueskySourceOptions m_options;
    std::unique_ptr<UTL_JsonClient> m_client;
    std::unique_ptr<UTL_BlueskyCache> m_cache;
    UTL_RequestPacer m_pacer;
    UTL_RetryWaits m_waits;

    Phase m_phase = Phase::kResolve;
    std::string m_handle;  // as the user gave it, normalised; "" when a DID was given
    UTL_BlueskyPerson m_ego;
    bool m_ego_shown = false;
    bool m_begun = false;            // the person's DID is known and their network begun
    bool m_resolve_pending = false;  // the handle is being looked up
    std::time_t m_cache_time = 0;    // when the shown cache was read (its oldest part), 0: none
    bool m_refreshing = false;       // a cached network is being read again

    // The person's lists while they are read, and the way the friends are found from them.
    enum class EgoWay { kBothLists, kFollowsAndRelations, kFollowersAndRelations };
    EgoWay m_ego_way = EgoWay::kBothLists;
    std::vector<UTL_BlueskyPerson> m_ego_follows;
    std::vector<UTL_BlueskyPerson> m_ego_followers;
    std::unordered_map<std::string, UTL_BlueskyRelation> m_ego_relations;
    int m_ego_lists_left = 0;
    int m_ego_chunks_left = 0;
    std::vector<UTL_BlueskyPerson> m_candidates;  // the friends, before their profiles
    std::map<int, std::vector<UTL_BlueskyPerson>> m_profile_chunks;  // answered, by chunk
    int m_profile_chunks_total = 0;
    int m_next_profile_chunk = 0;
    std::int64_t m_network_read = 0;

    std::vector<Friend> m_friends;
    std::unordered_map<std::string, int> m_index;  // DID -> index into m_friends
    std::unordered_set<std::uint64_t> m_follows;   // friend i follows friend j: i << 32 | j
    std::unordered_set<std::uint64_t> m_lines;     // lines shown: min << 32 | max
    std::set<std::string> m_unresolved;
    size_t m_unusable = 0;  // listed accounts whose DID cannot be a uid
    size_t m_unreadable = 0;
    int m_parts_total = 0;
    int m_parts_done = 0;

    // Requests.
    std::deque<Request> m_ready;
    std::deque<Request> m_retry;
    std::map<std::uint64_t, Request> m_sent;
    std::uint64_t m_next_id = 1;
    int m_requests = 0;
    int m_requests_by_kind[kKinds] = {};
    int m_max_pages = 1000;  // a list longer than this many pages is not followed further

    std::string m_reason;        // the last failure, while the AppView does not answer
    std::string m_failure_text;  // why the source gave up
    std::string m_reported;      // the last status printed on standard error
};
