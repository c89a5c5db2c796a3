// UTL_ServiceConnection: the signed REST conversation with the social service (login, a kept
// session, requests sent by a few worker threads), UTL_ServiceRequest and the XML answer wrapper.
#pragma once

#include <pugixml.hpp>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using UTL_ServiceParameters = std::map<std::string, std::string>;

// One answer of the service: the parsed XML document, or why there is none.
class UTL_ServiceAnswer {
public:
    // Parses body. expected_root names the root element the method answers with ("" = any).
    void parse(const std::string& body, const std::string& expected_root);
    // No answer came: message says what happened instead ("connection refused", "HTTP 500").
    void set_failure(const std::string& message);

    // True for a parsed document whose root is the method's answer, not the service's
    // "error_response" (nor a document of some other kind, such as a proxy's error page).
    bool valid_response() const;
    pugi::xml_node root_element() const { return m_document.document_element(); }
    // Why the answer is not valid, in a person's terms: what the transport or the HTTP server
    // said, what kind of text came instead of an answer ("an HTML page"), or the service's
    // error_code and error_msg.
    std::string error_text() const;
    // The service's error_code of an "error_response", else 0.
    int error_code() const;

    // The text of every child element, in document order.
    static std::vector<std::string> array_from_xml_element(const pugi::xml_node& element);
    // Keeps, of the root element's child elements, only those keep() accepts (the root and its
    // attributes stay): a large answer of which little is used shrinks to that little.
    void keep_children(const std::function<bool(const pugi::xml_node&)>& keep);

    // Child element name -> its text, for the children of element (a later repeat wins).
    static std::map<std::string, std::string> dictionary_from_xml_element(
        const pugi::xml_node& element);
    // Every child element read as a dictionary, in document order.
    static std::vector<std::map<std::string, std::string>> dictionary_array_from_xml_element(
        const pugi::xml_node& element);

private:
    pugi::xml_document m_document;
    bool m_parsed = false;
    std::string m_expected_root;
    std::string m_failure;
};

class UTL_ServiceConnection;

// One REST call: the parameter dictionary ("method" names the REST method) and what to call
// with the answer. Created with new; send() hands it to the connection, which deletes it after
// the handler ran on the main thread.
class UTL_ServiceRequest {
public:
    using Handler = std::function<void(const UTL_ServiceAnswer&)>;

    UTL_ServiceRequest() = default;
    void set_connection(UTL_ServiceConnection* connection) { m_connection = connection; }
    void set_parameters(const UTL_ServiceParameters& parameters) { m_parameters = parameters; }
    void set_handler(Handler handler) { m_handler = std::move(handler); }
    // Runs on the worker right after the answer has been read, before the answer waits for
    // the main thread: it may only touch the answer.
    void set_worker_step(std::function<void(UTL_ServiceAnswer&)> step) {
        m_worker_step = std::move(step);
    }
    // Main thread. Signs the call and queues it; never blocks on the network.
    void send_request();

    // The root element name a method answers with: "facebook.friends.get" ->
    // "friends_get_response", "auth.getSession" -> "auth_getSession_response".
    static std::string expected_root(const std::string& method);

private:
    friend class UTL_ServiceConnection;
    UTL_ServiceConnection* m_connection = nullptr;  // borrowed
    UTL_ServiceParameters m_parameters;
    Handler m_handler;
    std::function<void(UTL_ServiceAnswer&)> m_worker_step;
    std::string m_form;  // the signed form body, filled by send_request()
    std::string m_expected_root;
    UTL_ServiceAnswer m_answer;  // written by the worker, read by the main thread
};

// The host side of the login; both run on the main thread from dispatch_answers().
class UTL_ServiceConnectionDelegate {
public:
    virtual ~UTL_ServiceConnectionDelegate() = default;
    virtual void userLoginSuccessful() = 0;
    virtual void userLoginFailed(const std::string& reason) = 0;
};

