// UTL_SocialService: a social service on HTTP that answers the application's signed REST calls
// (login, friends, people, friendships) about one UTL_SocialNetwork and serves its portraits.
#pragma once

#include "service/social_network.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

// The credentials compiled into the application for its built-in service; the stand-alone
// service accepts them unless told otherwise, so the two work together without options.
constexpr const char* kNimbraApiKey = "6e1b0f3c9a7d45e2b8c4d1f0a3e5b7c9";
constexpr const char* kNimbraSecret = "d4a9e1f7c3b2058e6a1d9c7f4b3e2a10";

// Built on the caller's thread, then served by cpp-httplib's thread pool: the network is only
// read there; tokens, counters and the portrait cache sit under m_lock.
class UTL_SocialService {
public:
    // The application's credentials that calls must carry and be signed with.
    UTL_SocialService(UTL_SocialNetwork network, const std::string& api_key,
                      const std::string& secret);
    ~UTL_SocialService();
    UTL_SocialService(const UTL_SocialService&) = delete;
    UTL_SocialService& operator=(const UTL_SocialService&) = delete;

    // Listens on address and port (0: a free port) and serves on a thread of its own. Answers
    // the port, or -1 when it cannot listen (start_error() says why). A port another program
    // listens on is refused: two services on one port would share its calls between them.
    int start(const std::string& address, int port);
    const std::string& start_error() const { return m_start_error; }
    // Stops listening and joins the serving thread. Also run by the destructor.
    void stop();
    int port() const { return m_port; }
    // "http://<address>:<port>/restserver.php": where the REST calls go.
    std::string rest_url() const;
    // A login token that is always approved: the one a person would copy from the service's
    // page into the application. Drawn at random for each service, so it is known only to
    // whoever sees it printed.
    const std::string& standing_token() const { return m_standing_token; }
    // "" or, when the user has more friends than one answer may hold, a sentence saying so.
    std::string cut_warning() const;

    // The XML answer to one call given its form fields. base is the "http://host:port" the
    // photo addresses start with. Any thread.
    std::string answer(const std::map<std::string, std::string>& fields, const std::string& base);
    // A portrait's JPEG bytes for a photo path ("/photos/<uid>.jpg" or "/photos/<uid>_q.jpg"),
    // or "" when there is no such photo.
    std::string photo(const std::string& path);

    const UTL_SocialNetwork& network() const { return m_network; }
    // Calls answered so far for a method (any answer, errors included).
    int calls(const std::string& method) const;

    // The fields of an application/x-www-form-urlencoded body; the first of a repeated name
    // wins.
    static std::map<std::string, std::string> parse_form(const std::string& body);
    static std::string error_xml(int code, const std::string& message);
    static std::string xml_escape(const std::string& text);

private:
    std::string answer_method(const std::string& method,
                              const std::map<std::string, std::string>& fields,
                              const std::string& base);
    std::string session_key_for(const std::string& uid) const;
    std::string photo_url(const UTL_ServicePerson& person, bool square,
                          const std::string& base) const;

    UTL_SocialNetwork m_network;
    std::string m_api_key;
    std::string m_secret;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::string m_address;
    int m_port = -1;
    std::string m_start_error;
    std::string m_standing_token;

    mutable std::mutex m_lock;
    std::set<std::string> m_tokens;  // issued by auth.createToken, not yet exchanged
    std::map<std::string, int> m_calls;
    std::map<std::string, std::string> m_photo_cache;
};
