// The program's folder under the user's roaming application-data folder (g_appFolder), found
// through the shell's folder call. Start-up thread, before other threads read g_appFolder.
#include "foundation/settings.h"

#include <system_error>

#include "foundation/log.h"
#include "win32/win_api.h"

bool gf_initAppFolder()
{
    namespace fs = std::filesystem;
    WCHAR buffer[MAX_PATH] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr)) {
        gf_logError("the roaming application-data folder is unknown (error {:#x})", static_cast<std::uint32_t>(hr));
        return false;
    }
    g_appFolder = fs::path(std::wstring(buffer)) / g_productName;
    std::error_code ec;
    fs::create_directories(g_appFolder, ec);
    if (ec || !fs::is_directory(g_appFolder, ec)) {
        gf_logError("{} could not be created: {}", g_appFolder.string(), ec.message());
        return false;
    }
    return true;
}
