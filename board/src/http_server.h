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
};

class Server {
public:
    virtual ~Server() = default;
};

// Starts serving on its own threads; null with `error` set on failure.
std::unique_ptr<Server> start_server(const ServerSettings& settings, Store& store, VerifierPool* pool, std::string& error);

}  // namespace board
