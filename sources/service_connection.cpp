// UTL_ServiceConnection: signed REST calls over HTTP POST (libcurl) on a few worker threads, XML
// answers (pugixml) handed to the main thread, the login and the session file.
//   UTL_ServiceAnswer · UTL_ServiceRequest · construction · per frame · login and the kept
//   session · requests · worker threads (the transfer and what a failed one is called)
#include "sources/service_connection.h"

#include "service/signature.h"
#include "sources/http_transfer.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

std::string form_escape(CURL* curl, const std::string& s) {
    char* escaped = curl_easy_escape(curl, s.c_str(), static_cast<int>(s.size()));
    std::string out = escaped ? escaped : "";
    curl_free(escaped);
    return out;
}

bool make_directory(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) return true;
    return errno == EEXIST;
}

// What came instead of an XML answer, said as a person would say it. stopped_at: where the
// XML parser gave up.
std::string describe_unreadable(const std::string& body, size_t stopped_at) {
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "an empty answer";
    if (http_starts_like_html(body)) return "an HTML page instead of the service's answer";
    if (body[first] == '<' && stopped_at + 1 >= body.size()) return "an answer that ends too early";
    return "an unreadable answer (" + std::to_string(body.size()) + " bytes that are not XML)";
}

}  // namespace

// --- UTL_ServiceAnswer ------------------------------------------------------------------------

void UTL_ServiceAnswer::parse(const std::string& body, const std::string& expected_root) {
    m_expected_root = expected_root;
    m_failure.clear();
    const pugi::xml_parse_result result = m_document.load_buffer(body.data(), body.size());
    m_parsed = static_cast<bool>(result);
    if (!m_parsed) m_failure = describe_unreadable(body, static_cast<size_t>(result.offset));
}

void UTL_ServiceAnswer::set_failure(const std::string& message) {
    m_parsed = false;
    m_failure = message;
}

bool UTL_ServiceAnswer::valid_response() const {
    if (!m_parsed) return false;
    pugi::xml_node root = root_element();
    if (!root) return false;
    if (std::strcmp(root.name(), "error_response") == 0) return false;
    return m_expected_root.empty() || m_expected_root == root.name();
}

int UTL_ServiceAnswer::error_code() const {
    if (!m_parsed) return 0;
    return root_element().child("error_code").text().as_int(0);
}

std::string UTL_ServiceAnswer::error_text() const {
    if (!m_parsed) return m_failure;
    pugi::xml_node root = root_element();
    if (!root) return "empty answer";
    if (std::strcmp(root.name(), "error_response") == 0) {
        return "error " + std::string(root.child_value("error_code")) + ": " +
               root.child_value("error_msg");
    }
    if (!valid_response()) {
        if (std::strcmp(root.name(), "html") == 0) {
            return "an HTML page instead of the service's answer";
        }
        return "an unexpected answer <" + std::string(root.name()) + ">";
    }
    return "";
}

void UTL_ServiceAnswer::keep_children(const std::function<bool(const pugi::xml_node&)>& keep) {
    if (!m_parsed) return;
    pugi::xml_node old_root = root_element();
    if (!old_root) return;
    pugi::xml_document kept;
    pugi::xml_node root = kept.append_child(old_root.name());
    for (pugi::xml_attribute a : old_root.attributes()) root.append_copy(a);
    for (pugi::xml_node child : old_root.children()) {
        if (child.type() == pugi::node_element && keep(child)) root.append_copy(child);
    }
    m_document.reset(kept);
}

std::vector<std::string> UTL_ServiceAnswer::array_from_xml_element(const pugi::xml_node& element) {
    std::vector<std::string> out;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) out.push_back(child.text().get());
    }
    return out;
}

std::map<std::string, std::string> UTL_ServiceAnswer::dictionary_from_xml_element(
    const pugi::xml_node& element) {
    std::map<std::string, std::string> out;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) out[child.name()] = child.text().get();
    }
    return out;
}

std::vector<std::map<std::string, std::string>>
UTL_ServiceAnswer::dictionary_array_from_xml_element(const pugi::xml_node& element) {
    std::vector<std::map<std::string, std::string>> out;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) out.push_back(dictionary_from_xml_element(child));
    }
    return out;
}

// --- UTL_ServiceRequest -----------------------------------------------------------------------

void UTL_ServiceRequest::send_request() {
    if (!m_connection) {
        delete this;
        return;
    }
    m_connection->queue(this);
}

std::string UTL_ServiceRequest::expected_root(const std::string& method) {
    std::string name = method;
    const std::string prefix = "facebook.";
    if (name.compare(0, prefix.size(), prefix) == 0) name = name.substr(prefix.size());
    for (char& c : name) {
        if (c == '.') c = '_';
    }
    return name + "_response";
}

