// RealTraffic.lic: reading the licence and writing the template; see key_file.h.
// Threads: start-up thread.
#include "traffic_service/key_file.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/text_file.h"

namespace {

constexpr std::size_t kMaxKeyFileBytes = 64 * 1024;

}  // namespace

std::filesystem::path gf_keyFilePath(const std::filesystem::path& folder) { return folder / kKeyFileName; }

bool gf_writeKeyFileTemplate(const std::filesystem::path& folder)
{
    const auto path = gf_keyFilePath(folder);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) || ec)
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "{\n  \"License\": \"\"\n}\n";
    out.close();
    if (!out) {
        gf_logError("{} template could not be written to {}", kKeyFileName, path.string());
        return false;
    }
    gf_log("{} template written to {}: enter your licence there", kKeyFileName, path.string());
    return true;
}

std::string gf_readLicence(const std::filesystem::path& folder)
{
    const auto path = gf_keyFilePath(folder);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tvx::UserErrorException(99, tvx::format("{} not found: {}", kKeyFileName, path.string()));
    std::string text(kMaxKeyFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxKeyFileBytes)
        throw tvx::UserErrorException(99, tvx::format("{} is too large: {}", kKeyFileName, path.string()));
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw tvx::UserErrorException(99, tvx::format("{} is not valid JSON: {}", kKeyFileName, path.string()));
    const auto it = json.find("License");
    if (it == json.end() || !it->is_string())
        throw tvx::UserErrorException(99, tvx::format("{} has no \"License\" text: {}", kKeyFileName, path.string()));
    std::string licence(gf_trim(it->get_ref<const std::string&>()));
    if (licence.empty())
        throw tvx::UserErrorException(99, tvx::format("{} holds no licence yet: {}", kKeyFileName, path.string()));
    return licence;
}
