// A folder on a full disk for tests: a small tmpfs mounted on it and filled to the brim, so that
// writes there fail as on a real full disk ("No space left on device"). Where the tests may not
// mount (no root), the process's file size limit of 0 stands in (DiskFull): then every write of
// the process that would make a file longer fails, with "File too large". cause() is the system's
// text of the error the writes meet, whichever stands in.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "support/disk_full.h"

namespace tvxtest {

class FullDiskFolder {
public:
    explicit FullDiskFolder(const std::filesystem::path& folder) : m_folder(folder)
    {
        std::filesystem::create_directories(folder);
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0) {
            m_mounted = true;
            // Filled to the last block: nothing more fits.
            if (std::FILE* filler = std::fopen((folder / ".filler").c_str(), "wb")) {
                const std::vector<char> block(4096, 0);
                while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
                }
                std::fclose(filler);
            }
            m_cause = std::generic_category().message(ENOSPC);
        } else {
            m_limit = std::make_unique<DiskFull>();
            m_cause = std::generic_category().message(EFBIG);
        }
    }
    ~FullDiskFolder()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    FullDiskFolder(const FullDiskFolder&) = delete;
    FullDiskFolder& operator=(const FullDiskFolder&) = delete;

    const std::string& cause() const { return m_cause; }
    bool mounted() const { return m_mounted; }

private:
    std::filesystem::path m_folder;
    bool m_mounted = false;
    std::unique_ptr<DiskFull> m_limit;
    std::string m_cause;
};

}  // namespace tvxtest
