// TestFediverse and TestMastodon: the truth of the test fediverse, and one server's view of it
// over HTTP: its accounts, the follows it knows, its ids, Link paging on its own host name,
// WebFinger, avatars, the rate limit on the moved clock, anonymous reads refused, and faults.
#include "tests/support/mastodon_server.h"
#include "tests/support/wait.h"

#include <nlohmann/json.hpp>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

using json = nlohmann::json;

std::atomic<long> g_servers{0};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string user_of(const std::string& uid) { return uid.substr(0, uid.find('@')); }
std::string domain_of(const std::string& uid) { return uid.substr(uid.find('@') + 1); }

// The colour an account's avatar has, drawn from its uid.
void colour_of(const std::string& uid, unsigned char rgb[3]) {
    const size_t h = std::hash<std::string>()(uid);
    rgb[0] = static_cast<unsigned char>(h);
    rgb[1] = static_cast<unsigned char>(h >> 8);
    rgb[2] = static_cast<unsigned char>(h >> 16);
}

void append_png(png_structp png, png_bytep data, png_size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}

void not_found(httplib::Response& res) {
    res.status = 404;
    res.set_content(R"({"error":"Record not found"})", "application/json");
}

}  // namespace

// --- TestFediverse ------------------------------------------------------------------------------

void TestFediverse::add(const Account& account) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_index[account.uid] = static_cast<int>(m_people.size());
    m_people.push_back({account, {}, {}});
}

void TestFediverse::follow(const std::string& a, const std::string& b) {
    std::lock_guard<std::mutex> hold(m_lock);
    const int from = m_index.at(a), to = m_index.at(b);
    if (!m_follow_set.insert({from, to}).second) return;
    m_follow_list.emplace_back(from, to);
    const int number = static_cast<int>(m_follow_list.size());
    m_people[from].follows.push_back(number);
    m_people[to].followers.push_back(number);
}

void TestFediverse::set_host(const std::string& domain, const std::string& host) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_hosts[domain] = host;
}

std::string TestFediverse::host_of(const std::string& domain) const {
    const auto it = m_hosts.find(domain);
    return it == m_hosts.end() ? domain : it->second;
}

std::set<std::string> TestFediverse::friends_of(const std::string& uid) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::set<std::string> out;
    const int me = m_index.at(uid);
    for (const int n : m_people[me].follows) {
        const int other = m_follow_list[n - 1].second;
        if (m_follow_set.count({other, me})) out.insert(m_people[other].account.uid);
    }
    return out;
}

std::set<std::pair<std::string, std::string>> TestFediverse::lines_of(
    const std::string& uid, const std::set<std::string>& unread) const {
    const std::set<std::string> friends = friends_of(uid);
    std::lock_guard<std::mutex> hold(m_lock);
    std::set<std::pair<std::string, std::string>> out;
    for (const std::string& a : friends) {
        for (const std::string& b : friends) {
            if (!(a < b) || (unread.count(a) && unread.count(b))) continue;
            const int ia = m_index.at(a), ib = m_index.at(b);
            if (m_follow_set.count({ia, ib}) && m_follow_set.count({ib, ia})) out.insert({a, b});
        }
    }
    return out;
}

// --- TestMastodon: construction -----------------------------------------------------------------

