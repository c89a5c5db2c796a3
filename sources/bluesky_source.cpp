// UTL_BlueskySource: the steps from a handle to the whole network (resolve, the person, their
// lists, the friends' profiles, each friend's side), the cache that shows it at once and lets a
// fetch resume, the pacing and the asking again, and the status line.
//   Options, construction, start · Per frame · Steps · Requests · Answers · Friendships ·
//   Failures · Status · Helpers
#include "sources/bluesky_source.h"

#include "service/data_lines.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kProfilesPerCall = 25;
constexpr size_t kOthersPerCall = 30;
constexpr int kPageSize = 100;

// The opacities the controller gives the user's own lines and the lines between friends.
constexpr float kMyLineAlpha = 0.15f;
constexpr float kLineAlpha = 0.4f;

int pages_for(long count) { return count <= kPageSize ? 1 : static_cast<int>((count + 99) / 100); }

int chunks_for(long count, size_t per) {
    return count <= 0 ? 0 : static_cast<int>((count + static_cast<long>(per) - 1) / per);
}

std::string clock_text(std::time_t t, const char* format) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

const char* const kMethods[] = {
    "com.atproto.identity.resolveHandle", "app.bsky.actor.getProfile",
    "app.bsky.graph.getFollows",          "app.bsky.graph.getFollowers",
    "app.bsky.graph.getRelationships",    "app.bsky.actor.getProfiles",
    "app.bsky.graph.getFollows",          "app.bsky.graph.getRelationships",
};

}  // namespace

// --- Options, construction, start ---------------------------------------------------------------

void UTL_BlueskySourceOptions::read_environment() {
    const char* host = std::getenv("NIMBRA_BLUESKY_HOST");
    if (host && host[0]) m_host = host;
}

UTL_BlueskySource::UTL_BlueskySource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                                     const UTL_BlueskySourceOptions& options)
    : UTL_NetworkSource(controller, std::move(title)),
      m_options(options),
      m_pacer({options.m_in_flight, options.m_requests_per_second}),
      m_waits(options.m_retry_delay_ms, options.m_max_retry_delay_ms) {}

UTL_BlueskySource::UTL_BlueskySource(UTL_AcquisitionTarget* target, TitleCallback title,
                                     const UTL_BlueskySourceOptions& options)
    : UTL_NetworkSource(target, std::move(title)),
      m_options(options),
      m_pacer({options.m_in_flight, options.m_requests_per_second}),
      m_waits(options.m_retry_delay_ms, options.m_max_retry_delay_ms) {}

UTL_BlueskySource::~UTL_BlueskySource() { shutdown(); }

void UTL_BlueskySource::shutdown() {
    if (m_client) m_client->shutdown();
}

bool UTL_BlueskySource::start(std::string& error) {
    std::string actor = m_options.m_actor;
    actor.erase(0, actor.find_first_not_of(" \t"));
    actor.erase(actor.find_last_not_of(" \t") + 1);
    if (actor.compare(0, 4, "did:") == 0) {
        if (!UTL_BlueskyAnswers::usable_did(actor)) {
            error = "'" + actor + "' is not a DID that can be shown";
            return false;
        }
        m_ego.m_did = actor;
    } else {
        m_handle = UTL_BlueskyAnswers::normal_handle(actor);
        if (m_handle.empty()) {
            error = "'" + actor + "' is not a Bluesky handle (such as alice.bsky.social) or a DID";
            return false;
        }
    }
    std::string& host = m_options.m_host;
    while (!host.empty() && host.back() == '/') host.pop_back();
    if (host.compare(0, 8, "https://") != 0 && host.compare(0, 7, "http://") != 0) {
        error = "the Bluesky host '" + host + "' is not an http or https address";
        return false;
    }
    m_client = std::make_unique<UTL_JsonClient>(std::max(1, m_options.m_in_flight));
    m_client->set_timeouts(std::min<long>(10, m_options.m_total_timeout_s),
                           m_options.m_total_timeout_s);
    if (m_options.m_use_cache) m_cache = std::make_unique<UTL_BlueskyCache>(m_options.m_cache_dir);

    if (!m_handle.empty()) {
        std::string did;
        std::int64_t read = 0;
        UTL_BlueskyNetwork cached;
        if (m_cache && m_cache->load_handle(m_handle, did, read) &&
            m_cache->load_network(did, cached)) {
            // The network shows at once; the handle is looked up again only when it is old.
            m_ego.m_did = did;
            m_resolve_pending = m_options.m_refresh || wall_now() - read > m_options.m_max_age_s;
        } else {
            m_resolve_pending = true;
        }
        if (m_resolve_pending) {
            Request resolve;
            resolve.m_kind = kResolveHandle;
            resolve.m_actor = m_handle;
            queue(resolve);
        }
    }
    // A network known by its DID says what it does at the first frame.
    if (m_ego.m_did.empty()) report_status();
    return true;
}

// --- Per frame ----------------------------------------------------------------------------------