// --- UTL_ServiceConnection: construction and destruction --------------------------------------

UTL_ServiceConnection::UTL_ServiceConnection(const std::string& api_key, const std::string& secret,
                                             UTL_ServiceConnectionDelegate* delegate, int workers)
    : m_api_key(api_key), m_secret(secret), m_delegate(delegate) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int i = 0; i < std::max(1, workers); ++i)
        m_workers.emplace_back(&UTL_ServiceConnection::worker_loop, this);
}

UTL_ServiceConnection::~UTL_ServiceConnection() { shutdown(); }

void UTL_ServiceConnection::shutdown() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        if (worker.joinable()) worker.join();
    std::lock_guard<std::mutex> hold(m_lock);
    for (UTL_ServiceRequest* r : m_outgoing) delete r;
    for (UTL_ServiceRequest* r : m_answered) delete r;
    m_outgoing.clear();
    m_answered.clear();
    m_in_flight = 0;
}

void UTL_ServiceConnection::set_endpoint(const UTL_ServiceEndpoint& endpoint) {
    m_endpoint = endpoint;
    if (m_endpoint.m_service_id.empty()) m_endpoint.m_service_id = m_endpoint.m_url;
}

// --- Per frame ---------------------------------------------------------------------------------

int UTL_ServiceConnection::dispatch_answers(int max) {
    // Takes the answers present now; answers arriving meanwhile wait for the next call, so a
    // handler that sends a request cannot keep this loop going.
    std::deque<UTL_ServiceRequest*> ready;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (max < 0 || static_cast<size_t>(max) >= m_answered.size()) {
            ready.swap(m_answered);
        } else {
            for (int i = 0; i < max; ++i) {
                ready.push_back(m_answered.front());
                m_answered.pop_front();
            }
        }
        m_in_flight -= static_cast<int>(ready.size());
    }
    int count = 0;
    while (!ready.empty()) {
        std::unique_ptr<UTL_ServiceRequest> request(ready.front());
        ready.pop_front();
        if (request->m_handler) request->m_handler(request->m_answer);
        ++count;
    }
    return count;
}

int UTL_ServiceConnection::pending_requests() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_in_flight;
}

// --- Login and the kept session ----------------------------------------------------------------

bool UTL_ServiceConnection::loadPersistentSession() {
    if (!m_keep_session) return false;
    std::ifstream in(session_path());
    if (!in) return false;
    std::map<std::string, std::string> kept;
    std::string line;
    while (std::getline(in, line)) {
        size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        kept[line.substr(0, space)] = line.substr(space + 1);
    }
    if (kept["service"] != m_endpoint.m_service_id || kept["api_key"] != m_api_key ||
        kept["session_key"].empty() || kept["uid"].empty()) {
        return false;
    }
    m_session_key = kept["session_key"];
    m_uid = kept["uid"];
    // The service decides whether the session still holds.
    send_method({{"method", "users.getLoggedInUser"}}, [this](const UTL_ServiceAnswer& answer) {
        if (answer.valid_response() && m_uid == answer.root_element().text().get()) {
            if (m_delegate) m_delegate->userLoginSuccessful();
        } else if (answer.error_code() != 0 || answer.valid_response()) {
            // The service refused the session: log in afresh.
            forget_session();
            m_session_key.clear();
            m_uid.clear();
            login();
        } else {
            login_failed(answer, answer.error_text());
        }
    });
    return true;
}

void UTL_ServiceConnection::login() {
    m_login_error_code = 0;
    m_session_key.clear();
    m_uid.clear();
    if (!m_endpoint.m_auth_token.empty()) {
        request_session(m_endpoint.m_auth_token);
        return;
    }
    send_method({{"method", "auth.createToken"}}, [this](const UTL_ServiceAnswer& answer) {
        std::string token = answer.valid_response() ? answer.root_element().text().get() : "";
        if (token.empty()) {
            login_failed(answer, answer.valid_response() ? "no login token in the answer"
                                                         : answer.error_text());
            return;
        }
        request_session(token);
    });
}

void UTL_ServiceConnection::request_session(const std::string& token) {
    send_method({{"method", "auth.getSession"}, {"auth_token", token}},
                [this](const UTL_ServiceAnswer& answer) { session_answered(answer); });
}

void UTL_ServiceConnection::session_answered(const UTL_ServiceAnswer& answer) {
    std::string key, uid;
    if (answer.valid_response()) {
        key = answer.root_element().child("session_key").text().get();
        uid = answer.root_element().child("uid").text().get();
    }
    if (key.empty() || uid.empty()) {
        login_failed(answer,
                     answer.valid_response() ? "answer without a session" : answer.error_text());
        return;
    }
    m_session_key = key;
    m_uid = uid;
    save_session();
    if (m_delegate) m_delegate->userLoginSuccessful();
}

