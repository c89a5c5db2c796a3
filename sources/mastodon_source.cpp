// UTL_MastodonSource: the steps from an account address to the whole network (the person's
// account and lists on their server, each friend's home server and lists there), the per-server
// queues, pacing and waits, the cache that shows it at once and lets a fetch resume, and the
// status line.
//   Options, construction, start · Per frame · Steps · Requests · Answers · Friendships ·
//   Failures · Status · Helpers
#include "sources/mastodon_source.h"

#include "service/data_lines.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kPageSize = 80;

// The opacities the controller gives the user's own lines and the lines between friends.
constexpr float kMyLineAlpha = 0.15f;
constexpr float kLineAlpha = 0.4f;

// Pages of a list of count accounts, as far as they are followed (a server may claim any count).
int pages_for(long count, int max_pages) {
    if (count <= kPageSize) return 1;
    return static_cast<int>(std::min<long>(max_pages, (count + kPageSize - 1) / kPageSize));
}

std::string clock_text(std::time_t t, const char* format) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

bool refuses_anonymous(long status) { return status == 401 || status == 403; }

}  // namespace

// --- Options, construction, start ---------------------------------------------------------------

bool UTL_MastodonSourceOptions::add_resolve(const std::string& text, std::string& error) {
    const size_t eq = text.find('=');
    std::string domain = text.substr(0, eq);
    for (char& c : domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string url = eq == std::string::npos ? "" : text.substr(eq + 1);
    while (!url.empty() && url.back() == '/') url.pop_back();
    std::string origin, host;
    if (eq == std::string::npos || !UTL_MastodonAnswers::usable_domain(domain) ||
        !UTL_MastodonAnswers::split_url(url, origin, host)) {
        error = "bad --mastodon-resolve '" + text +
                "': expected DOMAIN=URL, such as social.example=http://127.0.0.1:3000";
        return false;
    }
    m_resolve[domain] = url;
    return true;
}

UTL_MastodonSource::UTL_MastodonSource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                                       const UTL_MastodonSourceOptions& options)
    : UTL_NetworkSource(controller, std::move(title)),
      m_options(options),
      m_pacer({options.m_in_flight, options.m_requests_per_second}) {}

UTL_MastodonSource::UTL_MastodonSource(UTL_AcquisitionTarget* target, TitleCallback title,
                                       const UTL_MastodonSourceOptions& options)
    : UTL_NetworkSource(target, std::move(title)),
      m_options(options),
      m_pacer({options.m_in_flight, options.m_requests_per_second}) {}

UTL_MastodonSource::~UTL_MastodonSource() { shutdown(); }

void UTL_MastodonSource::shutdown() {
    if (m_client) m_client->shutdown();
}

bool UTL_MastodonSource::start(std::string& error) {
    m_ego.m_uid = UTL_MastodonAnswers::normal_address(m_options.m_account);
    if (m_ego.m_uid.empty()) {
        error = "'" + m_options.m_account +
                "' is not a Mastodon account address such as alice@mastodon.social";
        return false;
    }
    m_client = std::make_unique<UTL_JsonClient>(std::max(1, m_options.m_workers));
    m_client->set_timeouts(std::min<long>(10, m_options.m_total_timeout_s),
                           m_options.m_total_timeout_s);
    if (m_options.m_use_cache) m_cache = std::make_unique<UTL_MastodonCache>(m_options.m_cache_dir);
    return true;
}

// --- Per frame ----------------------------------------------------------------------------------