void UTL_BlueskySource::tick() {
    if (!m_client || finished()) return;
    // The cached network reaches the scene at the first frame, once there is a scene.
    if (!m_begun && !m_ego.m_did.empty()) begin_with_ego_did();
    collect_answers();
    while (!m_arrived.empty() && !finished()) {
        auto [request, answer] = std::move(m_arrived.front());
        m_arrived.pop_front();
        take(request, answer);
    }
    if (finished()) m_arrived.clear();
    pump();
    check_done();
    report_status();
}

// NOTE: nothing here touches the scene: an answer is only moved aside, its request taken off
// the wire and the pacer told what the service said of its limits. While the service is being
// probed after failures, nothing more is sent until the answer has been read.
void UTL_BlueskySource::tick_while_drawing(int max) {
    (void)max;  // moving an answer aside is all the work there is
    if (!m_client || finished()) return;
    collect_answers();
    if (m_begun && m_waits.calm()) pump();
}

void UTL_BlueskySource::collect_answers() {
    const std::string host = host_name();
    for (auto& [id, answer] : m_client->take_answers()) {
        const auto it = m_sent.find(id);
        if (it == m_sent.end()) continue;
        m_pacer.answered(host, answer, now());
        m_arrived.emplace_back(std::move(it->second), std::move(answer));
        m_sent.erase(it);
    }
}

// --- Steps --------------------------------------------------------------------------------------

void UTL_BlueskySource::begin_with_ego_did() {
    m_begun = true;
    m_phase = Phase::kEgo;
    UTL_BlueskyNetwork cached;
    if (m_cache && m_cache->load_network(m_ego.m_did, cached)) {
        m_ego = cached.m_ego;
        m_network_read = cached.m_read;
        m_unresolved.insert(cached.m_unresolved.begin(), cached.m_unresolved.end());
        show_cached_network();
        add_friends(cached.m_friends);
        for (size_t i = 0; i < m_friends.size(); ++i) {
            Friend& f = m_friends[i];
            if (!m_cache->load_part(m_ego.m_did, f.m_person.m_did, f.m_part)) continue;
            f.m_part_fresh =
                !m_options.m_refresh && wall_now() - f.m_part.m_read <= m_options.m_max_age_s;
            m_cache_time = std::min<std::time_t>(m_cache_time, f.m_part.m_read);
            take_part(static_cast<int>(i));
        }
        const bool stale =
            m_options.m_refresh || wall_now() - cached.m_read > m_options.m_max_age_s;
        if (!stale) {
            plan_pairs();
            return;
        }
        m_refreshing = true;
        // A handle that is looked up again goes first: it may name someone else by now.
        if (m_resolve_pending) return;
    }
    ask_ego();
}

void UTL_BlueskySource::show_cached_network() {
    m_cache_time = static_cast<std::time_t>(m_network_read);
    if (m_target)
        m_target->add_myself(m_ego.m_did.c_str(), m_ego.m_name.c_str(), m_ego.m_avatar.c_str(),
                             m_ego.m_avatar.c_str());
    if (m_title) m_title("Nimbra | " + m_ego.m_name);
    m_ego_shown = true;
}

void UTL_BlueskySource::ask_ego() {
    m_phase = Phase::kEgo;
    Request profile;
    profile.m_kind = kEgoProfile;
    profile.m_actor = m_ego.m_did;
    queue(profile);
}

// The person's own lists, the cheapest way: both lists, or one list and getRelationships
// about everyone on it.
void UTL_BlueskySource::ego_list_done() {
    if (m_ego_lists_left > 0 || m_ego_chunks_left > 0) return;
    std::vector<UTL_BlueskyPerson> friends;
    std::set<std::string> seen;
    auto take_if = [&](const UTL_BlueskyPerson& p, bool mutual) {
        if (mutual && p.m_did != m_ego.m_did && seen.insert(p.m_did).second) friends.push_back(p);
    };
    if (m_ego_way == EgoWay::kBothLists) {
        std::unordered_set<std::string> followers;
        for (const UTL_BlueskyPerson& p : m_ego_followers) followers.insert(p.m_did);
        for (const UTL_BlueskyPerson& p : m_ego_follows) take_if(p, followers.count(p.m_did) > 0);
    } else {
        const bool by_follows = m_ego_way == EgoWay::kFollowsAndRelations;
        for (const UTL_BlueskyPerson& p : by_follows ? m_ego_follows : m_ego_followers) {
            const auto r = m_ego_relations.find(p.m_did);
            take_if(p, r != m_ego_relations.end() &&
                           (by_follows ? r->second.m_followed_by : r->second.m_following));
        }
    }
    m_ego_follows.clear();
    m_ego_followers.clear();
    m_ego_relations.clear();
    friends_known(friends);
}

