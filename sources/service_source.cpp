// UTL_ServiceSource: the login, the friends, user-info and are-friends requests and their answers,
// the batch pacing, the waits and new attempts after failures, the status line, and the
// embedded service that answers them when no other is named.
//   Options, construction, start · Per frame · The conversation · Requests and their answers ·
//   Failures · Status · Helpers
#include "sources/service_source.h"

#include "service/data_lines.h"
#include "service/demo_network.h"
#include "service/graph_file.h"
#include "service/social_service.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] ? value : nullptr;
}

// Protocol error codes that decide what a failure means.
constexpr int kErrorApiKey = 101;     // the application's key is not known there
constexpr int kErrorSession = 102;    // the session is no longer valid
constexpr int kErrorSignature = 104;  // the application's secret is not the service's
constexpr int kErrorToken = 105;      // the login token is not approved

// "http://127.0.0.1:8080/restserver.php" -> "127.0.0.1:8080".
std::string host_and_port(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find('/', start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

// --- Options, construction, start -------------------------------------------------------------

void UTL_ServiceSourceOptions::read_environment() {
    if (const char* v = environment("NIMBRA_SERVICE")) m_service_url = v;
    if (const char* v = environment("NIMBRA_API_KEY")) m_api_key = v;
    if (const char* v = environment("NIMBRA_SECRET")) m_secret = v;
    if (const char* v = environment("NIMBRA_AUTH_TOKEN")) m_auth_token = v;
}

UTL_ServiceSource::UTL_ServiceSource(UTL_SimCtrlNimbra* controller, TitleCallback title,
                                     const UTL_ServiceSourceOptions& options)
    : UTL_NetworkSource(controller, std::move(title)), m_options(options) {}

UTL_ServiceSource::UTL_ServiceSource(UTL_AcquisitionTarget* target, TitleCallback title,
                                     const UTL_ServiceSourceOptions& options)
    : UTL_NetworkSource(target, std::move(title)), m_options(options) {}

UTL_ServiceSource::~UTL_ServiceSource() {
    // The workers go first: no answer may arrive for an acquisition that is gone.
    m_connection.reset();
    m_service.reset();
}

void UTL_ServiceSource::shutdown() {
    if (m_connection) m_connection->shutdown();
}

bool UTL_ServiceSource::local_photos() const { return m_options.m_service_url.empty(); }

std::string UTL_ServiceSource::fresh_photos() const {
    return m_service ? "http://127.0.0.1:" + std::to_string(m_service->port()) + "/photos/" : "";
}

bool UTL_ServiceSource::start(std::string& error) {
    std::string api_key = m_options.m_api_key.empty() ? kNimbraApiKey : m_options.m_api_key;
    std::string secret = m_options.m_secret.empty() ? kNimbraSecret : m_options.m_secret;
    UTL_ServiceEndpoint endpoint;
    endpoint.m_url = m_options.m_service_url;
    endpoint.m_auth_token = m_options.m_auth_token;
    endpoint.m_total_timeout_s = m_options.m_total_timeout_s;

    if (m_options.m_service_url.empty()) {
        UTL_SocialNetwork network;
        if (m_options.m_graph_file.empty()) {
            network = make_demo_network();
            endpoint.m_service_id = "embedded demo";
        } else {
            std::vector<std::string> warnings;
            const bool loaded = UTL_GraphFile::load({m_options.m_graph_file,
                                                     m_options.m_people_file,
                                                     m_options.m_ego,
                                                     m_options.m_mutual_only,
                                                     {}},
                                                    network, error, warnings);
            for (const std::string& w : warnings) std::fprintf(stderr, "nimbra: %s\n", w.c_str());
            if (!loaded) return false;
            endpoint.m_service_id =
                "embedded " + m_options.m_graph_file + " " + network.ego()->m_uid;
        }
        m_service = std::make_unique<UTL_SocialService>(std::move(network), api_key, secret);
        const std::string cut = m_service->cut_warning();
        if (!cut.empty()) std::fprintf(stderr, "nimbra: warning: %s\n", cut.c_str());
        if (m_service->start("127.0.0.1", 0) < 0) {
            error = "cannot start the embedded social service: " + m_service->start_error();
            m_service.reset();
            return false;
        }
        endpoint.m_url = m_service->rest_url();
    }
    m_service_url = endpoint.m_url;

    m_connection = std::make_unique<UTL_ServiceConnection>(api_key, secret, this);
    m_connection->set_endpoint(endpoint);
    m_connection->set_session_path(m_options.m_session_path);
    m_connection->set_keep_session(m_options.m_keep_session);
    start_login();
    report_status();
    return true;
}

// --- Per frame ---------------------------------------------------------------------------------

void UTL_ServiceSource::tick() {
    if (!m_connection) return;
    add_deferred();
    m_connection->dispatch_answers();
    log_failed_batches();
    pump();
    check_done();
    report_status();
}

// NOTE: the answers are taken, and the next batches sent, while the renderer draws; the work
// for one answer is a walk over its entries, and the friendships it finds are only kept here.
// The scene changes between frames alone, in tick().
void UTL_ServiceSource::tick_while_drawing(int max) {
    if (!m_connection || m_phase != Phase::kFriendships) return;
    m_deferring = true;
    m_connection->dispatch_answers(max);
    pump();
    m_deferring = false;
}

void UTL_ServiceSource::add_deferred() {
    if (m_deferred.empty()) return;
    for (const auto& [uid1, uid2] : m_deferred)
        if (m_target) m_target->add_connection(uid1.c_str(), uid2.c_str(), 0.4f, false);
    m_deferred.clear();
    check_done();
}

bool UTL_ServiceSource::friendships_loaded() const {
    return m_last_batch_sent && m_batches_outstanding == 0 && m_retry.empty() && m_early.empty() &&
           m_deferred.empty();
}

// NOTE: while the service does not answer, one request at a time probes it; the others wait
// in m_retry, so an outage costs one request per wait and not a flood of them.
void UTL_ServiceSource::pump() {
    if (!m_connection || finished()) return;
    const Clock::time_point t = now();
    if (t < m_resume_at) return;
    if (m_login_wanted && !m_login_pending) {
        m_login_wanted = false;
        start_login();
    }
    if (!m_logged_in) return;
    const bool probing = m_wait_ms > 0;
    while (!m_retry.empty()) {
        if (probing && m_outstanding > 0) return;
        if (m_retry.front().m_kind == Request::kBatch && !batch_may_go(t)) return;
        Request request = m_retry.front();
        m_retry.pop_front();
        if (request.m_kind == Request::kBatch) {
            m_last_batch_at = t;
            m_batch_sent_yet = true;
        }
        send(request);
    }
    while (m_phase == Phase::kFriendships && m_need_more_connections_request) {
        if (probing && m_outstanding > 0) return;
        if (!batch_may_go(t)) return;
        requestAreFriends();
    }
}

bool UTL_ServiceSource::batch_may_go(Clock::time_point t) const {
    if (m_interval_s > 0.0) {
        return !m_batch_sent_yet ||
               t - m_last_batch_at >= std::chrono::duration<double>(m_interval_s);
    }
    return m_batches_outstanding < kBatchesInFlight;
}

void UTL_ServiceSource::check_done() {
    if (m_phase == Phase::kFriendships && friendships_loaded()) m_phase = Phase::kDone;
}

// --- The conversation ----------------------------------------------------------------------------

void UTL_ServiceSource::start_login() {
    m_login_pending = true;
    m_login_round = m_round;
    if (!m_connection->loadPersistentSession()) m_connection->login();
}

void UTL_ServiceSource::userLoginSuccessful() {
    m_login_pending = false;
    m_logged_in = true;
    Request login;
    login.m_kind = Request::kLogin;
    login.m_round = m_login_round;
    succeeded(login);
    // After a new login in the middle of the conversation, the requests it interrupted go
    // again from m_retry; the conversation does not start over.
    if (!m_friends_asked) requestFriends();
    pump();
}

void UTL_ServiceSource::userLoginFailed(const std::string& reason) {
    m_login_pending = false;
    Request login;
    login.m_kind = Request::kLogin;
    login.m_round = m_login_round;
    failed(login, reason, m_connection ? m_connection->login_error_code() : 0);
}

void UTL_ServiceSource::requestFriends() {
    m_friends_asked = true;
    Request request;
    request.m_kind = Request::kFriends;
    send(request);
}

void UTL_ServiceSource::gotFriends(const Request&, const UTL_ServiceAnswer& answer) {
    pugi::xml_node root = answer.root_element();
    std::vector<std::string> uids = UTL_ServiceAnswer::array_from_xml_element(root);
    // A service says how many friends the user has when it gives fewer, and that it has no
    // rate limit when it has none.
    m_friends_given = uids.size();
    m_friends_total = std::max<size_t>(m_friends_given, root.attribute("total").as_ullong(0));
    if (m_options.m_batch_interval_s >= 0.0) {
        m_interval_s = m_options.m_batch_interval_s;
    } else {
        m_interval_s = std::strcmp(root.attribute("rate_limit").value(), "none") == 0
                           ? 0.0
                           : kDefaultBatchInterval;
    }
    std::string s = my_uid();
    for (const std::string& uid : uids) s += "," + uid;
    m_phase = Phase::kPeople;
    requestUserInfo(s);
}

void UTL_ServiceSource::requestUserInfo(const std::string& uids) {
    Request request;
    request.m_kind = Request::kUserInfo;
    request.m_uids1 = uids;
    send(request);
}

void UTL_ServiceSource::gotUserInfo(const Request&, const UTL_ServiceAnswer& answer) {
    pugi::xml_node root = answer.root_element();
    // NOTE: the people are laid out once, right after the answer's last friend: no frame comes
    // between two people of one answer, so a layout after each of them (thousands of layouts of
    // thousands of people) would end in the same places, the user's included.
    pugi::xml_node last_friend;
    const std::string me = my_uid();
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && child.child("uid").text().get() != me)
            last_friend = child;
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::map<std::string, std::string> user =
            UTL_ServiceAnswer::dictionary_from_xml_element(child);
        const std::string& uid = user["uid"];
        const std::string& name = user["name"];
        const std::string& pic = user["pic"];
        const std::string& pic_square = user["pic_square"];
        // pic_big and pic_small are asked for but not shown.
        if (uid == my_uid()) {
            if (m_title) m_title("Nimbra | " + name);
            if (m_target)
                m_target->add_myself(uid.c_str(), name.c_str(), pic.c_str(), pic_square.c_str());
        } else if (m_target) {
            m_target->add_friend(uid.c_str(), name.c_str(), pic.c_str(), pic_square.c_str());
            if (child == last_friend) m_target->create_friends_locators();
        }
    }
    if (m_target) m_target->add_connections_for_myself();
    m_people_loaded = true;
    m_phase = Phase::kFriendships;
    const unsigned long long n = m_target ? static_cast<unsigned>(m_target->friend_count()) : 0;
    m_pairs_total = n > 1 ? n * (n - 1) / 2 : 0;
    requestAreFriends();
    pump();
    check_done();
}

