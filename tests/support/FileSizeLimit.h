#pragma once

#include "AppError.h"

#include <csignal>
#include <optional>
#include <sys/resource.h>

// Runs `write` while this process may write no file past `bytes`, which
// makes a write fail part way for any user, root included. Whether it threw
// AppError; nothing when the limit could not be set or lifted again.
template<class Write>
std::optional<bool> throwsUnderFileSizeLimit(rlim_t bytes, Write write)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return std::nullopt;
    rlimit tight = saved;
    tight.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &tight) != 0)
        return std::nullopt;
    bool threw = false;
    try {
        write();
    } catch (const AppError &) {
        threw = true;
    }
    if (setrlimit(RLIMIT_FSIZE, &saved) != 0)
        return std::nullopt;
    return threw;
}
