#pragma once
// A full disk without root: while the object lives, no file of this process
// grows past `bytes`, and the write that would is refused (EFBIG) instead of
// the process being stopped by SIGXFSZ.

#include <csignal>
#include <sys/resource.h>

class FullDisk
{
public:
    explicit FullDisk(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

private:
    rlimit old{};
    void (*previous)(int) = nullptr;
};
