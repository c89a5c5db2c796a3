// UTL_Acquisition: the login, the friends, user-info and are-friends requests and their answers,
// the batch pacing, and the embedded service that answers them when no other is named.
#include "app/acquisition.h"

#include "controller/sim_ctrl_nimbra.h"
#include "service/demo_network.h"
#include "service/graph_file.h"
#include "service/social_service.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The controller as an acquisition target.
class ControllerTarget : public UTL_AcquisitionTarget {
public:
    explicit ControllerTarget(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}
    void add_myself(const char* uid, const char* name, const char* pic,
                    const char* pic_square) override {
        m_controller->add_myself(uid, name, pic, pic_square);
    }
    void add_friend(const char* uid, const char* name, const char* pic,
                    const char* pic_square) override {
        m_controller->add_friend(uid, name, pic, pic_square);
    }
    void create_friends_locators() override { m_controller->create_friends_locators(); }
    void add_connections_for_myself() override { m_controller->add_connections_for_myself(); }
    void add_connection(const char* uid1, const char* uid2, float alpha,
                        bool highlighted) override {
        m_controller->add_connection(uid1, uid2, alpha, highlighted);
    }
    int friend_count() const override { return static_cast<int>(m_controller->m_friends.size()); }
    const char* get_friend_id(int i) const override { return m_controller->get_friend_id(i); }

private:
    UTL_SimCtrlNimbra* m_controller;  // borrowed
};

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] ? value : nullptr;
}

}  // namespace

// --- Options -----------------------------------------------------------------------------------

void UTL_AcquisitionOptions::read_environment() {
    if (const char* v = environment("NIMBRA_SERVICE")) m_service_url = v;
    if (const char* v = environment("NIMBRA_API_KEY")) m_api_key = v;
    if (const char* v = environment("NIMBRA_SECRET")) m_secret = v;
    if (const char* v = environment("NIMBRA_AUTH_TOKEN")) m_auth_token = v;
}

// --- Construction and destruction ----------------------------------------------------------------

UTL_Acquisition::UTL_Acquisition(UTL_SimCtrlNimbra* controller, TitleCallback title,
                                 const UTL_AcquisitionOptions& options)
    : m_own_target(controller ? new ControllerTarget(controller) : nullptr),
      m_target(m_own_target.get()),
      m_title(std::move(title)),
      m_options(options) {}

UTL_Acquisition::UTL_Acquisition(UTL_AcquisitionTarget* target, TitleCallback title,
                                 const UTL_AcquisitionOptions& options)
    : m_target(target), m_title(std::move(title)), m_options(options) {}

UTL_Acquisition::~UTL_Acquisition() {
    // The worker goes first: no answer may arrive for an acquisition that is gone.
    m_connection.reset();
    m_service.reset();
}

void UTL_Acquisition::set_controller(UTL_SimCtrlNimbra* controller) {
    m_own_target.reset(controller ? new ControllerTarget(controller) : nullptr);
    m_target = m_own_target.get();
}

bool UTL_Acquisition::start(std::string& error) {
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
        if (m_service->start("127.0.0.1", 0) < 0) {
            error = "cannot start the embedded social service";
            m_service.reset();
            return false;
        }
        endpoint.m_url = m_service->rest_url();
    }

    m_connection = std::make_unique<UTL_ServiceConnection>(api_key, secret, this);
    m_connection->set_endpoint(endpoint);
    m_connection->set_session_path(m_options.m_session_path);
    m_connection->set_keep_session(m_options.m_keep_session);
    if (!m_connection->loadPersistentSession()) m_connection->login();
    return true;
}

// --- Per frame ---------------------------------------------------------------------------------

void UTL_Acquisition::tick() {
    if (!m_connection) return;
    m_connection->dispatch_answers();
    if (m_friends_retry_pending && std::chrono::steady_clock::now() >= m_friends_retry_at) {
        m_friends_retry_pending = false;
        requestFriends();
    }
    m_request_time_counter += 1;
    if (m_request_time_counter > m_options.m_batch_frames && m_need_more_connections_request) {
        requestAreFriends();
    }
}

bool UTL_Acquisition::friendships_loaded() const {
    return m_last_batch_sent && m_answered_batches == static_cast<int>(m_sent_batches.size());
}

// --- The conversation ----------------------------------------------------------------------------

void UTL_Acquisition::userLoginSuccessful() { requestFriends(); }