void UTL_BlueskySource::friends_known(const std::vector<UTL_BlueskyPerson>& friends) {
    m_phase = Phase::kProfiles;
    m_candidates = friends;
    for (Friend& f : m_friends) f.m_current = false;
    m_profile_chunks.clear();
    m_next_profile_chunk = 0;
    m_profile_chunks_total = chunks_for(static_cast<long>(friends.size()), kProfilesPerCall);
    for (int k = 0; k < m_profile_chunks_total; ++k) {
        Request r;
        r.m_kind = kProfiles;
        r.m_friend = k;  // the chunk's number
        for (size_t i = k * kProfilesPerCall;
             i < std::min(friends.size(), (k + 1) * kProfilesPerCall); ++i)
            r.m_others.push_back(friends[i].m_did);
        queue(r);
    }
    if (m_profile_chunks_total == 0) {
        m_network_read = wall_now();
        if (m_cache) {
            UTL_BlueskyNetwork n;
            n.m_read = m_network_read;
            n.m_ego = m_ego;
            m_cache->store_network(n);
        }
        plan_pairs();
    }
}

// Each new person gets a place on the globe and a line to the user; people already there only
// take the new counts.
void UTL_BlueskySource::add_friends(const std::vector<UTL_BlueskyPerson>& people) {
    for (const UTL_BlueskyPerson& p : people) {
        if (p.m_did == m_ego.m_did) continue;
        const auto known = m_index.find(p.m_did);
        if (known != m_index.end()) {
            m_friends[known->second].m_person.m_follows_count = p.m_follows_count;
            m_friends[known->second].m_current = true;
            continue;
        }
        m_index[p.m_did] = static_cast<int>(m_friends.size());
        Friend f;
        f.m_person = p;
        m_friends.push_back(std::move(f));
        if (!m_target) continue;
        m_target->add_friend(p.m_did.c_str(), p.m_name.c_str(), p.m_avatar.c_str(),
                             p.m_avatar.c_str());
        m_target->create_friends_locators();
        // NOTE: what add_connections_for_myself() draws, one friend at a time, since friends
        // that a refresh finds come after the others.
        m_target->add_connection(m_ego.m_did.c_str(), p.m_did.c_str(), kMyLineAlpha, true);
    }
}

// Which friends' sides to read, and how: a friend who follows few accounts by their follows,
// one who follows many by asking getRelationships about the friends their pairs still need.
void UTL_BlueskySource::plan_pairs() {
    m_phase = Phase::kPairs;
    m_parts_total = 0;
    m_parts_done = 0;
    std::vector<int> current;
    for (size_t i = 0; i < m_friends.size(); ++i)
        if (m_friends[i].m_current) current.push_back(static_cast<int>(i));
    const int n = static_cast<int>(current.size());
    if (n < 2) return;

    // Sides known from the cache cover pairs already; the rest are planned here.
    std::vector<char> by_relations(m_friends.size(), 0);
    std::vector<int> todo;
    int cached_relations = 0;
    for (int i : current) {
        const Friend& f = m_friends[i];
        if (f.m_part_fresh && f.m_part.m_kind == UTL_BlueskyPart::Kind::kFollows) continue;
        if (f.m_part_fresh && f.m_part.m_kind == UTL_BlueskyPart::Kind::kRelationships) {
            by_relations[i] = 1;
            ++cached_relations;
            continue;
        }
        todo.push_back(i);
    }
    // The b friends who follow the most are asked about by getRelationships, one after the
    // other, each about the friends not yet covered: the k-th of them about n - k others. The
    // rest have their follows read. b is the one that costs the fewest requests.
    const auto pages_of = [this](int i) {
        return pages_for(std::max(0L, m_friends[i].m_person.m_follows_count));
    };
    std::stable_sort(todo.begin(), todo.end(),
                     [&](int a, int b) { return pages_of(a) > pages_of(b); });
    long long follows_cost = 0;
    for (int i : todo) follows_cost += pages_of(i);
    long long relations_cost = 0;
    long long best = follows_cost;
    size_t best_b = 0;
    for (size_t b = 1; b <= todo.size(); ++b) {
        follows_cost -= pages_of(todo[b - 1]);
        relations_cost += chunks_for(n - cached_relations - static_cast<long>(b), kOthersPerCall);
        if (follows_cost + relations_cost < best) {
            best = follows_cost + relations_cost;
            best_b = b;
        }
    }
    std::vector<char> reads_follows(m_friends.size(), 0);
    for (size_t k = 0; k < todo.size(); ++k) {
        if (k < best_b) {
            by_relations[todo[k]] = 2;
        } else {
            reads_follows[todo[k]] = 1;
        }
    }
    for (int i : current) {
        if (!reads_follows[i]) continue;
        Friend& f = m_friends[i];
        Request r;
        r.m_kind = kFollows;
        r.m_actor = f.m_person.m_did;
        r.m_friend = i;
        f.m_reading = true;
        f.m_new_follows.clear();
        ++m_parts_total;
        queue(r);
    }
    // covered[i * m + j]: friend i's relations say how i and j relate (indexes of m_friends).
    const size_t m = m_friends.size();
    std::vector<bool> covered(m * m, false);
    for (int i : current) {
        if (by_relations[i] != 1) continue;
        for (const UTL_BlueskyRelation& r : m_friends[i].m_part.m_relations) {
            const auto j = m_index.find(r.m_did);
            if (j != m_index.end()) covered[i * m + j->second] = true;
        }
    }
    // Those known from the cache first: they ask only about the friends they lack.
    std::vector<int> askers;
    for (int pass = 1; pass <= 2; ++pass)
        for (int i : current)
            if (by_relations[i] == pass) askers.push_back(i);
    for (int i : askers) {
        Friend& f = m_friends[i];
        std::vector<std::string> others;
        for (int j : current) {
            if (j == i || covered[i * m + j]) continue;
            if (by_relations[j] && covered[j * m + i]) continue;
            covered[i * m + j] = true;
            others.push_back(m_friends[j].m_person.m_did);
        }
        if (others.empty()) continue;
        f.m_reading = true;
        f.m_by_relations = true;
        f.m_new_relations.clear();
        f.m_chunks_left = chunks_for(static_cast<long>(others.size()), kOthersPerCall);
        ++m_parts_total;
        for (size_t k = 0; k < others.size(); k += kOthersPerCall) {
            Request r;
            r.m_kind = kRelations;
            r.m_actor = f.m_person.m_did;
            r.m_friend = i;
            r.m_others.assign(others.begin() + k,
                              others.begin() + std::min(others.size(), k + kOthersPerCall));
            queue(r);
        }
    }
}

