// What every source's HTTP client shares on its worker threads (libcurl): the answer buffer with
// its size cap, the check that lets a shutdown end a transfer, and what a failed transfer or a
// page instead of an answer is called in a person's terms.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <string>

// The write callback's state: the answer so far and its cap.
struct UTL_AnswerBuffer {
    std::string m_body;
    size_t m_max_bytes = 0;
    bool m_too_big = false;
};

// CURLOPT_WRITEFUNCTION for a UTL_AnswerBuffer: an answer over the cap stops the transfer.
size_t http_write_answer(void* data, size_t size, size_t count, void* user);
// CURLOPT_XFERINFOFUNCTION for a std::atomic<bool> stop flag: ends the transfer once it is set.
int http_stop_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
// The body is a web page (a proxy's or a server's error page), not an answer.
bool http_starts_like_html(const std::string& body);
// What went wrong on the way, from curl's code and the system's error number: "connection
// refused", "no answer within 60 s", "the answer was cut short" and the like.
std::string http_describe_failure(CURL* curl, CURLcode code, long connect_timeout_s,
                                  long timeout_s);
