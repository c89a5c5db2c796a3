// UTL_Acquisition: fetches the user's social graph from the service and feeds the controller:
// login, the friends, everyone's name and photos, then the friendships batch by batch.
#pragma once

#include "app/service_connection.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class UTL_SimCtrlNimbra;
class UTL_SocialService;

// What the acquisition calls on the scene model: the controller in the application, a recorder
// in tests. Main thread only.
class UTL_AcquisitionTarget {
public:
    virtual ~UTL_AcquisitionTarget() = default;
    virtual void add_myself(const char* uid, const char* name, const char* pic,
                            const char* pic_square) = 0;
    virtual void add_friend(const char* uid, const char* name, const char* pic,
                            const char* pic_square) = 0;
    virtual void create_friends_locators() = 0;
    virtual void add_connections_for_myself() = 0;
    virtual void add_connection(const char* uid1, const char* uid2, float alpha,
                                bool highlighted) = 0;
    virtual int friend_count() const = 0;
    virtual const char* get_friend_id(int i) const = 0;
};

// Where the graph comes from and how fast it is fetched: the command line's part that belongs
// to the acquisition (the host parses its own options and hands these on).
struct UTL_AcquisitionOptions {
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
    // The next friendship batch goes when more frames than this have passed since a full one.
    unsigned int m_batch_frames = 500;
    // The kept session: "" the user's config directory; m_keep_session false: none at all.
    std::string m_session_path;
    bool m_keep_session = true;
    // First wait before a failed friends request is repeated; it doubles up to the maximum.
    int m_retry_delay_ms = 1000;
    int m_max_retry_delay_ms = 60000;
    long m_total_timeout_s = 60;

    // Takes NIMBRA_SERVICE, NIMBRA_API_KEY, NIMBRA_SECRET and NIMBRA_AUTH_TOKEN when set.
    void read_environment();
};

// One friendship batch as sent: the index of its first friend and its number of pairs.
struct UTL_AcquisitionBatch {
    unsigned int m_first = 0;
    unsigned int m_pairs = 0;
};

// Owned by the host; main thread only. The host calls start() once when it is ready for
// people, and tick() once per frame after the controller's update.
class UTL_Acquisition : public UTL_ServiceConnectionDelegate {
public:
    using TitleCallback = std::function<void(const std::string&)>;

    // controller is borrowed and must outlive the acquisition; title receives the window title.
    UTL_Acquisition(UTL_SimCtrlNimbra* controller, TitleCallback title,
                    const UTL_AcquisitionOptions& options);
    // The same with any target (borrowed).
    UTL_Acquisition(UTL_AcquisitionTarget* target, TitleCallback title,
                    const UTL_AcquisitionOptions& options);
    ~UTL_Acquisition() override;
    UTL_Acquisition(const UTL_Acquisition&) = delete;
    UTL_Acquisition& operator=(const UTL_Acquisition&) = delete;

    // The controller the answers go to, for a host that starts the acquisition before its
    // controller exists (borrowed; answers wait in tick() until then).
    void set_controller(UTL_SimCtrlNimbra* controller);
    // Starts the embedded service when no other is named, then the kept session or a login.
    // False with a reason in error when the graph file or the service cannot be used; the
    // globe then stays empty and the program goes on.
    bool start(std::string& error);
    // Per frame: hands over the answers that arrived, repeats a failed friends request when
    // its time has come, and sends the next friendship batch when it is due.
    void tick();

    // --- The conversation -------------------------------------------------------------------
    void userLoginSuccessful() override;
    void userLoginFailed(const std::string& reason) override;
    void requestFriends();
    void gotFriends(const UTL_ServiceAnswer& answer);
    void requestUserInfo(const std::string& uids);
    void gotUserInfo(const UTL_ServiceAnswer& answer);
    void requestAreFriends();
    void requestAreFriends(const std::string& uids1, const std::string& uids2);
    void gotAreFriends(const UTL_ServiceAnswer& answer);

    // --- State, for the host and the tests ----------------------------------------------------
    UTL_ServiceConnection* connection() { return m_connection.get(); }
    UTL_SocialService* embedded_service() { return m_service.get(); }
    const std::vector<UTL_AcquisitionBatch>& sent_batches() const { return m_sent_batches; }
    const std::string& last_uids1() const { return m_last_uids1; }
    const std::string& last_uids2() const { return m_last_uids2; }
    int answered_batches() const { return m_answered_batches; }
    int failed_friends_requests() const { return m_failed_friends_requests; }
    // Every person has arrived (the user-info answer was handled).
    bool people_loaded() const { return m_people_loaded; }
    // The last batch was sent and every batch has been answered (or has failed).
    bool friendships_loaded() const;

    // The friendship-batch pacing, kept here alone: the host counts no frames of its own.
    unsigned int m_last_conn_idx = 0;              // first friend of the next batch
    bool m_need_more_connections_request = false;  // a full batch went and pairs remain
    unsigned int m_request_time_counter = 0;       // tick() calls since the last full batch

private:
    // A full batch holds whole rows of pairs until it has more than this many.
    static constexpr int kBatchPairs = 800;

    // The logged-in user's uid, "" before the login.
    std::string my_uid() const;
    void send(const UTL_ServiceParameters& parameters,
              void (UTL_Acquisition::*handler)(const UTL_ServiceAnswer&));

    std::unique_ptr<UTL_AcquisitionTarget> m_own_target;  // the controller's adapter
    UTL_AcquisitionTarget* m_target;                      // borrowed or m_own_target
    TitleCallback m_title;
    UTL_AcquisitionOptions m_options;
    std::unique_ptr<UTL_SocialService> m_service;  // the embedded service, when used
    std::unique_ptr<UTL_ServiceConnection> m_connection;

    bool m_friends_retry_pending = false;
    std::chrono::steady_clock::time_point m_friends_retry_at;
    int m_friends_retry_delay_ms = 0;
    int m_failed_friends_requests = 0;
    bool m_people_loaded = false;
    bool m_last_batch_sent = false;
    int m_answered_batches = 0;
    std::vector<UTL_AcquisitionBatch> m_sent_batches;
    std::string m_last_uids1;
    std::string m_last_uids2;
};