void UTL_BlueskySource::part_done(int i) {
    m_friends[i].m_reading = false;
    ++m_parts_done;
}

void UTL_BlueskySource::check_done() {
    if (m_phase != Phase::kPairs) return;
    if (m_parts_done < m_parts_total || !m_sent.empty() || !m_arrived.empty() || !m_ready.empty() ||
        !m_retry.empty())
        return;
    m_phase = Phase::kDone;
    m_refreshing = false;
}

// --- Requests -----------------------------------------------------------------------------------

void UTL_BlueskySource::queue(Request request, bool front) {
    if (front) {
        m_ready.push_front(std::move(request));
    } else {
        m_ready.push_back(std::move(request));
    }
}

// NOTE: while the AppView does not answer, one request at a time probes it; the others wait in
// m_retry, so an outage costs one request per wait and not a flood of them.
void UTL_BlueskySource::pump() {
    if (!m_client || finished()) return;
    const Clock::time_point t = now();
    if (m_waits.waiting(t)) return;
    const bool probing = !m_waits.calm();
    const std::string host = host_name();
    for (;;) {
        std::deque<Request>* q = !m_retry.empty()   ? &m_retry
                                 : !m_ready.empty() ? &m_ready
                                                    : nullptr;
        if (!q) return;
        if (probing && !m_sent.empty()) return;
        // The handle is looked up before anything else is asked about the person.
        if (q == &m_ready && m_phase == Phase::kResolve && q->front().m_kind != kResolveHandle)
            return;
        if (!m_pacer.may_send(host, t)) return;
        Request request = std::move(q->front());
        q->pop_front();
        send(std::move(request));
    }
}

void UTL_BlueskySource::send(Request request) {
    request.m_round = m_waits.round();
    const std::uint64_t id = m_next_id++;
    UTL_JsonRequest json;
    json.m_url = url_of(request);
    m_pacer.sent(host_name(), now());
    ++m_requests;
    ++m_requests_by_kind[request.m_kind];
    m_sent.emplace(id, std::move(request));
    m_client->send(id, std::move(json));
}

std::string UTL_BlueskySource::url_of(const Request& r) const {
    std::string url = m_options.m_host + "/xrpc/" + kMethods[r.m_kind] + "?";
    const auto add = [&url](const char* key, const std::string& value) {
        if (url.back() != '?') url += '&';
        url += key;
        url += '=';
        url += UTL_JsonClient::escape(value);
    };
    switch (r.m_kind) {
        case kResolveHandle:
            add("handle", r.m_actor);
            break;
        case kEgoProfile:
            add("actor", r.m_actor);
            break;
        case kProfiles:
            for (const std::string& a : r.m_others) add("actors", a);
            break;
        case kEgoFollows:
        case kEgoFollowers:
        case kFollows:
            add("actor", r.m_actor);
            add("limit", std::to_string(kPageSize));
            if (!r.m_cursor.empty()) add("cursor", r.m_cursor);
            break;
        case kEgoRelations:
        case kRelations:
            add("actor", r.m_actor);
            for (const std::string& o : r.m_others) add("others", o);
            break;
        case kKinds:
            break;
    }
    return url;
}

// --- Answers ------------------------------------------------------------------------------------

