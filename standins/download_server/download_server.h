// The download stand-in: the maker's server as a folder tree. The committed tree (this folder)
// holds version.json, data/ (airport list, aircraft database, registration packs) and the stock
// parking files under MSFS/archive/stock/. buildServerRoot turns it into a servable root by zipping
// the data packs into MSFS/data/ and MSFS2024/data/; the root is then read over file:// or served
// by DownloadServer, a loopback HTTP server that answers 404 for missing paths and records every
// request's path and User-Agent. The server runs its own threads; its methods are thread-safe.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace dlstandin {

// The committed tree (standins/download_server of the source tree).
std::filesystem::path committedTree();

// One entry of a zip: its name inside the archive and its content.
struct ZipEntry {
    std::string name;
    std::string content;
};
// Writes a zip holding the entries, names taken as given (tests use this for hostile names too).
bool writeZip(const std::filesystem::path& zip, const std::vector<ZipEntry>& entries);

// Copies the tree to root and writes the data packs for both simulators:
//   <sim>/data/aircraftdb.zip  data/aircraftdb.xml (when the tree has one)
//   <sim>/data/regcodes.zip    data/regcodes/*.xml (when any)
//   <sim>/data/airports.zip    data/airports_msfs.xml, data/airports_msfs_names.xml
// for <sim> = MSFS and MSFS2024. False (with a reason) when something cannot be written.
bool buildServerRoot(const std::filesystem::path& tree, const std::filesystem::path& root, std::string* error);

struct Request {
    std::string path;       // decoded ("%20" becomes a blank)
    std::string userAgent;
    int status = 0;
};

class DownloadServer {
public:
    explicit DownloadServer(std::filesystem::path root);
    ~DownloadServer();
    DownloadServer(const DownloadServer&) = delete;
    DownloadServer& operator=(const DownloadServer&) = delete;

    // Binds 127.0.0.1 on the given port (0: any free port) and serves until stop(). False when the
    // port cannot be bound or the server does not come up within five seconds.
    bool start(int port = 0);
    void stop();
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const;
    std::vector<Request> requests() const;
    int requestCount(const std::string& path) const;

private:
    std::filesystem::path m_root;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;  // guards m_requests
    std::vector<Request> m_requests;
};

}  // namespace dlstandin
