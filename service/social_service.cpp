// UTL_SocialService: the REST methods, their checks and error answers, the photo route and the
// HTTP server around them.
#include "service/social_service.h"

#include "service/portrait.h"
#include "service/signature.h"

#include <httplib.h>
#include <openssl/rand.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <sstream>
#include <vector>

namespace {

// Protocol error codes.
constexpr int kErrorUnknown = 1;
constexpr int kErrorUnknownMethod = 3;
constexpr int kErrorParameter = 100;
constexpr int kErrorApiKey = 101;
constexpr int kErrorSession = 102;
constexpr int kErrorSignature = 104;
constexpr int kErrorToken = 105;

// A request body larger than this is refused before it is read.
constexpr size_t kMaxRequestBytes = 8u << 20;
// The most uids or pairs one call may ask about.
constexpr size_t kMaxItems = 200000;

std::vector<std::string> split_commas(const std::string& list) {
    std::vector<std::string> out;
    if (list.empty()) return out;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        out.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

std::string value_of(const std::map<std::string, std::string>& fields, const std::string& name) {
    auto found = fields.find(name);
    return found == fields.end() ? "" : found->second;
}

const char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// "http://" and the Host header when it is a plain host name and port, else the fallback.
std::string base_of(const httplib::Request& req, const std::string& fallback) {
    std::string host = req.get_header_value("Host");
    if (host.empty() || host.size() > 255) return fallback;
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != ':' && c != '-' &&
            c != '[' && c != ']') {
            return fallback;
        }
    }
    return "http://" + host;
}

// 32 hexadecimal digits from the system's cryptographic source.
std::string random_token() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
        // NOTE: OpenSSL seeds itself from the kernel; if even that fails, no guessable token
        // is made up: the service then has no standing token at all.
        return "";
    }
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

// Why address:port cannot be listened on, asked of the system with a socket of our own.
std::string bind_failure(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = address + ":" + std::to_string(port);
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        return "no address " + address + " here";
    }
    std::string why = "cannot listen on " + where;
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd >= 0) {
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        if (bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
            if (errno == EADDRINUSE) {
                why = "port " + std::to_string(port) + " of " + address +
                      " is already in use by another program";
            } else if (errno == EADDRNOTAVAIL) {
                why = "the address " + address + " is not one of this machine's";
            } else if (errno == EACCES) {
                why = "no permission to listen on port " + std::to_string(port);
            } else {
                why = "cannot listen on " + where + ": " + std::strerror(errno);
            }
        }
        close(fd);
    }
    freeaddrinfo(found);
    return why;
}

}  // namespace

// --- Construction and destruction --------------------------------------------------------------

UTL_SocialService::UTL_SocialService(UTL_SocialNetwork network, const std::string& api_key,
                                     const std::string& secret)
    : m_network(std::move(network)),
      m_api_key(api_key),
      m_secret(secret),
      m_standing_token(random_token()) {}

UTL_SocialService::~UTL_SocialService() { stop(); }

int UTL_SocialService::start(const std::string& address, int port) {
    stop();
    m_server = std::make_unique<httplib::Server>();
    httplib::Server& server = *m_server;
    server.set_payload_max_length(kMaxRequestBytes);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);
    // Answers leave at once instead of waiting for the next packet (Nagle), which would add
    // tens of milliseconds to every call on a kept-alive connection.
    server.set_tcp_nodelay(true);
    // NOTE: the library's default is SO_REUSEPORT, with which a second service binds the same
    // port and the kernel shares the calls between the two. SO_REUSEADDR alone still lets a
    // restarted service take its port back at once, but refuses a port in use.
    server.set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });

    // NOTE: the form is read here and not by the library, which refuses form bodies above
    // 8 KiB; a batch of friendship pairs is about 20 KiB.
    server.Post("/restserver.php", [this](const httplib::Request& req, httplib::Response& res,
                                          const httplib::ContentReader& reader) {
        std::string body;
        bool too_big = false;
        reader([&](const char* data, size_t n) {
            if (body.size() + n > kMaxRequestBytes) {
                too_big = true;
                return false;
            }
            body.append(data, n);
            return true;
        });
        if (too_big) {
            res.status = 413;
            return;
        }
        std::map<std::string, std::string> fields = parse_form(body);
        for (const auto& [name, value] : req.params) fields.emplace(name, value);
        std::string fallback = "http://" + m_address + ":" + std::to_string(m_port);
        res.set_content(answer(fields, base_of(req, fallback)), "text/xml; charset=utf-8");
    });
    server.Get("/restserver.php", [this](const httplib::Request& req, httplib::Response& res) {
        std::map<std::string, std::string> fields;
        for (const auto& [name, value] : req.params) fields.emplace(name, value);
        std::string fallback = "http://" + m_address + ":" + std::to_string(m_port);
        res.set_content(answer(fields, base_of(req, fallback)), "text/xml; charset=utf-8");
    });
    server.Get(R"(/photos/([A-Za-z0-9_.@-]+)\.jpg)",
               [this](const httplib::Request& req, httplib::Response& res) {
                   std::string bytes = photo(req.path);
                   if (bytes.empty()) {
                       res.status = 404;
                       res.set_content("no such photo\n", "text/plain");
                       return;
                   }
                   res.set_content(bytes, "image/jpeg");
               });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 200;
            res.set_content(error_xml(kErrorUnknown, "Unknown error"), "text/xml; charset=utf-8");
        });

    m_address = address;
    m_start_error.clear();
    m_port = port == 0 ? server.bind_to_any_port(address)
                       : (server.bind_to_port(address, port) ? port : -1);
    if (m_port <= 0) {
        m_server.reset();
        m_port = -1;
        m_start_error = bind_failure(address, port);
        return -1;
    }
    m_thread = std::thread([&server] { server.listen_after_bind(); });
    // NOTE: stop() only reaches a server that is already running, so wait for it here; the
    // socket listens since the bind, so no caller has to wait for this.
    for (int i = 0; i < 5000 && !server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_port;
}