void UTL_BlueskySource::take(const Request& request, UTL_JsonAnswer& answer) {
    switch (answer.m_kind) {
        case UTL_JsonAnswer::Kind::kOk:
            m_waits.succeeded(request.m_round);
            if (m_waits.calm()) m_reason.clear();
            got(request, answer.m_json);
            break;
        case UTL_JsonAnswer::Kind::kRateLimited: {
            // Asked again first once the window starts again; a limit is no failure.
            m_retry.push_front(request);
            const double left =
                std::chrono::duration<double>(m_pacer.paused_until(host_name()) - now()).count();
            if (m_options.m_print_status)
                std::fprintf(stderr,
                             "nimbra: Bluesky: the AppView's rate limit is reached; "
                             "going on in %d s\n",
                             static_cast<int>(std::ceil(std::max(0.0, left))));
            break;
        }
        case UTL_JsonAnswer::Kind::kRetry:
            failed(request, answer.m_reason);
            break;
        case UTL_JsonAnswer::Kind::kRefused:
            m_waits.succeeded(request.m_round);
            if (m_waits.calm()) m_reason.clear();
            refused(request, answer);
            break;
    }
}

void UTL_BlueskySource::got(const Request& r, const nlohmann::json& answer) {
    size_t skipped = 0;
    switch (r.m_kind) {
        case kResolveHandle: {
            m_resolve_pending = false;
            const std::string did = UTL_BlueskyAnswers::did_of(answer);
            if (did.empty()) {
                give_up("The Bluesky AppView at " + host_name() + " gave no account for " +
                        m_handle);
                return;
            }
            if (m_cache) m_cache->store_handle(m_handle, did, wall_now());
            if (m_ego_shown && did != m_ego.m_did) {
                // The cached network is someone else's by now; the next start shows theirs.
                m_phase = Phase::kDone;
                m_refreshing = false;
                m_failure_text = m_handle + " now names another account; start again to see it";
                return;
            }
            m_ego.m_did = did;
            if (!m_begun) {
                begin_with_ego_did();
            } else if (m_refreshing) {
                ask_ego();
            }
            return;
        }
        case kEgoProfile: {
            UTL_BlueskyPerson ego;
            if (!UTL_BlueskyAnswers::person_of(answer, ego) || ego.m_did != m_ego.m_did) {
                give_up("The Bluesky AppView at " + host_name() + " gave no profile for " +
                        (m_handle.empty() ? m_ego.m_did : m_handle));
                return;
            }
            m_ego = ego;
            if (!m_ego_shown) show_cached_network();
            m_cache_time = m_refreshing ? m_cache_time : 0;
            // The cheapest way to the friends, by the two counts.
            const long fc = std::max(0L, ego.m_follows_count);
            const long rc = std::max(0L, ego.m_followers_count);
            const int both = pages_for(fc) + pages_for(rc);
            const int by_follows = pages_for(fc) + chunks_for(fc, kOthersPerCall);
            const int by_followers = pages_for(rc) + chunks_for(rc, kOthersPerCall);
            m_ego_way = EgoWay::kBothLists;
            if (by_follows < both && by_follows <= by_followers) {
                m_ego_way = EgoWay::kFollowsAndRelations;
            } else if (by_followers < both) {
                m_ego_way = EgoWay::kFollowersAndRelations;
            }
            m_ego_lists_left = 0;
            m_ego_chunks_left = 0;
            if (m_ego_way != EgoWay::kFollowersAndRelations) {
                Request follows;
                follows.m_kind = kEgoFollows;
                follows.m_actor = m_ego.m_did;
                queue(follows);
                ++m_ego_lists_left;
            }
            if (m_ego_way != EgoWay::kFollowsAndRelations) {
                Request followers;
                followers.m_kind = kEgoFollowers;
                followers.m_actor = m_ego.m_did;
                queue(followers);
                ++m_ego_lists_left;
            }
            return;
        }
        case kEgoFollows:
        case kEgoFollowers: {
            std::string cursor;
            const bool follows = r.m_kind == kEgoFollows;
            std::vector<UTL_BlueskyPerson> page = UTL_BlueskyAnswers::page_of(
                answer, follows ? "follows" : "followers", cursor, skipped);
            m_unusable += skipped;
            std::vector<UTL_BlueskyPerson>& list = follows ? m_ego_follows : m_ego_followers;
            list.insert(list.end(), page.begin(), page.end());
            if (!cursor.empty() && cursor != r.m_cursor && r.m_page + 1 < m_max_pages) {
                Request next = r;
                next.m_cursor = cursor;
                next.m_page = r.m_page + 1;
                queue(next, true);
                return;
            }
            --m_ego_lists_left;
            if (m_ego_way != EgoWay::kBothLists) {
                // getRelationships about everyone on the list, 30 at a time.
                for (size_t k = 0; k < list.size(); k += kOthersPerCall) {
                    Request rel;
                    rel.m_kind = kEgoRelations;
                    rel.m_actor = m_ego.m_did;
                    for (size_t i = k; i < std::min(list.size(), k + kOthersPerCall); ++i)
                        rel.m_others.push_back(list[i].m_did);
                    queue(rel);
                    ++m_ego_chunks_left;
                }
            }
            ego_list_done();
            return;
        }
        case kEgoRelations: {
            std::vector<std::string> not_found;
            for (UTL_BlueskyRelation& rel : UTL_BlueskyAnswers::relations_of(answer, not_found))
                m_ego_relations[rel.m_did] = rel;
            for (const std::string& d : not_found) m_unresolved.insert(d);
            --m_ego_chunks_left;
            ego_list_done();
            return;
        }
        case kProfiles: {
            std::vector<UTL_BlueskyPerson> found = UTL_BlueskyAnswers::profiles_of(answer, skipped);
            m_unusable += skipped;
            // In the order asked; an account the AppView no longer knows is left out.
            std::vector<UTL_BlueskyPerson> chunk;
            for (const std::string& did : r.m_others) {
                const auto p = std::find_if(found.begin(), found.end(),
                                            [&did](const auto& q) { return q.m_did == did; });
                if (p == found.end()) {
                    m_unresolved.insert(did);
                } else {
                    chunk.push_back(*p);
                }
            }
            m_profile_chunks[r.m_friend] = std::move(chunk);
            // Chunks reach the globe in the order they were asked, whatever order they come in.
            for (auto next = m_profile_chunks.find(m_next_profile_chunk);
                 next != m_profile_chunks.end();
                 next = m_profile_chunks.find(m_next_profile_chunk)) {
                add_friends(next->second);
                m_profile_chunks.erase(next);
                ++m_next_profile_chunk;
            }
            if (m_next_profile_chunk < m_profile_chunks_total) return;
            m_network_read = wall_now();
            if (m_cache) {
                UTL_BlueskyNetwork n;
                n.m_read = m_network_read;
                n.m_ego = m_ego;
                n.m_unresolved.assign(m_unresolved.begin(), m_unresolved.end());
                for (const UTL_BlueskyPerson& c : m_candidates) {
                    const auto i = m_index.find(c.m_did);
                    if (i != m_index.end()) n.m_friends.push_back(m_friends[i->second].m_person);
                }
                m_cache->store_network(n);
            }
            m_candidates.clear();
            for (size_t i = 0; i < m_friends.size(); ++i) take_part(static_cast<int>(i));
            plan_pairs();
            return;
        }
        case kFollows: {
            Friend& f = m_friends[r.m_friend];
            std::string cursor;
            for (UTL_BlueskyPerson& p :
                 UTL_BlueskyAnswers::page_of(answer, "follows", cursor, skipped))
                f.m_new_follows.push_back(std::move(p.m_did));
            if (!cursor.empty() && cursor != r.m_cursor && r.m_page + 1 < m_max_pages) {
                Request next = r;
                next.m_cursor = cursor;
                next.m_page = r.m_page + 1;
                queue(next, true);
                return;
            }
            f.m_part = UTL_BlueskyPart();
            f.m_part.m_kind = UTL_BlueskyPart::Kind::kFollows;
            f.m_part.m_read = wall_now();
            f.m_part.m_follows = std::move(f.m_new_follows);
            f.m_new_follows.clear();
            f.m_part_fresh = true;
            if (m_cache) m_cache->store_part(m_ego.m_did, f.m_person.m_did, f.m_part);
            take_part(r.m_friend);
            part_done(r.m_friend);
            return;
        }
        case kRelations: {
            Friend& f = m_friends[r.m_friend];
            std::vector<std::string> not_found;
            for (UTL_BlueskyRelation& rel : UTL_BlueskyAnswers::relations_of(answer, not_found))
                f.m_new_relations.push_back(std::move(rel));
            for (const std::string& d : not_found) m_unresolved.insert(d);
            if (--f.m_chunks_left > 0) return;
            // What the cache knew of this friend still holds; the new relations add to it.
            if (!(f.m_part_fresh && f.m_part.m_kind == UTL_BlueskyPart::Kind::kRelationships))
                f.m_part = UTL_BlueskyPart();
            f.m_part.m_kind = UTL_BlueskyPart::Kind::kRelationships;
            f.m_part.m_read = wall_now();
            f.m_part.m_relations.insert(f.m_part.m_relations.end(), f.m_new_relations.begin(),
                                        f.m_new_relations.end());
            f.m_new_relations.clear();
            f.m_part_fresh = true;
            if (m_cache) m_cache->store_part(m_ego.m_did, f.m_person.m_did, f.m_part);
            take_part(r.m_friend);
            part_done(r.m_friend);
            return;
        }
        case kKinds:
            return;
    }
}

