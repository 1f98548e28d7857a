#pragma once
// Runs code with files not allowed to grow past a size: a write beyond it fails with "File
// too large", as on a full disk, without needing a full disk.
#include <csignal>
#include <sys/resource.h>

template <class F> void WithFileSizeLimit(long long limit, F run) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(limit);
    setrlimit(RLIMIT_FSIZE, &limited);
    run();
    setrlimit(RLIMIT_FSIZE, &saved);
}
