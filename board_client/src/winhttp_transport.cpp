// Requests to the board through WinHTTP (the Windows exe): part of every Windows, so the exe
// ships no HTTP library of its own.
#include <windows.h>

#include <winhttp.h>

#include <algorithm>

#include "transport.h"

namespace board_client {

namespace {

std::wstring widen(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// WinHTTP's errors in words, the common ones as a player would put them.
std::string describe_error(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT: return "could not connect";
    case ERROR_WINHTTP_TIMEOUT: return "no answer in time";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "no such host";
    case ERROR_WINHTTP_CONNECTION_ERROR: return "the connection was cut";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "not an http or https address";
    case ERROR_WINHTTP_SECURE_FAILURE: return "its certificate is not trusted";
    default: break;
    }
    return "WinHTTP error " + std::to_string(error);
}

struct Handle {
    HINTERNET handle = nullptr;
    explicit Handle(HINTERNET h) : handle(h) {}
    ~Handle() {
        if (handle != nullptr) WinHttpCloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

}  // namespace

Answer ask(const std::string& url, const std::vector<std::uint8_t>* upload, long timeout_seconds) {
    Answer answer;
    auto failed = [&answer] {
        answer.error = describe_error(GetLastError());
        return answer;
    };
    const std::wstring wide_url = widen(url);
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) return failed();
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        answer.error = describe_error(ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
        return answer;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    const Handle session(WinHttpOpen(L"zorvalen", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (session.handle == nullptr) return failed();
    const int total_ms = static_cast<int>(std::clamp(timeout_seconds, 1L, REQUEST_SECONDS) * 1000);
    const int connect_ms = static_cast<int>(std::clamp(timeout_seconds, 1L, CONNECT_SECONDS) * 1000);
    WinHttpSetTimeouts(session.handle, connect_ms, connect_ms, total_ms, total_ms);
    const Handle connection(WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
    if (connection.handle == nullptr) return failed();
    const Handle request(WinHttpOpenRequest(connection.handle, upload != nullptr ? L"POST" : L"GET", target.c_str(),
                                            nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                            parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (request.handle == nullptr) return failed();
    const std::wstring headers = upload != nullptr
                                     ? L"Accept: application/json\r\nContent-Type: application/octet-stream\r\n"
                                     : L"Accept: application/json\r\n";
    const DWORD size = upload != nullptr ? static_cast<DWORD>(upload->size()) : 0;
    LPVOID body = upload != nullptr && !upload->empty() ? const_cast<std::uint8_t*>(upload->data()) : WINHTTP_NO_REQUEST_DATA;
    if (!WinHttpSendRequest(request.handle, headers.c_str(), static_cast<DWORD>(-1), body, size, size, 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr))
        return failed();
    DWORD status = 0, status_size = sizeof status;
    if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX))
        return failed();
    char chunk[8192];
    for (DWORD got = 0;; ) {
        if (!WinHttpReadData(request.handle, chunk, sizeof chunk, &got)) return failed();
        if (got == 0) break;
        if (answer.body.size() + got > LARGEST_ANSWER) {
            answer.error = "an answer too long for a board's";
            return answer;
        }
        answer.body.append(chunk, got);
    }
    answer.status = static_cast<long>(status);
    return answer;
}

}  // namespace board_client