TestMastodon::TestMastodon(TestFediverse& world, const Options& options)
    : m_world(world), m_options(options), m_id_base(100000 * ++g_servers) {
    if (m_options.host.empty()) m_options.host = m_options.domain;
    m_world.set_host(m_options.domain, m_options.host);
    m_server.Get(
        "/api/v1/accounts/lookup",
        [this](const httplib::Request& req, httplib::Response& res) { api("lookup", req, res); });
    m_server.Get(R"(/api/v1/accounts/([^/]+)/(following|followers))",
                 [this](const httplib::Request& req, httplib::Response& res) {
                     api(req.matches[2], req, res);
                 });
    m_server.Get("/.well-known/webfinger",
                 [this](const httplib::Request& req, httplib::Response& res) {
                     {
                         std::lock_guard<std::mutex> hold(m_lock);
                         ++m_calls["webfinger"];
                     }
                     if (!fault("webfinger", res)) answer("webfinger", req, res);
                 });
    m_server.Get(R"(/avatars/static/(\d+)\.(png|gif))",
                 [this](const httplib::Request& req, httplib::Response& res) {
                     std::string uid;
                     {
                         std::lock_guard<std::mutex> world(m_world.m_lock);
                         const int index = index_of_id(req.matches[1]);
                         if (index < 0) return not_found(res);
                         uid = m_world.m_people[index].account.uid;
                     }
                     if (req.matches[2] == "png") {
                         res.set_content(png_avatar(uid), "image/png");
                     } else {
                         res.set_content(gif_avatar(uid), "image/gif");
                     }
                 });
    // Threads enough for every kept-alive connection of the clients of a test.
    m_server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // Bound a port, then listening on it: a port not bound never starts listening.
    if (m_port < 0 || !wait_until([this] { return m_server.is_running(); }))
        std::fprintf(stderr, "test server: not listening on 127.0.0.1\n");
}

TestMastodon::~TestMastodon() { stop(); }

void TestMastodon::stop() {
    if (m_stopped) return;
    m_stopped = true;
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string TestMastodon::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void TestMastodon::set_fault(FaultFunction fault) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_fault = std::move(fault);
}

void TestMastodon::advance(double seconds) { m_offset.store(m_offset.load() + seconds); }

int TestMastodon::calls(const std::string& call) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_calls.find(call);
    return it == m_calls.end() ? 0 : it->second;
}

int TestMastodon::total_calls() const {
    std::lock_guard<std::mutex> hold(m_lock);
    int n = 0;
    for (const auto& [call, count] : m_calls) n += count;
    return n;
}

int TestMastodon::over_limit() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_over_limit;
}

int TestMastodon::limited() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_limited;
}

int TestMastodon::windows() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_windows;
}

int TestMastodon::foreign_ids() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_foreign_ids;
}

std::vector<std::string> TestMastodon::authorizations() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_authorizations;
}

// --- TestMastodon: requests ---------------------------------------------------------------------

void TestMastodon::api(const std::string& call, const httplib::Request& req,
                       httplib::Response& res) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_calls[call];
        if (req.has_header("Authorization"))
            m_authorizations.push_back(req.get_header_value("Authorization"));
    }
    if (over_the_limit(res)) return;
    if (!m_options.token.empty() &&
        req.get_header_value("Authorization") != "Bearer " + m_options.token) {
        res.status = 401;
        res.set_content(R"({"error":"This API requires an authenticated user"})",
                        "application/json");
        return;
    }
    if (fault(call, res)) return;
    answer(call, req, res);
}

// The server's limit: fixed windows on its clock. A request past it, or while a 429 holds, is
// one a good client would not have sent.
bool TestMastodon::over_the_limit(httplib::Response& res) {
    std::lock_guard<std::mutex> hold(m_lock);
    const double now = server_now();
    const double start = std::floor(now / m_options.window_s) * m_options.window_s;
    if (start != m_window_start) {
        m_window_start = start;
        m_used = 0;
        ++m_windows;
    }
    const double end = start + m_options.window_s;
    res.set_header("X-RateLimit-Limit", std::to_string(m_options.limit));
    if (now < m_blocked_until || m_used >= m_options.limit) {
        ++m_over_limit;
        if (now >= m_blocked_until) ++m_limited;
        res.status = 429;
        res.set_header("X-RateLimit-Remaining", "0");
        res.set_header("X-RateLimit-Reset",
                       reset_text(now < m_blocked_until ? m_blocked_until : end));
        res.set_content(R"({"error":"Too many requests"})", "application/json");
        return true;
    }
    ++m_used;
    res.set_header("X-RateLimit-Remaining", std::to_string(m_options.limit - m_used));
    res.set_header("X-RateLimit-Reset", reset_text(end));
    return false;
}

