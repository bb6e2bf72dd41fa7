// The download stand-in (see download_server.h): the server root builder and the loopback server.
#include "download_server/download_server.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <httplib.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace dlstandin {

namespace {

std::string readWhole(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool packFiles(const fs::path& zip, const std::vector<fs::path>& files, std::string* error)
{
    std::vector<ZipEntry> entries;
    for (const fs::path& file : files)
        entries.push_back({file.filename().string(), readWhole(file)});
    if (writeZip(zip, entries))
        return true;
    if (error != nullptr)
        *error = "cannot write " + zip.string();
    return false;
}

}  // namespace

fs::path committedTree()
{
    return fs::path(TAVIX_DOWNLOAD_TREE);
}

bool writeZip(const fs::path& zipFile, const std::vector<ZipEntry>& entries)
{
    int errorCode = 0;
    zip_t* archive = zip_open(zipFile.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &errorCode);
    if (archive == nullptr)
        return false;
    for (const ZipEntry& entry : entries) {
        // libzip copies the data at zip_close; the buffer must stay alive until then, so let
        // libzip own a copy. An empty entry gets none: libzip keeps no buffer of length 0 and
        // would never free it.
        void* copy = nullptr;
        if (!entry.content.empty()) {
            copy = std::malloc(entry.content.size());
            if (copy == nullptr) {
                zip_discard(archive);
                return false;
            }
            std::memcpy(copy, entry.content.data(), entry.content.size());
        }
        zip_source_t* source = zip_source_buffer(archive, copy, entry.content.size(), copy != nullptr ? 1 : 0);
        if (source == nullptr) {
            std::free(copy);
            zip_discard(archive);
            return false;
        }
        if (zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

bool buildServerRoot(const fs::path& tree, const fs::path& root, std::string* error)
{
    std::error_code ec;
    fs::create_directories(root, ec);
    fs::copy(tree, root, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        if (error != nullptr)
            *error = "cannot copy " + tree.string() + ": " + ec.message();
        return false;
    }
    const fs::path data = tree / "data";
    std::vector<fs::path> regcodes;
    for (fs::directory_iterator it(data / "regcodes", ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".xml")
            regcodes.push_back(it->path());
    }
    std::vector<fs::path> airports;
    for (const char* name : {"airports_msfs.xml", "airports_msfs_names.xml"}) {
        if (fs::exists(data / name))
            airports.push_back(data / name);
    }
    for (const char* sim : {"MSFS", "MSFS2024"}) {
        const fs::path packs = root / sim / "data";
        fs::create_directories(packs, ec);
        if (fs::exists(data / "aircraftdb.xml") && !packFiles(packs / "aircraftdb.zip", {data / "aircraftdb.xml"}, error))
            return false;
        if (!regcodes.empty() && !packFiles(packs / "regcodes.zip", regcodes, error))
            return false;
        if (!airports.empty() && !packFiles(packs / "airports.zip", airports, error))
            return false;
    }
    return true;
}

DownloadServer::DownloadServer(fs::path root) : m_root(std::move(root)) {}

DownloadServer::~DownloadServer()
{
    stop();
}

bool DownloadServer::start(int port)
{
    m_server = std::make_unique<httplib::Server>();
    m_server->set_tcp_nodelay(true);
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Request seen{req.path, req.get_header_value("User-Agent"), 404};
        const fs::path relative = fs::path(req.path).relative_path().lexically_normal();
        const bool inside = !relative.empty() && relative.begin()->string() != "..";
        const fs::path file = m_root / relative;
        std::error_code ec;
        if (inside && fs::is_regular_file(file, ec)) {
            res.set_content(readWhole(file), "application/octet-stream");
            seen.status = 200;
        } else {
            res.status = 404;
            res.set_content("not found", "text/plain");
        }
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(seen));
    });
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
    } else {
        if (!m_server->bind_to_port("127.0.0.1", port))
            return false;
        m_port = port;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_server->is_running()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void DownloadServer::stop()
{
    if (!m_thread.joinable())
        return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server->stop();
    m_thread.join();
}

std::string DownloadServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::vector<Request> DownloadServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int DownloadServer::requestCount(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    int count = 0;
    for (const Request& r : m_requests)
        count += r.path == path ? 1 : 0;
    return count;
}

}  // namespace dlstandin
