// The module log given handles that are not a messages channel, as POSIX has them: descriptors
// of a plain file, open or closed.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "framework/module_log.h"

namespace brevor {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// All queued lines, fetched with a buffer large enough.
std::string FetchAll(TModuleLog &log) {
    std::int64_t needed = 0;
    log.GetLogEx(nullptr, -1, needed);
    std::string text(static_cast<std::size_t>(needed), '\0');
    if (needed == 0) return text;
    EXPECT_EQ(log.GetLogEx(text.data(), static_cast<std::int32_t>(needed), needed), needed);
    return text;
}

// Handles that are not a messages channel: lines are queued for fetching, nothing is written.
TEST(ModuleLog, BadHandleQueuesWithoutWriting) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int closedNumber = dup(fileno(file));
    ASSERT_GE(closedNumber, 0);
    close(closedNumber);
    for (const int fd : {fileno(file), closedNumber}) {
        SCOPED_TRACE(fd);
        TModuleLog log;
        const TLogDestination to{"Brevor", 1, static_cast<platform::MessagesWindow>(fd)};
        const Clock::time_point start = Clock::now();
        log.AddLog(to, kLogInformation, "one");
        log.AddLog(to, kLogInformation, "two");
        log.QueueLog(to, kLogError, "three");
        EXPECT_LT(ElapsedMs(start), 500);
        EXPECT_EQ(FetchAll(log),
                  "\x03"
                  "Brevor. one\r\n\x03"
                  "Brevor. two\r\n\x01"
                  "Brevor. three\r\n");
    }
    struct stat st {};
    ASSERT_EQ(fstat(fileno(file), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    std::fclose(file);
}

}  // namespace
}  // namespace brevor
