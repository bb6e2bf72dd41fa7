// A full disk for tests, without privileges: while a DiskFull lives, every write of this process
// that would make a file longer fails (a file size limit of 0, its signal ignored so that the
// write reports the error), as on a disk with no space left. Pipes and terminals are not limited.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace tvxtest {

class DiskFull {
public:
    DiskFull()
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit full = m_saved;
        full.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &full);
    }
    ~DiskFull()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
};

}  // namespace tvxtest