void UTL_Acquisition::userLoginFailed(const std::string& reason) {
    std::fprintf(stderr, "Facebook login failed\n");
    if (!reason.empty()) std::fprintf(stderr, "  (%s)\n", reason.c_str());
}

void UTL_Acquisition::requestFriends() {
    send({{"method", "facebook.friends.get"}}, &UTL_Acquisition::gotFriends);
}

void UTL_Acquisition::gotFriends(const UTL_ServiceAnswer& answer) {
    if (!answer.valid_response()) {
        // A service that keeps failing must not be asked again at once forever: wait 1, 2, 4
        // ... seconds, up to the maximum, and say so each time.
        ++m_failed_friends_requests;
        m_friends_retry_delay_ms =
            m_friends_retry_delay_ms == 0
                ? m_options.m_retry_delay_ms
                : std::min(m_friends_retry_delay_ms * 2, m_options.m_max_retry_delay_ms);
        std::fprintf(stderr, "nimbra: the friends request failed (%s); asking again in %.1f s\n",
                     answer.error_text().c_str(), m_friends_retry_delay_ms / 1000.0);
        m_friends_retry_pending = true;
        m_friends_retry_at =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(m_friends_retry_delay_ms);
        return;
    }
    m_friends_retry_delay_ms = 0;
    std::string s = my_uid();
    for (const std::string& uid :
         UTL_ServiceAnswer::array_from_xml_element(answer.root_element())) {
        s += "," + uid;
    }
    requestUserInfo(s);
}

void UTL_Acquisition::requestUserInfo(const std::string& uids) {
    send({{"method", "facebook.users.getInfo"},
          {"uids", uids},
          {"fields", "name,status,pic,pic_big,pic_small,pic_square"}},
         &UTL_Acquisition::gotUserInfo);
}

void UTL_Acquisition::gotUserInfo(const UTL_ServiceAnswer& answer) {
    if (!answer.valid_response()) return;
    pugi::xml_node root = answer.root_element();
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
            m_target->create_friends_locators();
        }
    }
    if (m_target) m_target->add_connections_for_myself();
    m_people_loaded = true;
    requestAreFriends();
}

void UTL_Acquisition::requestAreFriends() {
    // Pairs of friends row by row, (0,1) (0,2) ... (1,2) ..., whole rows per batch until it
    // holds more than kBatchPairs pairs.
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
    m_request_time_counter = 0;
    m_need_more_connections_request = true;
    m_sent_batches.push_back({static_cast<unsigned int>(first), static_cast<unsigned int>(count)});
    requestAreFriends(a, b);
}

void UTL_Acquisition::requestAreFriends(const std::string& uids1, const std::string& uids2) {
    m_last_uids1 = uids1;
    m_last_uids2 = uids2;
    send({{"method", "facebook.friends.areFriends"}, {"uids1", uids1}, {"uids2", uids2}},
         &UTL_Acquisition::gotAreFriends);
}

void UTL_Acquisition::gotAreFriends(const UTL_ServiceAnswer& answer) {
    ++m_answered_batches;
    if (!answer.valid_response()) {
        std::fprintf(stderr, "gotAreFriends failed\n");
        std::fprintf(stderr, "  (%s)\n", answer.error_text().c_str());
        return;
    }
    for (pugi::xml_node entry = answer.root_element().first_child(); entry;
         entry = entry.next_sibling()) {
        if (entry.type() != pugi::node_element) continue;
        std::map<std::string, std::string> info =
            UTL_ServiceAnswer::dictionary_from_xml_element(entry);
        if (m_target && info["are_friends"] == "1") {
            m_target->add_connection(info["uid1"].c_str(), info["uid2"].c_str(), 0.4f, false);
        }
    }
}

// --- Helpers -----------------------------------------------------------------------------------

std::string UTL_Acquisition::my_uid() const {
    return m_connection ? m_connection->uid() : std::string();
}

void UTL_Acquisition::send(const UTL_ServiceParameters& parameters,
                           void (UTL_Acquisition::*handler)(const UTL_ServiceAnswer&)) {
    if (!m_connection) return;
    UTL_ServiceRequest* request = new UTL_ServiceRequest;
    request->set_connection(m_connection.get());
    request->set_parameters(parameters);
    request->set_handler(
        [this, handler](const UTL_ServiceAnswer& answer) { (this->*handler)(answer); });
    request->send_request();
}
