#include <windows.h>
// after <windows.h>, which it needs
#include <psapi.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "bench_os.h"

namespace brevor::bench {

const char *PlainReaderName() {
    return "ReadFile 64 KiB";
}

double PlainReadSeconds(const std::string &path) {
    const auto start = std::chrono::steady_clock::now();
    const std::wstring wide = std::filesystem::path(path).wstring();
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    std::vector<char> block(1 << 16);
    DWORD got = 0;
    while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) &&
           got > 0) {
    }
    CloseHandle(file);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakMemoryKb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

}  // namespace brevor::bench