void UTL_MastodonSource::tick() {
    if (!m_client || finished()) return;
    // The cached network reaches the scene at the first frame, once there is a scene.
    if (!m_begun) begin();
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
// the wire and the pacer told what the server said of its limits. A server being probed after
// failures gets nothing more until the answer has been read (pump() holds back while any
// request of such a server is still counted on the wire, and answers set aside still count).
void UTL_MastodonSource::tick_while_drawing(int max) {
    (void)max;  // moving an answer aside is all the work there is
    if (!m_client || finished() || !m_begun) return;
    collect_answers();
    pump(true);
}

void UTL_MastodonSource::collect_answers() {
    for (auto& [id, answer] : m_client->take_answers()) {
        const auto it = m_sent.find(id);
        if (it == m_sent.end()) continue;  // its server was given up meanwhile
        Server& s = server(it->second.m_server);
        --s.m_sent;
        m_pacer.answered(it->second.m_server, answer, now());
        m_arrived.emplace_back(std::move(it->second), std::move(answer));
        m_sent.erase(it);
    }
}

// --- Steps --------------------------------------------------------------------------------------

void UTL_MastodonSource::begin() {
    m_begun = true;
    const std::string own = base_of(m_ego.domain());
    m_own.insert(own);
    UTL_MastodonNetwork cached;
    if (m_cache && m_cache->load_network(m_ego.m_uid, cached)) {
        m_ego = cached.m_ego;
        m_ego_server = cached.m_server;
        m_own.insert(m_ego_server);
        m_network_read = cached.m_read;
        m_cache_time = static_cast<std::time_t>(m_network_read);
        show_ego();
        add_friends(cached.m_friends);
        for (size_t i = 0; i < m_friends.size(); ++i) {
            Friend& f = m_friends[i];
            if (!m_cache->load_part(m_ego.m_uid, f.m_person.m_uid, f.m_part)) continue;
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
    }
    m_phase = Phase::kLookup;
    ask_ego_lookup(own);
}

void UTL_MastodonSource::show_ego() {
    if (m_ego_shown) return;
    if (m_target)
        m_target->add_myself(m_ego.m_uid.c_str(), m_ego.m_name.c_str(), m_ego.m_avatar.c_str(),
                             m_ego.m_avatar.c_str());
    if (m_title) m_title("Nimbra | " + m_ego.m_name);
    m_ego_shown = true;
}

void UTL_MastodonSource::ask_ego_lookup(const std::string& base) {
    Request r;
    r.m_kind = kEgoLookup;
    r.m_server = base;
    r.m_arg = m_ego.username();
    queue(r);
}

// The friends: the accounts the person follows that follow them back.
void UTL_MastodonSource::ego_lists_done() {
    if (m_ego_lists_left > 0) return;
    std::unordered_set<std::string> followers;
    for (const UTL_MastodonPerson& p : m_ego_followers) followers.insert(p.m_uid);
    std::vector<UTL_MastodonPerson> friends;
    std::unordered_set<std::string> seen;
    for (const UTL_MastodonPerson& p : m_ego_following) {
        if (p.m_uid != m_ego.m_uid && followers.count(p.m_uid) && seen.insert(p.m_uid).second)
            friends.push_back(p);
    }
    m_ego_following.clear();
    m_ego_followers.clear();
    show_ego();
    for (Friend& f : m_friends) f.m_current = false;
    add_friends(friends);
    m_network_read = wall_now();
    if (m_cache) {
        UTL_MastodonNetwork n;
        n.m_read = m_network_read;
        n.m_ego = m_ego;
        n.m_server = m_ego_server;
        for (const UTL_MastodonPerson& p : friends)
            n.m_friends.push_back(m_friends[m_index[p.m_uid]].m_person);
        m_cache->store_network(n);
    }
    plan_pairs();
}

// Each new person gets a place on the globe and a line to the user; people already there keep
// theirs.
void UTL_MastodonSource::add_friends(const std::vector<UTL_MastodonPerson>& people) {
    for (const UTL_MastodonPerson& p : people) {
        if (p.m_uid == m_ego.m_uid) continue;
        const auto known = m_index.find(p.m_uid);
        if (known != m_index.end()) {
            Friend& f = m_friends[known->second];
            f.m_person = p;
            f.m_current = true;
            continue;
        }
        m_index[p.m_uid] = static_cast<int>(m_friends.size());
        Friend f;
        f.m_person = p;
        m_friends.push_back(std::move(f));
        if (!m_target) continue;
        m_target->add_friend(p.m_uid.c_str(), p.m_name.c_str(), p.m_avatar.c_str(),
                             p.m_avatar.c_str());
        m_target->create_friends_locators();
        // NOTE: what add_connections_for_myself() draws, one friend at a time, since friends
        // that a refresh finds come after the others.
        m_target->add_connection(m_ego.m_uid.c_str(), p.m_uid.c_str(), kMyLineAlpha, true);
    }
}

// Every friend's following is read on their own server (unless the cache holds it); who
// follows them only where a friend who cannot be read needs it (need_other_sides()).
void UTL_MastodonSource::plan_pairs() {
    m_phase = Phase::kPairs;
    m_parts_total = 0;
    m_parts_done = 0;
    for (size_t k = 0; k < m_friends.size(); ++k) {
        Friend& f = m_friends[k];
        if (!f.m_current) continue;
        ++m_parts_total;
        const UTL_MastodonPart& part = f.m_part;
        const bool known = f.m_part_fresh && (part.m_kind == UTL_MastodonPart::Kind::kHidden ||
                                              part.m_kind == UTL_MastodonPart::Kind::kUnreadable ||
                                              part.m_has_following);
        f.m_settled = known;
        if (known) {
            ++m_parts_done;
            continue;
        }
        read_friend(static_cast<int>(k), true, false);
    }
    need_other_sides();
}

void UTL_MastodonSource::read_friend(int i, bool following, bool followers) {
    Friend& f = m_friends[i];
    f.m_busy = true;
    f.m_wants_following = following;
    f.m_wants_followers = followers;
    f.m_new_following.clear();
    f.m_new_followers.clear();
    // Where their lists were read before is where they still are (ids on a server stay).
    if (!f.m_part.m_server.empty() && !f.m_part.m_id.empty()) {
        ask_lists(i);
        return;
    }
    find_home(i);
}

// A friend of the person's own domain is at home on the person's server, with the id it gave;
// one of another domain is looked up there by username, or first fingered where their profile
// lives on another host than their domain.
void UTL_MastodonSource::find_home(int i) {
    Friend& f = m_friends[i];
    const std::string domain = f.m_person.domain();
    if (domain == m_ego.domain() && !m_ego_server.empty()) {
        f.m_part.m_server = m_ego_server;
        f.m_part.m_id = f.m_person.m_id;
        ask_lists(i);
        return;
    }
    std::string origin, host;
    const bool elsewhere =
        UTL_MastodonAnswers::split_url(f.m_person.m_url, origin, host) && host != domain;
    Request r;
    r.m_server = base_of(domain);
    r.m_friend = i;
    if (elsewhere) {
        r.m_kind = kWebFinger;
        r.m_arg = f.m_person.m_uid;
        f.m_tried_webfinger = true;
    } else {
        r.m_kind = kLookup;
        r.m_arg = f.m_person.username();
    }
    queue(r);
}

void UTL_MastodonSource::ask_lists(int i) {
    Friend& f = m_friends[i];
    f.m_lists_left = 0;
    for (const Kind kind : {kFollowing, kFollowers}) {
        if (!(kind == kFollowing ? f.m_wants_following : f.m_wants_followers)) continue;
        Request r;
        r.m_kind = kind;
        r.m_server = f.m_part.m_server;
        r.m_arg = f.m_part.m_id;
        r.m_friend = i;
        ++f.m_lists_left;
        queue(r);
    }
    if (f.m_lists_left == 0) list_done(i);
}

// The lists asked for are in (or given up): cached, counted, and their lines drawn.
void UTL_MastodonSource::list_done(int i) {
    Friend& f = m_friends[i];
    f.m_busy = false;
    if (f.m_part.m_kind == UTL_MastodonPart::Kind::kLists) {
        f.m_part.m_read = wall_now();
        f.m_part_fresh = true;
        if (m_cache) m_cache->store_part(m_ego.m_uid, f.m_person.m_uid, f.m_part);
    }
    if (!f.m_settled && f.m_current) {
        f.m_settled = true;
        ++m_parts_done;
    }
    need_other_sides();
}

void UTL_MastodonSource::friend_unread(int i, UTL_MastodonPart::Kind kind,
                                       const std::string& reason, bool lasting) {
    Friend& f = m_friends[i];
    // Only whom they follow makes a friend unread; a side read for others just ends.
    if (!f.m_wants_following && f.m_part.m_has_following) {
        f.m_wants_followers = false;
        list_done(i);
        return;
    }
    // Their other requests are dropped before they go.
    for (auto& [origin, s] : m_servers) {
        const auto mine = [i](const Request& q) { return q.m_friend == i; };
        s.m_ready.erase(std::remove_if(s.m_ready.begin(), s.m_ready.end(), mine), s.m_ready.end());
        s.m_retry.erase(std::remove_if(s.m_retry.begin(), s.m_retry.end(), mine), s.m_retry.end());
    }
    f.m_wants_following = f.m_wants_followers = false;
    f.m_lists_left = 0;
    f.m_part = UTL_MastodonPart();
    f.m_part.m_kind = kind;
    f.m_part.m_reason = reason;
    f.m_part.m_read = wall_now();
    f.m_part_fresh = true;
    if (m_cache && lasting) m_cache->store_part(m_ego.m_uid, f.m_person.m_uid, f.m_part);
    f.m_busy = false;
    if (!f.m_settled && f.m_current) {
        f.m_settled = true;
        ++m_parts_done;
    }
    need_other_sides();
}

// NOTE: a line needs both follows. Whom a friend follows is read from their following; that
// a friend who hides it (or cannot be read) follows someone back is only in the other's
// followers, so those are read of every friend who follows one that cannot be read.
void UTL_MastodonSource::need_other_sides() {
    if (m_phase != Phase::kPairs) return;
    std::vector<int> unread;
    for (size_t h = 0; h < m_friends.size(); ++h) {
        const UTL_MastodonPart::Kind k = m_friends[h].m_part.m_kind;
        if (m_friends[h].m_current && !m_friends[h].m_busy &&
            (k == UTL_MastodonPart::Kind::kHidden || k == UTL_MastodonPart::Kind::kUnreadable))
            unread.push_back(static_cast<int>(h));
    }
    if (unread.empty()) return;
    for (size_t v = 0; v < m_friends.size(); ++v) {
        Friend& f = m_friends[v];
        if (!f.m_current || f.m_busy || f.m_part.m_kind != UTL_MastodonPart::Kind::kLists ||
            !f.m_part.m_has_following || f.m_part.m_has_followers)
            continue;
        const bool needed = std::any_of(unread.begin(), unread.end(), [&](int h) {
            return m_follows.count(static_cast<std::uint64_t>(v) << 32 |
                                   static_cast<std::uint32_t>(h)) > 0;
        });
        if (needed) read_friend(static_cast<int>(v), false, true);
    }
}

void UTL_MastodonSource::check_done() {
    if (m_phase != Phase::kPairs || !m_sent.empty() || !m_arrived.empty()) return;
    for (const Friend& f : m_friends)
        if (f.m_busy) return;
    for (const auto& [origin, s] : m_servers)
        if (!s.m_ready.empty() || !s.m_retry.empty()) return;
    m_phase = Phase::kDone;
    m_refreshing = false;
}

// --- Requests -----------------------------------------------------------------------------------

UTL_MastodonSource::Server& UTL_MastodonSource::server(const std::string& origin) {
    auto it = m_servers.find(origin);
    if (it == m_servers.end()) {
        it = m_servers.emplace(origin, Server(m_options)).first;
        // Named as people know it: the domain whose address it is, else its own host.
        std::string name;
        for (const auto& [domain, url] : m_options.m_resolve)
            if (url == origin) name = domain;
        std::string o, host;
        if (name.empty() && UTL_MastodonAnswers::split_url(origin, o, host)) name = host;
        it->second.m_name = name.empty() ? origin : name;
    }
    return it->second;
}

std::string UTL_MastodonSource::base_of(const std::string& host) const {
    const auto it = m_options.m_resolve.find(host);
    return it != m_options.m_resolve.end() ? it->second : "https://" + host;
}

void UTL_MastodonSource::queue(Request request, bool front) {
    Server& s = server(request.m_server);
    if (front) {
        s.m_ready.push_front(std::move(request));
    } else {
        s.m_ready.push_back(std::move(request));
    }
}

// NOTE: every server has its own queue, slots, rate limit and waits: one that waits (for its
// limit, or after failures, one probe at a time) holds up no other.
void UTL_MastodonSource::pump(bool sending_only) {
    if (!m_client || finished()) return;
    const Clock::time_point t = now();
    for (auto& [origin, s] : m_servers) {
        const bool refusing = s.m_refuses_anonymous && !m_own.count(origin);
        if (sending_only && (s.m_gave_up || refusing || !s.m_waits.calm())) continue;
        if (s.m_gave_up || refusing) {
            // Nothing goes to it any more: what was queued for it ends here.
            while (!s.m_ready.empty() || !s.m_retry.empty()) {
                std::deque<Request>& q = s.m_retry.empty() ? s.m_ready : s.m_retry;
                const Request r = q.front();
                q.pop_front();
                abandon(
                    r,
                    refusing ? s.m_name + " refuses anonymous reads" : s.m_name + " did not answer",
                    refusing);
                if (finished()) return;
            }
            continue;
        }
        if (s.m_waits.waiting(t)) continue;
        const bool probing = !s.m_waits.calm();
        while (!s.m_retry.empty() || !s.m_ready.empty()) {
            if (probing && s.m_sent > 0) break;
            if (!m_pacer.may_send(origin, t)) break;
            std::deque<Request>& q = s.m_retry.empty() ? s.m_ready : s.m_retry;
            Request r = std::move(q.front());
            q.pop_front();
            send(std::move(r));
        }
    }
}

void UTL_MastodonSource::send(Request request) {
    Server& s = server(request.m_server);
    request.m_round = s.m_waits.round();
    const std::uint64_t id = m_next_id++;
    UTL_JsonRequest json;
    json.m_url = url_of(request);
    const bool list = request.m_kind == kEgoFollowing || request.m_kind == kEgoFollowers ||
                      request.m_kind == kFollowing || request.m_kind == kFollowers;
    if (list) m_pages_asked.insert(json.m_url);
    // NOTE: the token is the person's own: it goes to their server and nowhere else.
    if (!m_options.m_token.empty() && m_own.count(request.m_server))
        json.m_headers.push_back("Authorization: Bearer " + m_options.m_token);
    m_pacer.sent(request.m_server, now());
    ++s.m_sent;
    ++s.m_requests;
    ++m_requests;
    ++m_requests_by_kind[request.m_kind];
    m_sent.emplace(id, std::move(request));
    m_client->send(id, std::move(json));
}

std::string UTL_MastodonSource::url_of(const Request& r) const {
    if (!r.m_url.empty()) return r.m_url;
    switch (r.m_kind) {
        case kEgoLookup:
        case kLookup:
            return r.m_server + "/api/v1/accounts/lookup?acct=" + UTL_JsonClient::escape(r.m_arg);
        case kEgoWebFinger:
        case kWebFinger:
            return r.m_server +
                   "/.well-known/webfinger?resource=" + UTL_JsonClient::escape("acct:" + r.m_arg);
        case kEgoFollowing:
        case kFollowing:
            return r.m_server + "/api/v1/accounts/" + UTL_JsonClient::escape(r.m_arg) +
                   "/following?limit=" + std::to_string(kPageSize);
        case kEgoFollowers:
        case kFollowers:
            return r.m_server + "/api/v1/accounts/" + UTL_JsonClient::escape(r.m_arg) +
                   "/followers?limit=" + std::to_string(kPageSize);
        case kKinds:
            break;
    }
    return "";
}

// NOTE: the next page is the address the server gives, never one made here, and only on the
// server asked: an address of its own domain goes to where that domain is resolved to.
std::string UTL_MastodonSource::next_page(const Request& r, const UTL_JsonAnswer& answer) const {
    const auto link = answer.m_headers.find("link");
    if (link == answer.m_headers.end()) return "";
    std::string next = UTL_MastodonAnswers::next_link(link->second);
    std::string origin, host, asked_origin, asked_host;
    if (next.empty() || !UTL_MastodonAnswers::split_url(next, origin, host) ||
        !UTL_MastodonAnswers::split_url(r.m_server, asked_origin, asked_host))
        return "";
    if (origin != asked_origin) {
        std::string resolved_origin, resolved_host;
        const auto it = m_options.m_resolve.find(origin.substr(origin.find("://") + 3));
        if (it == m_options.m_resolve.end() ||
            !UTL_MastodonAnswers::split_url(it->second, resolved_origin, resolved_host) ||
            resolved_origin != asked_origin)
            return "";
        const size_t start = next.find("://") + 3;
        const size_t end = next.find_first_of("/?#", start);
        next = asked_origin + (end == std::string::npos ? "" : next.substr(end));
    }
    // NOTE: a server whose pages lead round in a circle would be asked until the page limit.
    return m_pages_asked.count(next) ? "" : next;
}

// --- Answers ------------------------------------------------------------------------------------

void UTL_MastodonSource::take(const Request& r, UTL_JsonAnswer& answer) {
    Server& s = server(r.m_server);
    switch (answer.m_kind) {
        case UTL_JsonAnswer::Kind::kOk:
            s.m_waits.succeeded(r.m_round);
            if (s.m_waits.calm()) s.m_reason.clear();
            got(r, answer);
            break;
        case UTL_JsonAnswer::Kind::kRateLimited: {
            // Asked again first once the window starts again; a limit is no failure.
            s.m_retry.push_front(r);
            const double left =
                std::chrono::duration<double>(m_pacer.paused_until(r.m_server) - now()).count();
            if (m_options.m_print_status)
                std::fprintf(stderr,
                             "nimbra: Mastodon: %s's rate limit is reached; going on in %d s\n",
                             s.m_name.c_str(), static_cast<int>(std::ceil(std::max(0.0, left))));
            break;
        }
        case UTL_JsonAnswer::Kind::kRetry:
            failed(r, answer.m_reason);
            break;
        case UTL_JsonAnswer::Kind::kRefused:
            s.m_waits.succeeded(r.m_round);
            if (s.m_waits.calm()) s.m_reason.clear();
            refused(r, answer);
            break;
    }
}

void UTL_MastodonSource::got(const Request& r, const UTL_JsonAnswer& answer) {
    const nlohmann::json& j = answer.m_json;
    size_t skipped = 0;
    switch (r.m_kind) {
        case kEgoLookup: {
            UTL_MastodonPerson ego;
            if (!UTL_MastodonAnswers::account_of(j, m_ego.domain(), ego) ||
                ego.m_uid != m_ego.m_uid) {
                // A server that is not the account's own answers with someone else, if at all.
                UTL_JsonAnswer none;
                none.m_status = 404;
                none.m_reason = "no such account there";
                refused(r, none);
                return;
            }
            m_ego = ego;
            m_ego_server = r.m_server;
            m_own.insert(r.m_server);
            m_phase = Phase::kEgo;
            m_ego_following.clear();
            m_ego_followers.clear();
            m_ego_lists_left = 2;
            for (const Kind kind : {kEgoFollowing, kEgoFollowers}) {
                Request list;
                list.m_kind = kind;
                list.m_server = r.m_server;
                list.m_arg = ego.m_id;
                queue(list);
            }
            return;
        }
        case kEgoWebFinger: {
            const std::string found = UTL_MastodonAnswers::webfinger_server(j, m_ego.m_uid);
            std::string origin, host;
            std::string base;
            if (UTL_MastodonAnswers::split_url(found, origin, host))
                base = m_options.m_resolve.count(host) ? base_of(host) : origin;
            if (base.empty() || base == r.m_server) {
                UTL_JsonAnswer none;
                none.m_status = 404;
                none.m_reason = "no such account there";
                refused(r, none);
                return;
            }
            m_own.insert(base);
            ask_ego_lookup(base);
            return;
        }
        case kEgoFollowing:
        case kEgoFollowers: {
            const bool following = r.m_kind == kEgoFollowing;
            std::vector<UTL_MastodonPerson> page =
                UTL_MastodonAnswers::accounts_of(j, m_ego.domain(), skipped);
            if (following) m_unusable += skipped;
            const long count = following ? m_ego.m_following_count : m_ego.m_followers_count;
            if (r.m_page == 0 && page.empty() && skipped == 0 && count > 0) {
                const std::string lists = following ? "whom they follow" : "who follows them";
                const std::string why =
                    m_ego.m_uid + " hides " + lists +
                    (m_options.m_token.empty()
                         ? ": give a token of that account with --mastodon-token to read them"
                         : ", even from the token given with --mastodon-token");
                if (m_ego_shown) {
                    m_phase = Phase::kDone;
                    m_refreshing = false;
                    m_failure_text = why;
                    return;
                }
                give_up(why);
                return;
            }
            std::vector<UTL_MastodonPerson>& list = following ? m_ego_following : m_ego_followers;
            list.insert(list.end(), page.begin(), page.end());
            // A page of accounts that cannot be shown is still a page: the list goes on.
            const std::string next = page.empty() && skipped == 0 ? "" : next_page(r, answer);
            if (!next.empty() && r.m_page + 1 < m_max_pages) {
                Request more = r;
                more.m_url = next;
                more.m_page = r.m_page + 1;
                queue(more, true);
                return;
            }
            --m_ego_lists_left;
            ego_lists_done();
            return;
        }
        case kWebFinger: {
            Friend& f = m_friends[r.m_friend];
            const std::string found = UTL_MastodonAnswers::webfinger_server(j, f.m_person.m_uid);
            std::string origin, host;
            std::string base;
            if (UTL_MastodonAnswers::split_url(found, origin, host))
                base = m_options.m_resolve.count(host) ? base_of(host) : origin;
            if (base.empty()) {
                friend_unread(
                    r.m_friend, UTL_MastodonPart::Kind::kUnreadable,
                    f.m_person.domain() + " does not say where " + f.m_person.m_uid + " is", true);
                return;
            }
            Request lookup;
            lookup.m_kind = kLookup;
            lookup.m_server = base;
            lookup.m_arg = f.m_person.username();
            lookup.m_friend = r.m_friend;
            queue(lookup, true);
            return;
        }
        case kLookup: {
            Friend& f = m_friends[r.m_friend];
            UTL_MastodonPerson home;
            // On their home server a friend is a local account: their uid is their username at
            // their own domain, whatever host the server runs on.
            if (!UTL_MastodonAnswers::account_of(j, f.m_person.domain(), home) ||
                home.m_uid != f.m_person.m_uid) {
                UTL_JsonAnswer none;
                none.m_status = 404;
                none.m_reason = "not an account of that server";
                refused(r, none);
                return;
            }
            f.m_part.m_server = r.m_server;
            f.m_part.m_id = home.m_id;
            f.m_home_following = home.m_following_count;
            f.m_home_followers = home.m_followers_count;
            // Kept at once, so a fetch stopped before their lists come need not find them again.
            if (m_cache && f.m_part.m_kind == UTL_MastodonPart::Kind::kNone) {
                f.m_part.m_read = wall_now();
                m_cache->store_part(m_ego.m_uid, f.m_person.m_uid, f.m_part);
            }
            if (home.m_hides) {
                friend_unread(r.m_friend, UTL_MastodonPart::Kind::kHidden, "", true);
                return;
            }
            ask_lists(r.m_friend);
            return;
        }
        case kFollowing:
        case kFollowers: {
            Friend& f = m_friends[r.m_friend];
            const bool following = r.m_kind == kFollowing;
            std::vector<UTL_MastodonPerson> page =
                UTL_MastodonAnswers::accounts_of(j, f.m_person.domain(), skipped);
            long count = following ? f.m_home_following : f.m_home_followers;
            if (count < 0)
                count = following ? f.m_person.m_following_count : f.m_person.m_followers_count;
            // NOTE: a list that comes empty while its count says otherwise is hidden.
            if (r.m_page == 0 && page.empty() && skipped == 0 && count > 0) {
                friend_unread(r.m_friend, UTL_MastodonPart::Kind::kHidden, "", true);
                return;
            }
            std::vector<std::string>& list = following ? f.m_new_following : f.m_new_followers;
            for (UTL_MastodonPerson& p : page) list.push_back(std::move(p.m_uid));
            // A page of accounts that cannot be shown is still a page: the list goes on.
            const std::string next = page.empty() && skipped == 0 ? "" : next_page(r, answer);
            if (!next.empty() && r.m_page + 1 < m_max_pages) {
                Request more = r;
                more.m_url = next;
                more.m_page = r.m_page + 1;
                queue(more, true);
                return;
            }
            UTL_MastodonPart& part = f.m_part;
            if (part.m_kind != UTL_MastodonPart::Kind::kLists) {
                const std::string server = part.m_server, id = part.m_id;
                part = UTL_MastodonPart();
                part.m_kind = UTL_MastodonPart::Kind::kLists;
                part.m_server = server;
                part.m_id = id;
            }
            if (following) {
                part.m_following = std::move(f.m_new_following);
                part.m_has_following = true;
                f.m_wants_following = false;
            } else {
                part.m_followers = std::move(f.m_new_followers);
                part.m_has_followers = true;
                f.m_wants_followers = false;
            }
            take_part(r.m_friend);
            if (--f.m_lists_left <= 0) list_done(r.m_friend);
            return;
        }
        case kKinds:
            return;
    }
}

void UTL_MastodonSource::refused(const Request& r, const UTL_JsonAnswer& answer) {
    Server& s = server(r.m_server);
    const std::string why = answer.m_reason.empty() ? "refused" : answer.m_reason;
    switch (r.m_kind) {
        case kEgoLookup:
        case kEgoWebFinger:
        case kEgoFollowing:
        case kEgoFollowers: {
            std::string message;
            if (refuses_anonymous(answer.m_status)) {
                message = m_options.m_token.empty()
                              ? "The Mastodon server " + s.m_name +
                                    " refuses anonymous reads: give a token of your account "
                                    "there with --mastodon-token"
                              : "The Mastodon server " + s.m_name +
                                    " refused the token given with --mastodon-token (" + why + ")";
            } else if (r.m_kind == kEgoLookup && !m_ego_fingered) {
                // The domain may only point to the server that holds its accounts.
                m_ego_fingered = true;
                Request finger;
                finger.m_kind = kEgoWebFinger;
                finger.m_server = base_of(m_ego.domain());
                finger.m_arg = m_ego.m_uid;
                queue(finger, true);
                return;
            } else if (r.m_kind == kEgoLookup || r.m_kind == kEgoWebFinger) {
                message = "Unknown Mastodon account " + m_ego.m_uid + " (" + why + ")";
            } else {
                message = "The Mastodon server " + s.m_name + " refused to show the follows of " +
                          m_ego.m_uid + " (" + why + ")";
            }
            if (m_ego_shown) {
                // A cached network stays; only its refresh ends.
                m_phase = Phase::kDone;
                m_refreshing = false;
                m_failure_text = message;
                return;
            }
            give_up(message);
            return;
        }
        case kLookup:
            if (!refuses_anonymous(answer.m_status) && !m_friends[r.m_friend].m_tried_webfinger) {
                // Their domain may only point to the server that holds its accounts.
                Friend& f = m_friends[r.m_friend];
                f.m_tried_webfinger = true;
                Request finger;
                finger.m_kind = kWebFinger;
                finger.m_server = base_of(f.m_person.domain());
                finger.m_arg = f.m_person.m_uid;
                finger.m_friend = r.m_friend;
                queue(finger, true);
                return;
            }
            [[fallthrough]];
        case kWebFinger:
        case kFollowing:
        case kFollowers:
            if (refuses_anonymous(answer.m_status) && !m_own.count(r.m_server) &&
                !s.m_refuses_anonymous) {
                s.m_refuses_anonymous = true;
                std::fprintf(stderr,
                             "nimbra: Mastodon: the server %s refuses anonymous reads, so the "
                             "follows of its accounts come from their friends' side "
                             "(--mastodon-token goes only to %s)\n",
                             s.m_name.c_str(), server(*m_own.begin()).m_name.c_str());
            }
            abandon(r,
                    refuses_anonymous(answer.m_status) ? s.m_name + " refuses anonymous reads"
                                                       : s.m_name + ": " + why,
                    true);
            return;
        case kKinds:
            return;
    }
}

// --- Friendships --------------------------------------------------------------------------------

void UTL_MastodonSource::record(int from, int to) {
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
        m_target->add_connection(m_friends[from].m_person.m_uid.c_str(),
                                 m_friends[to].m_person.m_uid.c_str(), kLineAlpha, false);
}

// Every follow one friend's lists tell, with the friends on the globe now.
void UTL_MastodonSource::take_part(int i) {
    const UTL_MastodonPart& part = m_friends[i].m_part;
    for (const std::string& uid : part.m_following) {
        const auto j = m_index.find(uid);
        if (j != m_index.end()) record(i, j->second);
    }
    for (const std::string& uid : part.m_followers) {
        const auto j = m_index.find(uid);
        if (j != m_index.end()) record(j->second, i);
    }
}

// --- Failures -----------------------------------------------------------------------------------

void UTL_MastodonSource::failed(const Request& r, const std::string& reason) {
    Server& s = server(r.m_server);
    s.m_retry.push_back(r);
    s.m_reason = reason;
    if (!s.m_waits.failed(r.m_round, now())) return;  // not news: said already
    const bool own = m_own.count(r.m_server) > 0;
    const int limit = own ? m_options.m_give_up_after
                      : m_options.m_give_up_after > 0
                          ? std::min(m_options.m_give_up_after, m_options.m_give_up_server_after)
                          : m_options.m_give_up_server_after;
    const bool give_up_now = limit > 0 && s.m_waits.failures_in_a_row() >= limit;
    std::fprintf(
        stderr, "nimbra: Mastodon: a request to %s failed (%s); %s\n", s.m_name.c_str(),
        reason.c_str(),
        give_up_now
            ? "giving up"
            : ("asking again in " + std::to_string(s.m_waits.seconds_left(now())) + " s").c_str());
    if (!give_up_now) return;
    if (own && m_phase != Phase::kPairs) {
        give_up("Cannot reach the Mastodon server " + s.m_name + " (" + reason +
                "); gave up after " + std::to_string(s.m_waits.failures_in_a_row()) + " attempts");
        return;
    }
    drop_server(r.m_server);
}

// A server that stays away: its requests end, and its accounts' lines come from the other
// side where they can.
void UTL_MastodonSource::drop_server(const std::string& origin) {
    Server& s = server(origin);
    s.m_gave_up = true;
    std::vector<Request> on_the_wire;
    for (auto it = m_sent.begin(); it != m_sent.end();) {
        if (it->second.m_server == origin) {
            on_the_wire.push_back(it->second);
            m_pacer.ended(origin);
            it = m_sent.erase(it);
        } else {
            ++it;
        }
    }
    // Answers set aside while a frame was drawn are dropped with it, as those still on the wire.
    for (auto it = m_arrived.begin(); it != m_arrived.end();) {
        if (it->first.m_server == origin) {
            on_the_wire.push_back(it->first);
            it = m_arrived.erase(it);
        } else {
            ++it;
        }
    }
    s.m_sent = 0;
    for (const Request& r : on_the_wire) {
        abandon(r, s.m_name + " did not answer (" + s.m_reason + ")", false);
        if (finished()) return;
    }
    // The queued ones end at the next pump().
}

void UTL_MastodonSource::abandon(const Request& r, const std::string& why, bool lasting) {
    if (r.m_friend < 0) {
        give_up("Cannot read the network of " + m_ego.m_uid + ": " + why);
        return;
    }
    Friend& f = m_friends[r.m_friend];
    if (r.m_kind == kFollowers && !f.m_wants_following && f.m_part.m_has_following) {
        // Only a side read for others ends; whom they follow is known.
        f.m_wants_followers = false;
        list_done(r.m_friend);
        return;
    }
    friend_unread(r.m_friend, UTL_MastodonPart::Kind::kUnreadable, why, lasting);
}

void UTL_MastodonSource::give_up(const std::string& why) {
    m_failure_text = why;
    // A globe with people on it keeps them; its fetch only stops.
    m_phase = Phase::kFailed;
    m_refreshing = false;
    // NOTE: without people, the host says it once as the reason nobody arrived.
    if (m_ego_shown) std::fprintf(stderr, "nimbra: %s\n", why.c_str());
}

// --- Status -------------------------------------------------------------------------------------

size_t UTL_MastodonSource::hidden_count() const {
    size_t n = 0;
    for (const Friend& f : m_friends)
        n += f.m_current && f.m_part.m_kind == UTL_MastodonPart::Kind::kHidden;
    return n;
}

size_t UTL_MastodonSource::unreadable_count() const {
    size_t n = 0;
    for (const Friend& f : m_friends)
        n += f.m_current && f.m_part.m_kind == UTL_MastodonPart::Kind::kUnreadable;
    return n;
}

std::string UTL_MastodonSource::progress_text() const {
    const int percent = m_parts_total ? m_parts_done * 100 / m_parts_total : 100;
    return "follows of " + with_commas(m_parts_done) + " of " + with_commas(m_parts_total) +
           " friends read (" + std::to_string(percent) + " %)";
}

// What the network shown lacks, and why.
std::string UTL_MastodonSource::remark_text() const {
    std::string remark;
    const auto add = [&remark](const std::string& text) {
        remark += (remark.empty() ? "" : "; ") + text;
    };
    const size_t hidden = hidden_count();
    if (hidden > 0)
        add(counted(hidden, "friend") +
            (hidden == 1 ? " hides their follows" : " hide their follows"));
    const size_t unreadable = unreadable_count();
    if (unreadable > 0) {
        std::set<std::string> reasons;
        for (const Friend& f : m_friends)
            if (f.m_current && f.m_part.m_kind == UTL_MastodonPart::Kind::kUnreadable)
                reasons.insert(f.m_part.m_reason);
        std::string why = *reasons.begin();
        if (reasons.size() > 1) why += ", and more";
        add(counted(unreadable, "friend") + (unreadable == 1 ? "'s follows" : "' follows") +
            " could not be read (" + why + ")");
    }
    if (m_unusable > 0) add(counted(m_unusable, "account") + " cannot be shown");
    return remark;
}

// The servers that hold things up now: their rate limits and their failures.
std::string UTL_MastodonSource::servers_text() const {
    std::string text;
    int said = 0;
    const Clock::time_point t = now();
    for (const auto& [origin, s] : m_servers) {
        if (s.m_gave_up || (s.m_ready.empty() && s.m_retry.empty())) continue;
        std::string line;
        if (!s.m_reason.empty() && !s.m_waits.calm()) {
            const int seconds = s.m_waits.seconds_left(t);
            line = s.m_name + " does not answer (" + s.m_reason + "), trying again" +
                   (seconds > 0 ? " in " + std::to_string(seconds) + " s" : "…");
        } else if (m_pacer.paused(origin, t)) {
            const double left =
                std::chrono::duration<double>(m_pacer.paused_until(origin) - t).count();
            const std::time_t at = wall_now() + static_cast<std::time_t>(std::ceil(left));
            line = s.m_name + "'s rate limit is reached, going on at " + clock_text(at, "%H:%M:%S");
        }
        if (line.empty()) continue;
        if (++said > 2) {
            text += "; and more";
            break;
        }
        text += "; " + line;
    }
    return text;
}

std::string UTL_MastodonSource::status_text() const {
    if (m_phase == Phase::kFailed) return m_failure_text;
    if (m_phase == Phase::kDone) return m_failure_text.empty() ? remark_text() : m_failure_text;
    // The person's own server, before the friends are known, is all there is to say.
    if (m_phase != Phase::kPairs) {
        for (const std::string& origin : m_own) {
            const auto it = m_servers.find(origin);
            if (it == m_servers.end() || it->second.m_reason.empty() || it->second.m_waits.calm())
                continue;
            const int seconds = it->second.m_waits.seconds_left(now());
            return "Cannot reach the Mastodon server " + it->second.m_name + " (" +
                   it->second.m_reason + "); trying again" +
                   (seconds > 0 ? " in " + std::to_string(seconds) + " s" : "…");
        }
    }
    std::string step;
    switch (m_phase) {
        case Phase::kLookup:
            step = "looking up " + m_ego.m_uid + "…";
            break;
        case Phase::kEgo:
            step = "reading whom " + m_ego.m_uid + " follows and who follows them…";
            break;
        default:
            step = progress_text();
            break;
    }
    std::string text;
    if (m_refreshing && m_cache_time > 0) {
        text = "Mastodon: from the cache of " + clock_text(m_cache_time, "%Y-%m-%d %H:%M") +
               "; refreshing" + (m_phase == Phase::kPairs ? ": " + step : "");
    } else if (m_cache_time > 0 && m_phase == Phase::kPairs) {
        text = "Mastodon: resuming: " + step;
    } else {
        text = "Mastodon: " + step;
    }
    return text + servers_text();
}

std::string UTL_MastodonSource::failure_text() const {
    if (!m_failure_text.empty()) return m_failure_text;
    for (const std::string& origin : m_own) {
        const auto it = m_servers.find(origin);
        if (it != m_servers.end() && !it->second.m_reason.empty())
            return "the Mastodon server " + it->second.m_name + " did not answer (" +
                   it->second.m_reason + ")";
    }
    return "still reading the network of " + m_ego.m_uid;
}

// Offscreen runs print each new state once: a new step, a new wait, every tenth of the friends.
void UTL_MastodonSource::report_status() {
    if (!m_options.m_print_status) return;
    std::string key;
    if (m_phase == Phase::kFailed) {
        key = "failed";
    } else if (m_phase == Phase::kPairs) {
        key = "pairs " + std::to_string(m_parts_total ? m_parts_done * 10 / m_parts_total : 0);
    } else {
        key = std::to_string(static_cast<int>(m_phase));
    }
    for (const auto& [origin, s] : m_servers)
        if (!s.m_waits.calm()) key += " " + origin + std::to_string(s.m_waits.round());
    if (key == m_reported) return;
    m_reported = key;
    if (m_phase == Phase::kFailed) return;  // give_up() or the host says it
    std::string text = status_text();
    if (m_phase == Phase::kDone) text = everything_in_text(m_friends.size(), m_lines.size(), text);
    std::fprintf(stderr, "nimbra: %s\n", text.c_str());
}

// --- Helpers ------------------------------------------------------------------------------------

bool UTL_MastodonSource::waiting() const {
    if (!m_sent.empty() || !m_arrived.empty() || finished()) return false;
    const Clock::time_point t = now();
    bool work = false;
    for (const auto& [origin, s] : m_servers) {
        if (s.m_gave_up || (s.m_ready.empty() && s.m_retry.empty())) continue;
        work = true;
        const bool held =
            s.m_waits.waiting(t) || m_pacer.paused(origin, t) || m_pacer.left(origin, t) == 0;
        if (!held) return false;
    }
    return work;
}

std::map<std::string, int> UTL_MastodonSource::requests_by_server() const {
    std::map<std::string, int> out;
    for (const auto& [origin, s] : m_servers) out[s.m_name] += s.m_requests;
    return out;
}

int UTL_MastodonSource::lower_bound() const {
    int bound = 1 + pages_for(std::max(0L, m_ego.m_following_count), m_max_pages) +
                pages_for(std::max(0L, m_ego.m_followers_count), m_max_pages);
    for (const Friend& f : m_friends) {
        if (!f.m_current) continue;
        if (f.m_person.domain() != m_ego.domain()) ++bound;
        const long following =
            f.m_home_following >= 0 ? f.m_home_following : f.m_person.m_following_count;
        if (f.m_part.m_kind != UTL_MastodonPart::Kind::kHidden)
            bound += pages_for(std::max(0L, following), m_max_pages);
    }
    return bound;
}

UTL_MastodonSource::Clock::time_point UTL_MastodonSource::now() const {
    return m_options.m_clock ? m_options.m_clock() : Clock::now();
}

std::time_t UTL_MastodonSource::wall_now() const {
    return m_options.m_wall_clock ? m_options.m_wall_clock() : std::time(nullptr);
}
