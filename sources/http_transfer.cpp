// The transfer helpers the sources' HTTP clients share.
#include "sources/http_transfer.h"

#include <atomic>
#include <cctype>
#include <cerrno>

size_t http_write_answer(void* data, size_t size, size_t count, void* user) {
    UTL_AnswerBuffer* buffer = static_cast<UTL_AnswerBuffer*>(user);
    const size_t n = size * count;
    if (buffer->m_body.size() + n > buffer->m_max_bytes) {
        buffer->m_too_big = true;
        return 0;  // stops the transfer
    }
    buffer->m_body.append(static_cast<const char*>(data), n);
    return n;
}

int http_stop_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(user)->load() ? 1 : 0;
}

bool http_starts_like_html(const std::string& body) {
    std::string head = body.substr(0, 512);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return head.find("<html") != std::string::npos ||
           head.find("<!doctype html") != std::string::npos;
}

std::string http_describe_failure(CURL* curl, CURLcode code, long connect_timeout_s,
                                  long timeout_s) {
    long os_errno = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &os_errno);
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            if (os_errno == ECONNREFUSED) return "connection refused";
            if (os_errno == ENETUNREACH || os_errno == EHOSTUNREACH) return "no route to the host";
            return "cannot connect";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "unknown host";
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connected = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
            if (connected == 0)
                return "no connection within " + std::to_string(connect_timeout_s) + " s";
            return "no answer within " + std::to_string(timeout_s) + " s";
        }
        case CURLE_GOT_NOTHING:
            return "the connection closed without an answer";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            if (os_errno == ECONNRESET) return "connection reset";
            return "the connection broke";
        case CURLE_PARTIAL_FILE:
            return "the answer was cut short";
        default:
            return curl_easy_strerror(code);
    }
}