void UTL_SocialService::stop() {
    if (m_server) m_server->stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
}

std::string UTL_SocialService::rest_url() const {
    return "http://" + m_address + ":" + std::to_string(m_port) + "/restserver.php";
}

std::string UTL_SocialService::cut_warning() const {
    const UTL_ServicePerson* ego = m_network.ego();
    if (!ego) return "";
    const size_t all = m_network.friend_count_of(ego->m_uid);
    const size_t given = m_network.friends().size();
    if (all <= given) return "";
    return "user " + ego->m_uid + " has " + std::to_string(all) + " friends; only the first " +
           std::to_string(given) + " are served";
}

// --- Answers -----------------------------------------------------------------------------------

std::string UTL_SocialService::answer(const std::map<std::string, std::string>& fields,
                                      const std::string& base) {
    std::string method = value_of(fields, "method");
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_calls.size() < 64 || m_calls.count(method)) ++m_calls[method];
    }
    if (value_of(fields, "api_key") != m_api_key) return error_xml(kErrorApiKey, "Invalid API key");
    std::string sig = value_of(fields, "sig");
    if (sig.empty() || sig != request_signature(fields, m_secret)) {
        return error_xml(kErrorSignature, "Incorrect signature");
    }
    if (method.empty()) return error_xml(kErrorParameter, "Invalid parameter: method");
    bool login = method == "auth.createToken" || method == "auth.getSession";
    const UTL_ServicePerson* ego = m_network.ego();
    if (!login && (!ego || value_of(fields, "session_key") != session_key_for(ego->m_uid))) {
        return error_xml(kErrorSession, "Session key invalid or no longer valid");
    }
    return answer_method(method, fields, base);
}