bool TestMastodon::fault(const std::string& call, httplib::Response& res) {
    Fault f;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_fault) return false;
        f = m_fault(call, m_calls[call]);
        if (f.block_s > 0) {
            m_blocked_until = server_now() + f.block_s;
            res.headers.erase("X-RateLimit-Remaining");
            res.headers.erase("X-RateLimit-Reset");
            res.set_header("X-RateLimit-Remaining", "0");
            res.set_header("X-RateLimit-Reset", reset_text(m_blocked_until));
        }
    }
    if (f.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.delay_ms));
    if (!f.link.empty()) res.set_header("Link", f.link);
    if (f.status == 0) return false;
    res.status = f.status;
    const bool page = !f.body.empty() && f.body[0] == '<';
    res.set_content(f.body, page ? "text/html" : "application/json");
    return true;
}

void TestMastodon::answer(const std::string& call, const httplib::Request& req,
                          httplib::Response& res) {
    std::lock_guard<std::mutex> world(m_world.m_lock);
    if (call == "webfinger") {
        std::string resource = lower(req.get_param_value("resource"));
        if (resource.compare(0, 5, "acct:") == 0) resource.erase(0, 5);
        const auto it = m_world.m_index.find(resource);
        if (it == m_world.m_index.end() || !local(it->second)) return not_found(res);
        const std::string user = user_of(resource);
        const json jrd = {{"subject", "acct:" + resource},
                          {"aliases", {"https://" + m_options.host + "/@" + user}},
                          {"links",
                           {{{"rel", "http://webfinger.net/rel/profile-page"},
                             {"type", "text/html"},
                             {"href", "https://" + m_options.host + "/@" + user}},
                            {{"rel", "self"},
                             {"type", "application/activity+json"},
                             {"href", "https://" + m_options.host + "/users/" + user}}}}};
        res.set_content(jrd.dump(), "application/jrd+json");
        return;
    }
    if (call == "lookup") {
        std::string acct = lower(req.get_param_value("acct"));
        if (acct.find('@') == std::string::npos) acct += "@" + m_options.domain;
        const auto it = m_world.m_index.find(acct);
        if (it == m_world.m_index.end() || !known(it->second)) return not_found(res);
        res.set_content(account_json(it->second), "application/json");
        return;
    }
    // following or followers, newest first, paged by max_id.
    const int index = index_of_id(req.matches[1]);
    if (index < 0 || !known(index)) {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_foreign_ids;
        return not_found(res);
    }
    const bool following = call == "following";
    const TestFediverse::Person& p = m_world.m_people[index];
    int limit = 40;
    if (req.has_param("limit"))
        limit = std::max(1, std::min(80, std::stoi(req.get_param_value("limit"))));
    const int max_id = req.has_param("max_id") ? std::stoi(req.get_param_value("max_id")) : 1 << 30;
    std::vector<int> numbers;
    if (!p.account.hidden) {
        for (const int n : following ? p.follows : p.followers) {
            const auto& [from, to] = m_world.m_follow_list[n - 1];
            // NOTE: a server knows only the follows that involve one of its own accounts.
            if (n < max_id && (local(from) || local(to))) numbers.push_back(n);
        }
    }
    std::sort(numbers.rbegin(), numbers.rend());
    if (numbers.size() > static_cast<size_t>(limit)) numbers.resize(limit);
    std::string body = "[";
    for (size_t k = 0; k < numbers.size(); ++k) {
        const auto& [from, to] = m_world.m_follow_list[numbers[k] - 1];
        body += (k ? "," : "") + account_json(following ? to : from);
    }
    body += "]";
    if (numbers.size() == static_cast<size_t>(limit)) {
        // Addresses on the server's own host name, as Mastodon writes them.
        const std::string base = "https://" + m_options.host + "/api/v1/accounts/" + id_of(index) +
                                 "/" + call + "?limit=" + std::to_string(limit);
        const std::string next =
            "<" + base + "&max_id=" + std::to_string(numbers.back()) + ">; rel=\"next\"";
        const std::string prev =
            "<" + base + "&min_id=" + std::to_string(numbers.front()) + ">; rel=\"prev\"";
        if (!res.has_header("Link"))
            res.set_header("Link", m_options.host == m_options.domain ? next + ", " + prev
                                                                      : prev + ", " + next);
    }
    res.set_content(body, "application/json");
}

