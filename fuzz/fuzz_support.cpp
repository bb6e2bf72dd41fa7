// Harness support (see fuzz_support.h).
#include "fuzz_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "foundation/settings.h"
#include "win32/window_model.h"

namespace tvxfuzz {

namespace fs = std::filesystem;

namespace {

// The folder the work folder goes in: TMPDIR when set, else /dev/shm when there is one (a file
// laid per input costs least in memory), else the system's temporary folder.
fs::path lf_scratchParent()
{
    std::error_code ec;
    if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path();
}

}  // namespace

const fs::path& gf_workFolder()
{
    static const fs::path folder = [] {
        std::string pattern = (lf_scratchParent() / "tavix-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("tavix fuzz: mkdtemp");
            std::abort();
        }
        const fs::path made = fs::path(pattern);
        // The readers take their files relative to the working folder, as the program does.
        fs::current_path(made);
        fs::create_directories(made / "roaming");
        g_appFolder = made / "roaming";
        // The folder goes when the harness ends (libFuzzer leaves through exit).
        static const fs::path removeAtExit = made;
        std::atexit([] {
            std::error_code ec;
            fs::current_path(removeAtExit.parent_path(), ec);
            fs::remove_all(removeAtExit, ec);
        });
        return made;
    }();
    return folder;
}

void gf_writeBytes(const fs::path& path, std::string_view bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    gf_check(static_cast<bool>(out), "the harness could not write its input file");
}

void gf_emptyFolder(const fs::path& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        fs::remove_all(entry.path(), ec);
}

std::map<fs::path, std::uintmax_t> gf_filesBelow(const fs::path& folder)
{
    std::map<fs::path, std::uintmax_t> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) || it->is_symlink(sizeError))
            out[it->path()] = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
    }
    return out;
}

void gf_check(bool condition, std::string_view what)
{
    if (condition)
        return;
    std::fprintf(stderr, "tavix fuzz: invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

void gf_checkOnWorld(double lat, double lon, std::string_view what)
{
    const bool on = std::isfinite(lat) && std::isfinite(lon) && lat >= -90.0 && lat <= 90.0 && lon >= -180.0
        && lon <= 180.0;
    if (!on)
        std::fprintf(stderr, "tavix fuzz: %.*s at %f, %f\n", static_cast<int>(what.size()), what.data(), lat, lon);
    gf_check(on, "a position off the world");
}

void gf_checkWrittenOnlyBelow(const std::map<fs::path, std::uintmax_t>& before, const fs::path& allowed)
{
    const fs::path inside = allowed.lexically_normal();
    for (const auto& [path, size] : gf_filesBelow(gf_workFolder())) {
        if (before.contains(path))
            continue;
        const fs::path rel = path.lexically_normal().lexically_relative(inside);
        const bool below = !rel.empty() && *rel.begin() != "..";
        if (!below)
            std::fprintf(stderr, "tavix fuzz: %s written outside %s\n", path.c_str(), inside.c_str());
        gf_check(below, "a file written outside the reader's folder");
    }
}

}  // namespace tvxfuzz

// The harness changes the current folder to its work folder on the first input, but libFuzzer
// reads the corpus files and writes new inputs and crashes by the paths it was given after that:
// relative ones are made absolute here, before libFuzzer reads its arguments. The headless
// window's echo of status lines to standard output is turned off (a reader's status line per
// input would flood the fuzzer's output).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<std::string> args;
    static std::vector<char*> pointers;
    const std::vector<std::string> pathFlags = {"-artifact_prefix=", "-exact_artifact_path=", "-features_dir=",
                                                "-merge_control_file="};
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i > 0 && !arg.empty() && arg[0] != '-') {
            arg = std::filesystem::absolute(arg).string();
        } else {
            for (const std::string& flag : pathFlags)
                if (arg.starts_with(flag) && arg.size() > flag.size() && arg[flag.size()] != '/')
                    arg = flag + std::filesystem::absolute(arg.substr(flag.size())).string();
        }
        args.push_back(arg);
    }
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argv = pointers.data();
    win32::windowModel().setEcho(false);
    return 0;
}
