// The board over HTTP (libmicrohttpd): the runs' API, the replays, the board's page and the
// game's page. See http_server.cpp for the routes.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "store.h"
#include "verifier.h"

namespace board {

struct ServerSettings {
    int listen_socket = -1;  // bound and listening already
    std::string board_dir;   // the board's page (board/www)
    std::string page_dir;    // the game's page, served at /play/; empty for none
    // The page's files, from the build's list (page.files): a build folder holds much else.
    // Empty: every file of page_dir.
    std::set<std::string> page_files;
    int request_seconds = 60;  // a request must arrive whole within this, however it trickles in
    bool verifying = true;     // false: --workers 0, runs wait as pending
    bool health_only = false;  // a verifier's (--verify-only): /metrics, /healthz and /readyz alone
    // What one client may hold; 0 is no limit. The defaults are far above what a player does:
    // a game ends an upload at most every few minutes, and a page opens a few connections.
    unsigned max_connections = 512;
    unsigned max_connections_per_address = 16;
    unsigned idle_seconds = 15;               // a connection silent this long is closed
    std::size_t connection_memory = 64 * 1024;  // bounds a request's headers
    double uploads_per_minute = 10;           // a token bucket per address
    unsigned upload_burst = 10;
    std::int64_t queue = 64;                  // runs waiting for a verdict before uploads get 503
    // The address of a reverse proxy whose X-Forwarded-For is believed; empty: none is.
    std::string trust_proxy;
};

class Server {
public:
    virtual ~Server() = default;
};

// Starts serving on its own threads; null with `error` set on failure.
std::unique_ptr<Server> start_server(const ServerSettings& settings, Store& store, VerifierPool* pool, std::string& error);

}  // namespace board