void UTL_BlueskySource::refused(const Request& r, const UTL_JsonAnswer& answer) {
    const std::string who = m_handle.empty() ? m_ego.m_did : m_handle;
    switch (r.m_kind) {
        case kResolveHandle:
            m_resolve_pending = false;
            if (m_ego_shown) {
                // A cached network stays; only its refresh ends.
                m_phase = Phase::kDone;
                m_refreshing = false;
                m_failure_text =
                    "Unknown Bluesky handle " + m_handle + " (" + answer.m_reason + ")";
                return;
            }
            give_up("Unknown Bluesky handle " + m_handle + " (" + answer.m_reason + ")");
            return;
        case kEgoProfile:
        case kEgoFollows:
        case kEgoFollowers:
        case kEgoRelations:
            give_up("The Bluesky AppView at " + host_name() + " refused to show " + who + " (" +
                    answer.m_reason + ")");
            return;
        case kProfiles: {
            // Nobody of the chunk can be shown; the others go on.
            nlohmann::json none = {{"profiles", nlohmann::json::array()}};
            got(r, none);
            return;
        }
        case kFollows:
        case kRelations: {
            // That friend's side stays unknown; their lines through the other friends' sides
            // still come.
            Friend& f = m_friends[r.m_friend];
            if (!f.m_reading) return;
            ++m_unreadable;
            f.m_new_follows.clear();
            f.m_new_relations.clear();
            f.m_chunks_left = 0;
            // Its other requests are answered, or dropped here before they go.
            const auto mine = [&r](const Request& q) {
                return q.m_friend == r.m_friend && (q.m_kind == kFollows || q.m_kind == kRelations);
            };
            m_ready.erase(std::remove_if(m_ready.begin(), m_ready.end(), mine), m_ready.end());
            m_retry.erase(std::remove_if(m_retry.begin(), m_retry.end(), mine), m_retry.end());
            part_done(r.m_friend);
            return;
        }
        case kKinds:
            return;
    }
}

