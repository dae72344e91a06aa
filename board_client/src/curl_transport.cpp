// Requests to the board through libcurl (Linux).
#include <curl/curl.h>

#include <algorithm>
#include <mutex>

#include "transport.h"

namespace board_client {

namespace {

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* to) {
    std::string& body = *static_cast<std::string*>(to);
    if (body.size() + size * count > LARGEST_ANSWER) return 0;
    body.append(data, size * count);
    return size * count;
}

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Answer ask(const std::string& url, const std::vector<std::uint8_t>* upload, long timeout_seconds) {
    init_curl_once();
    Answer answer;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        answer.error = "cannot start a request";
        return answer;
    }
    char error[CURL_ERROR_SIZE] = {0};
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // safe on a thread of its own
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, std::clamp(timeout_seconds, 1L, REQUEST_SECONDS));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, std::clamp(timeout_seconds, 1L, CONNECT_SECONDS));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    headers = curl_slist_append(headers, "Accept: application/json");
    if (upload != nullptr) {
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, upload->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload->size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    const CURLcode done = curl_easy_perform(curl);
    if (done == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    } else {
        answer.error = error[0] != '\0' ? error : curl_easy_strerror(done);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return answer;
}

}  // namespace board_client