void UTL_ServiceSource::requestAreFriends() {
    // Pairs of friends row by row, (0,1) (0,2) ... (1,2) ..., whole rows per batch until it
    // holds more than 800 pairs.
    const int kBatchPairs = 800;
    int n = m_target ? m_target->friend_count() : 0;
    std::string a, b;
    m_need_more_connections_request = false;
    int i = static_cast<int>(m_last_conn_idx);
    int first = i;
    int count = 0;
    do {
        if (i >= n - 1) {
            m_last_batch_sent = true;
            if (count >= 1) {
                m_sent_batches.push_back(
                    {static_cast<unsigned int>(first), static_cast<unsigned int>(count)});
                requestAreFriends(a, b);
            }
            return;
        }
        std::string u = m_target->get_friend_id(i);
        i = i + 1;
        for (int j = i; j <= n - 1; ++j) {
            const char* v = m_target->get_friend_id(j);
            if (count > 0) {
                a += ',';
                b += ',';
            }
            a += u;
            b += v;
            count = count + 1;
        }
    } while (count <= kBatchPairs);
    m_last_conn_idx = static_cast<unsigned int>(i);
    // A full batch that ends with the last row leaves no pairs for another.
    m_need_more_connections_request = i < n - 1;
    if (!m_need_more_connections_request) m_last_batch_sent = true;
    m_sent_batches.push_back({static_cast<unsigned int>(first), static_cast<unsigned int>(count)});
    requestAreFriends(a, b);
}

