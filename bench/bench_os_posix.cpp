#include <sys/resource.h>

#include <chrono>
#include <cstdlib>

#include "bench_os.h"

namespace brevor::bench {

const char *PlainReaderName() {
    return "cat > /dev/null";
}

double PlainReadSeconds(const std::string &path) {
    const std::string command = "cat '" + path + "' > /dev/null";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace brevor::bench
