// How a request reaches the board: libcurl on Linux (curl_transport.cpp), WinHTTP in the Windows
// exe (winhttp_transport.cpp). What is asked and how its answers are read is the same for both
// (board_client.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board_client {

constexpr long CONNECT_SECONDS = 5;
// No request outlasts this, nor the time the caller gave: a board that takes the connection and
// says nothing holds no one up for longer.
constexpr long REQUEST_SECONDS = 30;
constexpr std::size_t LARGEST_ANSWER = 1 << 20;  // longer is not a board's answer: cut off

struct Answer {
    long status = 0;  // 0: no answer at all, `error` says why
    std::string error;
    std::string body;
};

// One request to `url` (http or https): a GET, or with `upload` a POST of it as
// application/octet-stream. Asks for JSON; gives up after `timeout_seconds` (1 to REQUEST_SECONDS).
Answer ask(const std::string& url, const std::vector<std::uint8_t>* upload, long timeout_seconds);

}  // namespace board_client