void UTL_ServiceSource::requestAreFriends(const std::string& uids1, const std::string& uids2) {
    m_last_uids1 = uids1;
    m_last_uids2 = uids2;
    Request request;
    request.m_kind = Request::kBatch;
    request.m_uids1 = uids1;
    request.m_uids2 = uids2;
    request.m_pairs = static_cast<unsigned>(std::count(uids1.begin(), uids1.end(), ',') + 1);
    request.m_seq = static_cast<int>(m_sent_batches.size()) - 1;
    m_last_batch_at = now();
    m_batch_sent_yet = true;
    send(request);
}

void UTL_ServiceSource::gotAreFriends(const Request& request, const UTL_ServiceAnswer& answer) {
    m_pairs_answered += request.m_pairs;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (pugi::xml_node entry = answer.root_element().first_child(); entry;
         entry = entry.next_sibling()) {
        if (entry.type() != pugi::node_element) continue;
        // Read field by field rather than as a dictionary: a frame may take hundreds of these
        // answers with a thousand entries each.
        if (std::strcmp(entry.child_value("are_friends"), "1") == 0)
            pairs.emplace_back(entry.child_value("uid1"), entry.child_value("uid2"));
    }
    if (request.m_seq < 0) {
        add_friendships(pairs);
    } else if (request.m_seq != m_next_seq) {
        m_early[request.m_seq] = std::move(pairs);
    } else {
        add_friendships(pairs);
        ++m_next_seq;
        for (auto next = m_early.find(m_next_seq); next != m_early.end();
             next = m_early.find(m_next_seq)) {
            add_friendships(next->second);
            m_early.erase(next);
            ++m_next_seq;
        }
    }
    check_done();
}