void UTL_ServiceConnection::login_failed(const UTL_ServiceAnswer& answer,
                                         const std::string& reason) {
    m_login_error_code = answer.error_code();
    if (m_delegate) m_delegate->userLoginFailed(reason);
}

void UTL_ServiceConnection::drop_session() {
    forget_session();
    m_session_key.clear();
    m_uid.clear();
}

std::string UTL_ServiceConnection::default_session_path() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/nimbra/session";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.config/nimbra/session";
    return "";
}

std::string UTL_ServiceConnection::session_path() const {
    return m_session_path.empty() ? default_session_path() : m_session_path;
}

void UTL_ServiceConnection::save_session() const {
    if (!m_keep_session) return;
    std::string path = session_path();
    size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos || slash == 0) return;
    // Creates the missing directories; only the last, our own, is made private.
    std::string dir = path.substr(0, slash);
    for (size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1)) {
        mkdir(dir.substr(0, at).c_str(), 0755);
    }
    if (!make_directory(dir)) return;
    chmod(dir.c_str(), 0700);

    // Written beside and renamed over, so a crash never leaves half a session behind.
    std::string temp = path + ".new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    fchmod(fd, 0600);
    std::string text = "service " + m_endpoint.m_service_id + "\napi_key " + m_api_key + "\nuid " +
                       m_uid + "\nsession_key " + m_session_key + "\n";
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
}

void UTL_ServiceConnection::forget_session() const {
    if (!m_keep_session) return;
    std::string path = session_path();
    if (!path.empty()) unlink(path.c_str());
}

// --- Requests ---------------------------------------------------------------------------------

void UTL_ServiceConnection::send_method(const UTL_ServiceParameters& parameters,
                                        UTL_ServiceRequest::Handler handler) {
    UTL_ServiceRequest* request = new UTL_ServiceRequest;
    request->set_connection(this);
    request->set_parameters(parameters);
    request->set_handler(std::move(handler));
    request->send_request();
}

void UTL_ServiceConnection::queue(UTL_ServiceRequest* request) {
    UTL_ServiceParameters fields = request->m_parameters;
    fields["api_key"] = m_api_key;
    fields["v"] = "1.0";
    if (!m_session_key.empty()) fields["session_key"] = m_session_key;
    // call_id grows with every call, also when the clock does not.
    unsigned long long now =
        static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
    m_last_call_id = now > m_last_call_id ? now : m_last_call_id + 1;
    fields["call_id"] = std::to_string(m_last_call_id);
    fields["sig"] = request_signature(fields, m_secret);

    CURL* escaper = curl_easy_init();
    std::string form;
    for (const auto& [name, value] : fields) {
        if (!form.empty()) form += '&';
        form += form_escape(escaper, name) + "=" + form_escape(escaper, value);
    }
    curl_easy_cleanup(escaper);
    request->m_form = std::move(form);
    request->m_expected_root = UTL_ServiceRequest::expected_root(fields["method"]);

    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stop) {
            delete request;
            return;
        }
        m_outgoing.push_back(request);
        ++m_in_flight;
    }
    m_wake.notify_one();
}

// --- Worker thread -----------------------------------------------------------------------------

void UTL_ServiceConnection::worker_loop() {
    CURL* curl = curl_easy_init();  // reused, so this worker's calls share a kept-alive connection
    for (;;) {
        UTL_ServiceRequest* request = nullptr;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_stop || !m_outgoing.empty(); });
            if (m_stop) break;
            request = m_outgoing.front();
            m_outgoing.pop_front();
        }
        transfer(curl, request);
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stop) {
            delete request;
            break;
        }
        m_answered.push_back(request);
    }
    if (curl) curl_easy_cleanup(curl);
}

void UTL_ServiceConnection::transfer(void* handle, UTL_ServiceRequest* request) {
    CURL* curl = static_cast<CURL*>(handle);
    if (!curl) {
        request->m_answer.set_failure("no HTTP client");
        return;
    }
    UTL_AnswerBuffer buffer;
    buffer.m_max_bytes = m_endpoint.m_max_answer_bytes;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, m_endpoint.m_url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request->m_form.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request->m_form.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, http_write_answer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, m_endpoint.m_connect_timeout_s);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, m_endpoint.m_total_timeout_s);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, http_stop_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &m_stop);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Nimbra/1.0");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        request->m_answer.set_failure(
            buffer.m_too_big ? "answer too large"
                             : http_describe_failure(curl, code, m_endpoint.m_connect_timeout_s,
                                                     m_endpoint.m_total_timeout_s));
        return;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        request->m_answer.set_failure("HTTP " + std::to_string(status));
        return;
    }
    request->m_answer.parse(buffer.m_body, request->m_expected_root);
    if (request->m_worker_step) request->m_worker_step(request->m_answer);
}