// --- TestMastodon: helpers ----------------------------------------------------------------------

std::string TestMastodon::account_json(int index) const {
    const TestFediverse::Person& p = m_world.m_people[index];
    const std::string& uid = p.account.uid;
    const std::string user = user_of(uid);
    const std::string id = id_of(index);
    std::string avatar = url() + "/avatars/static/" + id + "." + p.account.avatar;
    if (p.account.avatar.empty()) avatar = url() + "/avatars/original/missing.png";
    const json a = {{"id", id},
                    {"username", user},
                    {"acct", local(index) ? user : uid},
                    {"display_name", p.account.name},
                    {"locked", false},
                    {"bot", false},
                    {"url", "https://" + m_world.host_of(domain_of(uid)) + "/@" + user},
                    {"avatar", url() + "/avatars/original/" + id + ".gif"},
                    {"avatar_static", avatar},
                    {"followers_count", p.followers.size()},
                    {"following_count", p.follows.size()},
                    {"statuses_count", 0},
                    {"note", ""}};
    return a.dump();
}

int TestMastodon::index_of_id(const std::string& id) const {
    if (id.empty() || id.size() > 12 || id.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const long n = std::stol(id) - m_id_base - 3;
    if (n < 0 || n % 7 != 0 || n / 7 >= static_cast<long>(m_world.m_people.size())) return -1;
    return static_cast<int>(n / 7);
}

bool TestMastodon::local(int index) const {
    return domain_of(m_world.m_people[index].account.uid) == m_options.domain;
}

bool TestMastodon::known(int index) const {
    if (local(index)) return true;
    const TestFediverse::Person& p = m_world.m_people[index];
    for (const int n : p.follows)
        if (local(m_world.m_follow_list[n - 1].second)) return true;
    for (const int n : p.followers)
        if (local(m_world.m_follow_list[n - 1].first)) return true;
    return false;
}

double TestMastodon::server_now() const {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
               .count() +
           m_offset.load();
}

// An ISO 8601 time in real time, as the client's clock reads it, microseconds and all.
std::string TestMastodon::reset_text(double at) const {
    const double real = at - m_offset.load();
    const std::time_t whole = static_cast<std::time_t>(std::floor(real));
    std::tm t{};
    gmtime_r(&whole, &t);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
    char micro[16];
    std::snprintf(micro, sizeof micro, ".%06dZ",
                  static_cast<int>(std::floor((real - std::floor(real)) * 1e6)));
    return std::string(text) + micro;
}

std::string TestMastodon::png_avatar(const std::string& uid) {
    unsigned char rgb[3];
    colour_of(uid, rgb);
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &out, append_png, nullptr);
    png_set_IHDR(png, info, 16, 16, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    unsigned char row[16 * 3];
    for (int x = 0; x < 16; ++x) std::copy(rgb, rgb + 3, row + x * 3);
    for (int y = 0; y < 16; ++y) png_write_row(png, row);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A one-pixel GIF whose one colour is the account's.
std::string TestMastodon::gif_avatar(const std::string& uid) {
    unsigned char rgb[3];
    colour_of(uid, rgb);
    const unsigned char head[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0};
    const unsigned char rest[] = {0, 0, 0, 0x2C, 0, 0,    0,    0, 1,   0,
                                  1, 0, 0, 2,    2, 0x44, 0x01, 0, 0x3B};
    std::string out(reinterpret_cast<const char*>(head), sizeof head);
    out.append(reinterpret_cast<const char*>(rgb), 3);
    out.append(reinterpret_cast<const char*>(rest), sizeof rest);
    return out;
}