void UTL_ServiceSource::add_friendships(
    const std::vector<std::pair<std::string, std::string>>& pairs) {
    ++m_answered_batches;
    m_friendships_found += pairs.size();
    if (m_deferring) {
        m_deferred.insert(m_deferred.end(), pairs.begin(), pairs.end());
        return;
    }
    for (const auto& [uid1, uid2] : pairs)
        if (m_target) m_target->add_connection(uid1.c_str(), uid2.c_str(), 0.4f, false);
}

// --- Requests and their answers ----------------------------------------------------------------

void UTL_ServiceSource::send(Request request) {
    if (!m_connection) return;
    request.m_round = m_round;
    UTL_ServiceParameters parameters;
    switch (request.m_kind) {
        case Request::kFriends:
            parameters = {{"method", "facebook.friends.get"}};
            break;
        case Request::kUserInfo:
            parameters = {{"method", "facebook.users.getInfo"},
                          {"uids", request.m_uids1},
                          {"fields", "name,status,pic,pic_big,pic_small,pic_square"}};
            break;
        case Request::kBatch:
            parameters = {{"method", "facebook.friends.areFriends"},
                          {"uids1", request.m_uids1},
                          {"uids2", request.m_uids2}};
            ++m_batches_outstanding;
            break;
        case Request::kLogin:
            return;  // the connection logs in by itself
    }
    ++m_outstanding;
    UTL_ServiceRequest* q = new UTL_ServiceRequest;
    q->set_connection(m_connection.get());
    q->set_parameters(parameters);
    if (request.m_kind == Request::kBatch) {
        // Hundreds of answers may wait for the next frame; of each only the pairs that are
        // friends (a few in a hundred) are used, and a whole parsed answer is half a megabyte.
        q->set_worker_step([](UTL_ServiceAnswer& answer) {
            if (!answer.valid_response()) return;
            answer.keep_children([](const pugi::xml_node& entry) {
                return std::strcmp(entry.child_value("are_friends"), "1") == 0;
            });
        });
    }
    q->set_handler([this, request](const UTL_ServiceAnswer& answer) { answered(request, answer); });
    q->send_request();
}

void UTL_ServiceSource::gotFriends(const UTL_ServiceAnswer& answer) {
    Request request;
    request.m_kind = Request::kFriends;
    take(request, answer);
}

void UTL_ServiceSource::gotUserInfo(const UTL_ServiceAnswer& answer) {
    Request request;
    request.m_kind = Request::kUserInfo;
    take(request, answer);
}

void UTL_ServiceSource::gotAreFriends(const UTL_ServiceAnswer& answer) {
    Request request;
    request.m_kind = Request::kBatch;
    for (pugi::xml_node entry : answer.root_element().children()) {
        request.m_pairs += entry.type() == pugi::node_element;
    }
    take(request, answer);
}