// --- Friendships --------------------------------------------------------------------------------

void UTL_BlueskySource::record(int from, int to) {
    if (from == to || from < 0 || to < 0) return;
    const std::uint64_t way =
        static_cast<std::uint64_t>(from) << 32 | static_cast<std::uint32_t>(to);
    if (!m_follows.insert(way).second) return;
    const std::uint64_t back =
        static_cast<std::uint64_t>(to) << 32 | static_cast<std::uint32_t>(from);
    if (!m_follows.count(back)) return;
    const std::uint64_t line = static_cast<std::uint64_t>(std::min(from, to)) << 32 |
                               static_cast<std::uint32_t>(std::max(from, to));
    if (!m_lines.insert(line).second) return;
    if (m_target)
        m_target->add_connection(m_friends[from].m_person.m_did.c_str(),
                                 m_friends[to].m_person.m_did.c_str(), kLineAlpha, false);
}

// Every friendship one friend's side tells, with the friends on the globe now.
void UTL_BlueskySource::take_part(int i) {
    const UTL_BlueskyPart& part = m_friends[i].m_part;
    for (const std::string& did : part.m_follows) {
        const auto j = m_index.find(did);
        if (j != m_index.end()) record(i, j->second);
    }
    for (const UTL_BlueskyRelation& r : part.m_relations) {
        const auto j = m_index.find(r.m_did);
        if (j == m_index.end()) continue;
        if (r.m_following) record(i, j->second);
        if (r.m_followed_by) record(j->second, i);
    }
}

// --- Failures -----------------------------------------------------------------------------------

void UTL_BlueskySource::failed(const Request& request, const std::string& reason) {
    m_retry.push_back(request);
    m_reason = reason;
    if (!m_waits.failed(request.m_round, now())) return;  // not news: said already
    const bool give_up_now =
        m_options.m_give_up_after > 0 && m_waits.failures_in_a_row() >= m_options.m_give_up_after;
    std::fprintf(
        stderr, "nimbra: Bluesky: a request to %s failed (%s); %s\n", host_name().c_str(),
        reason.c_str(),
        give_up_now
            ? "giving up"
            : ("asking again in " + std::to_string(m_waits.seconds_left(now())) + " s").c_str());
    if (give_up_now) {
        give_up("Cannot reach the Bluesky AppView at " + host_name() + " (" + reason +
                "); gave up after " + std::to_string(m_waits.failures_in_a_row()) + " attempts");
    }
}

void UTL_BlueskySource::give_up(const std::string& why) {
    m_failure_text = why;
    // A globe with people on it keeps them; its fetch only stops.
    m_phase = Phase::kFailed;
    m_refreshing = false;
    // NOTE: without people, the host says it once as the reason nobody arrived.
    if (m_ego_shown) std::fprintf(stderr, "nimbra: %s\n", why.c_str());
}

// --- Status -------------------------------------------------------------------------------------

std::string UTL_BlueskySource::progress_text() const {
    const int percent = m_parts_total ? m_parts_done * 100 / m_parts_total : 100;
    return "follows of " + with_commas(m_parts_done) + " of " + with_commas(m_parts_total) +
           " friends read (" + std::to_string(percent) + " %)";
}