// Where a connection talks to and how long it waits.
struct UTL_ServiceEndpoint {
    std::string m_url;         // the REST endpoint, e.g. "http://127.0.0.1:8080/restserver"
    std::string m_service_id;  // names the service in the session file (the URL by default)
    std::string m_auth_token;  // a login token the user approved at the service, or ""
    long m_connect_timeout_s = 10;
    long m_total_timeout_s = 60;
    size_t m_max_answer_bytes = 64u << 20;  // larger answers are cut off and fail
};

// Owned by the host. The host's thread (the main thread) calls everything except the workers,
// which only send forms and parse answers; answers reach their handlers, in the order they
// arrived, from dispatch_answers(), which the host calls once per frame.
class UTL_ServiceConnection {
public:
    // Requests that may be on the wire at once, each worker with a connection of its own.
    static constexpr int kWorkers = 4;

    // delegate is borrowed and must outlive the connection.
    UTL_ServiceConnection(const std::string& api_key, const std::string& secret,
                          UTL_ServiceConnectionDelegate* delegate, int workers = kWorkers);
    ~UTL_ServiceConnection();
    UTL_ServiceConnection(const UTL_ServiceConnection&) = delete;
    UTL_ServiceConnection& operator=(const UTL_ServiceConnection&) = delete;

    void set_endpoint(const UTL_ServiceEndpoint& endpoint);
    const UTL_ServiceEndpoint& endpoint() const { return m_endpoint; }
    // The file that keeps the session ("" = default_session_path()).
    void set_session_path(const std::string& path) { m_session_path = path; }
    // Without a kept session nothing is read or written (tests, a one-off token login).
    void set_keep_session(bool keep) { m_keep_session = keep; }

    // Restores a session kept by an earlier run for this service and API key. True when one
    // was found; it is then checked with the service, which ends in userLoginSuccessful, or,
    // when the service no longer knows it, in a fresh login.
    bool loadPersistentSession();
    // Logs in without typing: with the approved token when one is configured, otherwise by
    // asking the service for a token and then for its session. Ends in userLoginSuccessful or
    // userLoginFailed.
    void login();
    // Forgets the session, here and in the file that keeps it: the service no longer knows it.
    void drop_session();
    // The service's error code of the last failed login (0: no answer came at all).
    int login_error_code() const { return m_login_error_code; }

    const std::string& uid() const { return m_uid; }
    const std::string& session_key() const { return m_session_key; }

    // Main thread: runs the handlers of the answers that have arrived (the oldest first, at
    // most max of them, every one by default); answers the count.
    int dispatch_answers(int max = -1);
    // Requests sent and not yet dispatched.
    int pending_requests() const;
    // Stops the workers (transfers in progress are abandoned) and joins them; requests still
    // queued are dropped without their handlers. Also run by the destructor.
    void shutdown();

    // $XDG_CONFIG_HOME/nimbra/session, else $HOME/.config/nimbra/session ("" without either).
    static std::string default_session_path();

private:
    friend class UTL_ServiceRequest;
    void queue(UTL_ServiceRequest* request);
    void worker_loop();
    void transfer(void* curl, UTL_ServiceRequest* request);
    void send_method(const UTL_ServiceParameters& parameters, UTL_ServiceRequest::Handler handler);
    void request_session(const std::string& token);
    void session_answered(const UTL_ServiceAnswer& answer);
    void login_failed(const UTL_ServiceAnswer& answer, const std::string& reason);
    void save_session() const;
    void forget_session() const;
    std::string session_path() const;

    std::string m_api_key;
    std::string m_secret;
    UTL_ServiceConnectionDelegate* m_delegate;  // borrowed
    UTL_ServiceEndpoint m_endpoint;
    std::string m_session_path;
    bool m_keep_session = true;
    std::string m_uid;
    std::string m_session_key;
    int m_login_error_code = 0;
    unsigned long long m_last_call_id = 0;

    // Shared with the workers, under m_lock.
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<UTL_ServiceRequest*> m_outgoing;
    std::deque<UTL_ServiceRequest*> m_answered;
    int m_in_flight = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_workers;
};