void UTL_ServiceSource::answered(const Request& request, const UTL_ServiceAnswer& answer) {
    --m_outstanding;
    if (request.m_kind == Request::kBatch) --m_batches_outstanding;
    take(request, answer);
}

void UTL_ServiceSource::take(const Request& request, const UTL_ServiceAnswer& answer) {
    if (m_phase == Phase::kFailed) return;
    if (!answer.valid_response()) {
        failed(request, answer.error_text(), answer.error_code());
        return;
    }
    succeeded(request);
    switch (request.m_kind) {
        case Request::kFriends:
            gotFriends(request, answer);
            break;
        case Request::kUserInfo:
            gotUserInfo(request, answer);
            break;
        case Request::kBatch:
            gotAreFriends(request, answer);
            break;
        case Request::kLogin:
            break;
    }
}

// --- Failures ----------------------------------------------------------------------------------

void UTL_ServiceSource::failed(const Request& request, const std::string& reason, int error_code) {
    if (m_phase == Phase::kFailed) return;
    ++m_failed_requests;
    // Wrong credentials stay wrong however often they are tried.
    if (error_code == kErrorApiKey || error_code == kErrorSignature ||
        (error_code == kErrorToken && request.m_kind == Request::kLogin &&
         !m_options.m_auth_token.empty())) {
        if (request.m_kind == Request::kLogin) std::fprintf(stderr, "Facebook login failed\n");
        give_up("The social service at " + m_service_url + " refused the application (" + reason +
                ")");
        return;
    }
    if (request.m_kind == Request::kLogin) {
        m_login_wanted = true;
    } else {
        m_retry.push_back(request);
    }
    m_reason = reason;
    // Requests sent before the last failure fail with it and say nothing new: only a failure
    // of a request sent since makes the wait longer (or drops a session, which could otherwise
    // be the new one already).
    bool give_up_now = false;
    if (request.m_round == m_round) {
        if (error_code == kErrorSession && m_connection) {
            // A stale session: forget it and log in again before the request goes again.
            m_connection->drop_session();
            m_logged_in = false;
            m_login_wanted = true;
        }
        ++m_round;
        ++m_failures_in_a_row;
        m_wait_ms = m_wait_ms == 0 ? m_options.m_retry_delay_ms
                                   : std::min(m_wait_ms * 2, m_options.m_max_retry_delay_ms);
        m_resume_at = now() + std::chrono::milliseconds(m_wait_ms);
        give_up_now =
            m_options.m_give_up_after > 0 && m_failures_in_a_row >= m_options.m_give_up_after;
    }

    const std::string again =
        give_up_now ? std::string("giving up")
                    : "asking again in " + std::to_string(seconds_until_retry()) + " s";
    switch (request.m_kind) {
        case Request::kLogin:
            std::fprintf(stderr, "Facebook login failed\n  (%s; %s)\n", reason.c_str(),
                         again.c_str());
            break;
        case Request::kFriends:
            std::fprintf(stderr, "nimbra: the friends request failed (%s); %s\n", reason.c_str(),
                         again.c_str());
            break;
        case Request::kUserInfo:
            std::fprintf(stderr, "nimbra: the user-info request failed (%s); %s\n", reason.c_str(),
                         again.c_str());
            break;
        case Request::kBatch:
            m_failed_batch_reasons.push_back(reason);
            break;
    }
    if (give_up_now) {
        m_phase = Phase::kFailed;  // before the batches' line, which then says so
        log_failed_batches();
        give_up("Cannot reach the social service at " + m_service_url + " (" + reason +
                "); gave up after " + std::to_string(m_failures_in_a_row) + " attempts");
    }
}

void UTL_ServiceSource::succeeded(const Request& request) {
    if (request.m_round != m_round) return;  // sent before the last failure: says nothing now
    m_wait_ms = 0;
    m_failures_in_a_row = 0;
    m_reason.clear();
}

void UTL_ServiceSource::give_up(const std::string& why) {
    m_phase = Phase::kFailed;
    m_failure_text = why;
    std::fprintf(stderr, "nimbra: %s\n", why.c_str());
}