std::string UTL_BlueskySource::status_text() const {
    if (m_phase == Phase::kFailed) return m_failure_text;
    if (!m_reason.empty() && !m_waits.calm()) {
        const int seconds = m_waits.seconds_left(now());
        return "Cannot reach the Bluesky AppView at " + host_name() + " (" + m_reason +
               "); trying again" + (seconds > 0 ? " in " + std::to_string(seconds) + " s" : "…");
    }
    const Clock::time_point paused = m_pacer.paused_until(host_name());
    if (!finished() && now() < paused) {
        const double left = std::chrono::duration<double>(paused - now()).count();
        const std::time_t at = wall_now() + static_cast<std::time_t>(std::ceil(left));
        return "Bluesky: the AppView's rate limit is reached; going on at " +
               clock_text(at, "%H:%M:%S");
    }
    std::string remark;
    const size_t unresolved = unresolved_count();
    if (unresolved > 0)
        remark = counted(unresolved, "account") +
                 (unresolved == 1 ? " no longer resolves" : " no longer resolve");
    if (m_unreadable > 0)
        remark += (remark.empty() ? "" : "; ") + counted(m_unreadable, "friend") +
                  (m_unreadable == 1 ? "'s follows" : "s' follows") + " could not be read";
    if (m_phase == Phase::kDone) return m_failure_text.empty() ? remark : m_failure_text;

    std::string step;
    const std::string who = m_handle.empty() ? m_ego.m_did : m_handle;
    switch (m_phase) {
        case Phase::kResolve:
            step = "looking up " + who + "…";
            break;
        case Phase::kEgo:
            step = "reading whom " + who + " follows and who follows them…";
            break;
        case Phase::kProfiles:
            step = "loading " + counted(m_candidates.size(), "friend") + "…";
            break;
        case Phase::kPairs:
            step = progress_text();
            break;
        default:
            break;
    }
    if (m_refreshing && m_cache_time > 0)
        return "Bluesky: from the cache of " + clock_text(m_cache_time, "%Y-%m-%d %H:%M") +
               "; refreshing" + (m_phase == Phase::kPairs ? ": " + step : "");
    if (m_cache_time > 0 && m_phase == Phase::kPairs) return "Bluesky: resuming: " + step;
    return "Bluesky: " + step;
}

std::string UTL_BlueskySource::failure_text() const {
    if (!m_failure_text.empty()) return m_failure_text;
    if (!m_reason.empty())
        return "the Bluesky AppView at " + host_name() + " did not answer (" + m_reason + ")";
    return "still reading the network from the Bluesky AppView at " + host_name();
}

// Offscreen runs print each new state once: a new step, a new wait, every tenth of the sides.
void UTL_BlueskySource::report_status() {
    if (!m_options.m_print_status) return;
    std::string key;
    if (m_phase == Phase::kFailed) {
        key = "failed";
    } else if (!m_reason.empty() && !m_waits.calm()) {
        key = "wait " + std::to_string(m_waits.round());
    } else if (m_phase == Phase::kPairs) {
        key = "pairs " + std::to_string(m_parts_total ? m_parts_done * 10 / m_parts_total : 0);
    } else {
        key = std::to_string(static_cast<int>(m_phase));
    }
    if (key == m_reported) return;
    m_reported = key;
    if (m_phase == Phase::kFailed) return;  // give_up() or the host says it
    std::string text = status_text();
    if (m_phase == Phase::kDone) text = everything_in_text(m_friends.size(), m_lines.size(), text);
    std::fprintf(stderr, "nimbra: %s\n", text.c_str());
}

// --- Helpers ------------------------------------------------------------------------------------

bool UTL_BlueskySource::waiting() const {
    return m_waits.waiting(now()) || m_pacer.paused(host_name(), now());
}

int UTL_BlueskySource::lower_bound() const {
    int n = 0;
    for (const Friend& f : m_friends) n += f.m_current;
    const long fc = std::max(0L, m_ego.m_follows_count);
    const long rc = std::max(0L, m_ego.m_followers_count);
    int bound = (m_handle.empty() ? 0 : 1) + 1 +
                std::min({pages_for(fc) + pages_for(rc), pages_for(fc) + chunks_for(fc, 30),
                          pages_for(rc) + chunks_for(rc, 30)});
    if (n < 2) return bound;
    // The b friends who follow the most are asked about by getRelationships, the others have
    // their follows read: every pair with one of the b in it needs a relation, 30 to a call,
    // and of any two of the b one must ask, so all of them but one ask at least once.
    std::vector<int> pages;
    for (const Friend& f : m_friends)
        if (f.m_current) pages.push_back(pages_for(std::max(0L, f.m_person.m_follows_count)));
    std::sort(pages.begin(), pages.end(), std::greater<int>());
    long long rest = 0;
    for (int p : pages) rest += p;
    long long best = rest;
    for (long long b = 1; b <= n; ++b) {
        rest -= pages[b - 1];
        const long long pairs = b * (n - 1) - b * (b - 1) / 2;
        best = std::min(best, rest + std::max(b - 1, (pairs + 29) / 30));
    }
    return bound + static_cast<int>(best);
}

UTL_BlueskySource::Clock::time_point UTL_BlueskySource::now() const {
    return m_options.m_clock ? m_options.m_clock() : Clock::now();
}

std::time_t UTL_BlueskySource::wall_now() const {
    return m_options.m_wall_clock ? m_options.m_wall_clock() : std::time(nullptr);
}

std::string UTL_BlueskySource::host_name() const {
    const std::string& url = m_options.m_host;
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    const size_t end = url.find('/', start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