std::string UTL_SocialService::answer_method(const std::string& method,
                                             const std::map<std::string, std::string>& fields,
                                             const std::string& base) {
    std::ostringstream xml;
    xml << kXmlHead;
    const UTL_ServicePerson* ego = m_network.ego();

    if (method == "auth.createToken") {
        std::string token;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            // Tokens nobody exchanges must not pile up.
            if (m_tokens.size() >= 10000) m_tokens.clear();
            token = random_token();
            if (!token.empty()) m_tokens.insert(token);
        }
        xml << "<auth_createToken_response>" << token << "</auth_createToken_response>\n";
        return xml.str();
    }
    if (method == "auth.getSession") {
        std::string token = value_of(fields, "auth_token");
        bool known = !m_standing_token.empty() && token == m_standing_token;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            known = m_tokens.erase(token) > 0 || known;
        }
        if (!known) return error_xml(kErrorToken, "Invalid authorization token");
        if (!ego) return error_xml(kErrorUnknown, "The service has no user");
        xml << "<auth_getSession_response><session_key>" << session_key_for(ego->m_uid)
            << "</session_key><uid>" << xml_escape(ego->m_uid)
            << "</uid><expires>0</expires></auth_getSession_response>\n";
        return xml.str();
    }
    if (method == "users.getLoggedInUser") {
        xml << "<users_getLoggedInUser_response>" << xml_escape(ego->m_uid)
            << "</users_getLoggedInUser_response>\n";
        return xml.str();
    }
    if (method == "facebook.friends.get") {
        // total: the user's friends when the list is cut; rate_limit: batches of friendship
        // questions may come as fast as the application likes.
        xml << "<friends_get_response list=\"true\" total=\""
            << m_network.friend_count_of(ego->m_uid) << "\" rate_limit=\"none\">";
        for (const std::string& uid : m_network.friends())
            xml << "<uid>" << xml_escape(uid) << "</uid>";
        xml << "</friends_get_response>\n";
        return xml.str();
    }
    if (method == "facebook.users.getInfo") {
        std::vector<std::string> uids = split_commas(value_of(fields, "uids"));
        if (uids.empty() || uids.size() > kMaxItems) {
            return error_xml(kErrorParameter, "Invalid parameter: uids");
        }
        std::vector<std::string> wanted = split_commas(value_of(fields, "fields"));
        auto wants = [&](const char* name) {
            for (const std::string& f : wanted) {
                if (f == name) return true;
            }
            return false;
        };
        xml << "<users_getInfo_response list=\"true\">";
        for (const std::string& uid : uids) {
            const UTL_ServicePerson* p = m_network.find(uid);
            if (!p) continue;  // unknown people are left out, as the service does for strangers
            xml << "<user><uid>" << xml_escape(p->m_uid) << "</uid>";
            if (wants("name")) xml << "<name>" << xml_escape(p->m_name) << "</name>";
            if (wants("status")) xml << "<status></status>";
            std::string pic = xml_escape(photo_url(*p, false, base));
            if (wants("pic")) xml << "<pic>" << pic << "</pic>";
            if (wants("pic_big")) xml << "<pic_big>" << pic << "</pic_big>";
            if (wants("pic_small")) xml << "<pic_small>" << pic << "</pic_small>";
            if (wants("pic_square")) {
                xml << "<pic_square>" << xml_escape(photo_url(*p, true, base)) << "</pic_square>";
            }
            xml << "</user>";
        }
        xml << "</users_getInfo_response>\n";
        return xml.str();
    }
    if (method == "facebook.friends.areFriends") {
        std::vector<std::string> a = split_commas(value_of(fields, "uids1"));
        std::vector<std::string> b = split_commas(value_of(fields, "uids2"));
        if (a.empty() || a.size() != b.size() || a.size() > kMaxItems) {
            return error_xml(kErrorParameter, "Invalid parameter: uids1 and uids2");
        }
        xml << "<friends_areFriends_response list=\"true\">";
        for (size_t i = 0; i < a.size(); ++i) {
            xml << "<friend_info><uid1>" << xml_escape(a[i]) << "</uid1><uid2>" << xml_escape(b[i])
                << "</uid2><are_friends>" << (m_network.are_friends(a[i], b[i]) ? 1 : 0)
                << "</are_friends></friend_info>";
        }
        xml << "</friends_areFriends_response>\n";
        return xml.str();
    }
    return error_xml(kErrorUnknownMethod, "Unknown method");
}

std::string UTL_SocialService::photo(const std::string& path) {
    const std::string prefix = "/photos/", suffix = ".jpg";
    if (path.size() <= prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix)) {
        return "";
    }
    std::string name = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    bool square = name.size() > 2 && name.compare(name.size() - 2, 2, "_q") == 0;
    std::string uid = square ? name.substr(0, name.size() - 2) : name;
    const UTL_ServicePerson* p = m_network.find(uid);
    if (!p || !p->m_generated_photo) return "";
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto found = m_photo_cache.find(name);
        if (found != m_photo_cache.end()) return found->second;
    }
    std::string bytes = make_portrait_jpeg(uid, square);
    std::lock_guard<std::mutex> hold(m_lock);
    m_photo_cache[name] = bytes;
    return bytes;
}

int UTL_SocialService::calls(const std::string& method) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = m_calls.find(method);
    return found == m_calls.end() ? 0 : found->second;
}

// --- Helpers -----------------------------------------------------------------------------------

std::map<std::string, std::string> UTL_SocialService::parse_form(const std::string& body) {
    httplib::Params params;
    httplib::detail::parse_query_text(body, params);
    std::map<std::string, std::string> fields;
    for (const auto& [name, value] : params) fields.emplace(name, value);
    return fields;
}

std::string UTL_SocialService::error_xml(int code, const std::string& message) {
    return std::string(kXmlHead) + "<error_response><error_code>" + std::to_string(code) +
           "</error_code><error_msg>" + xml_escape(message) + "</error_msg></error_response>\n";
}

std::string UTL_SocialService::xml_escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // Control characters other than tab and line breaks are not allowed in XML.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    out += ' ';
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string UTL_SocialService::session_key_for(const std::string& uid) const {
    // Derived, not stored: a session stays valid across restarts of the same service and
    // network, which lets the application keep it, and names only this user.
    return md5_hex("session:" + m_secret + ":" + m_api_key + ":" + uid) + "-" +
           md5_hex(uid).substr(0, 8);
}

std::string UTL_SocialService::photo_url(const UTL_ServicePerson& person, bool square,
                                         const std::string& base) const {
    if (!person.m_generated_photo) return square ? person.m_pic_square : person.m_pic;
    return base + "/photos/" + person.m_uid + (square ? "_q" : "") + ".jpg";
}