// The batches that failed in one frame, one entry per reason: with hundreds in flight, an
// outage would otherwise print hundreds of lines at once.
void UTL_ServiceSource::log_failed_batches() {
    if (m_failed_batch_reasons.empty()) return;
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (const std::string& reason : m_failed_batch_reasons)
        if (counts[reason]++ == 0) order.push_back(reason);
    m_failed_batch_reasons.clear();
    const std::string again =
        m_phase == Phase::kFailed
            ? std::string("giving up")
            : "asking again in " + std::to_string(seconds_until_retry()) + " s";
    for (const std::string& reason : order) {
        const int n = counts[reason];
        std::fprintf(stderr, "gotAreFriends failed\n  (%s%s; %s)\n", reason.c_str(),
                     n > 1 ? (", " + std::to_string(n) + " batches").c_str() : "", again.c_str());
    }
}

// --- Status ------------------------------------------------------------------------------------

std::string UTL_ServiceSource::status_text() const {
    if (m_phase == Phase::kFailed) return m_failure_text;
    if (!m_reason.empty()) {
        const int seconds = seconds_until_retry();
        return "Cannot reach the social service at " + m_service_url + " (" + m_reason +
               "); trying again" + (seconds > 0 ? " in " + std::to_string(seconds) + " s" : "…");
    }
    const std::string cut = m_friends_total > m_friends_given
                                ? "showing " + with_commas(m_friends_given) + " of " +
                                      with_commas(m_friends_total) + " friends"
                                : "";
    switch (m_phase) {
        case Phase::kLogin:
            return "Connecting to " + host_and_port(m_service_url) + "…";
        case Phase::kPeople:
            return "Loading " + counted(m_friends_given, "friend") + "…" +
                   (cut.empty() ? "" : " (" + cut + ")");
        case Phase::kFriendships: {
            const unsigned long long percent =
                m_pairs_total ? m_pairs_answered * 100 / m_pairs_total : 100;
            return "Friendships: " + with_commas(m_pairs_answered) + " of " +
                   with_commas(m_pairs_total) + " pairs asked (" + std::to_string(percent) + " %)" +
                   (cut.empty() ? "" : "; " + cut);
        }
        case Phase::kDone:
            return cut;
        case Phase::kFailed:
            break;
    }
    return "";
}

std::string UTL_ServiceSource::failure_text() const {
    if (m_phase == Phase::kFailed) return m_failure_text;
    if (!m_reason.empty()) {
        return "the social service at " + m_service_url + " did not answer (" + m_reason + ")";
    }
    switch (m_phase) {
        case Phase::kLogin:
            return "still logging in at " + m_service_url;
        case Phase::kPeople:
            return "still waiting for the people from " + m_service_url;
        case Phase::kFriendships:
            return "still asking " + m_service_url + " for the friendships";
        default:
            return "the service at " + m_service_url + " sent nobody";
    }
}

// Offscreen runs print each new state once: a new step, a new wait, every tenth of the pairs.
void UTL_ServiceSource::report_status() {
    if (!m_options.m_print_status) return;
    std::string key;
    if (m_phase == Phase::kFailed) {
        key = "failed";
    } else if (!m_reason.empty()) {
        key = "wait " + std::to_string(m_round);
    } else if (m_phase == Phase::kFriendships) {
        key = "pairs " + std::to_string(m_pairs_total ? m_pairs_answered * 10 / m_pairs_total : 0);
    } else {
        key = std::to_string(static_cast<int>(m_phase));
    }
    if (key == m_reported) return;
    m_reported = key;
    if (m_phase == Phase::kFailed) return;  // give_up() has said it
    std::string text = status_text();
    if (m_phase == Phase::kDone) {
        text = everything_in_text(m_friends_given, m_friendships_found, text);
    }
    std::fprintf(stderr, "nimbra: %s\n", text.c_str());
}

// --- Helpers -----------------------------------------------------------------------------------

UTL_ServiceSource::Clock::time_point UTL_ServiceSource::now() const {
    return m_options.m_clock ? m_options.m_clock() : Clock::now();
}

int UTL_ServiceSource::seconds_until_retry() const {
    const double left = std::chrono::duration<double>(m_resume_at - now()).count();
    return left > 0.0 ? static_cast<int>(std::ceil(left)) : 0;
}

std::string UTL_ServiceSource::my_uid() const {
    return m_connection ? m_connection->uid() : std::string();
}
