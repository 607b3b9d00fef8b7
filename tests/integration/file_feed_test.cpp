#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/file_feed.h"

// Chunks the module hands to this test program, by host context.
namespace {
std::mutex g_chunksMutex;
std::vector<std::tuple<std::uintptr_t, std::int32_t, std::string>> g_chunks;
}  // namespace

extern "C" BREVOR_HOST_EXPORT std::int32_t BRV_CALL fSendData(std::uintptr_t hostContext,
                                                              std::int32_t dataSourceId,
                                                              std::int32_t, const void *bytes,
                                                              std::int32_t count) {
    std::lock_guard lock(g_chunksMutex);
    g_chunks.emplace_back(
        hostContext, dataSourceId,
        std::string(static_cast<const char *>(bytes), static_cast<size_t>(count)));
    return count;
}

namespace brevor::testing {

void ClearChunks() {
    std::lock_guard lock(g_chunksMutex);
    g_chunks.clear();
}

std::string ReceivedChunks(std::uintptr_t context) {
    std::lock_guard lock(g_chunksMutex);
    std::string all;
    for (const auto &[ctx, source, bytes] : g_chunks) {
        if (ctx == context) all += bytes;
    }
    return all;
}

namespace {

TEST_F(FileFeedTest, TypicalRoadSendsFilesInChunksAndDeletesThem) {
    TempFolder dir;
    const std::string data = dir.Path() + "/data";
    std::filesystem::create_directories(data);
    std::string content(300, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('A' + i % 26);
    {
        std::ofstream(data + "/a.txt", std::ios::binary) << content;
        std::ofstream(data + "/skip.csv", std::ios::binary) << "not for the mask";
    }
    Instance instance(Module(), FreshId(), 0x4101, WriteIni(dir, data, "*.txt", "0"));
    instance.Start();
    ASSERT_TRUE(WaitFor([&] { return !std::filesystem::exists(data + "/a.txt"); }));
    EXPECT_EQ(Received(0x4101), content);
    {
        std::lock_guard lock(g_chunksMutex);
        ASSERT_EQ(g_chunks.size(), 3u);  // 128 + 128 + 44
        EXPECT_EQ(std::get<2>(g_chunks[0]).size(), 128u);
        EXPECT_EQ(std::get<1>(g_chunks[0]), 0x01);  // the data-source id given at LOAD
    }
    ASSERT_TRUE(WaitFor([&] { return instance.Logged("has been deleted"); }));
    EXPECT_TRUE(instance.Logged("Data from the \"" + ModuleFilePath(data, "a.txt") +
                                "\" file have been sent successfully (bytes: 300)"));
    EXPECT_TRUE(std::filesystem::exists(data + "/skip.csv"));
}

TEST_F(FileFeedTest, TwoInstancesFeedFromTwoFoldersAtOnce) {
    TempFolder dir1;
    TempFolder dir2;
    dir1.Write("one.log", "first instance");
    dir2.Write("two.dat", "second instance");
    Instance a(Module(), FreshId(), 0x4201, WriteIni(dir1, dir1.Path(), "*.log", "2"));
    Instance b(Module(), FreshId(), 0x4302, WriteIni(dir2, dir2.Path(), "*.dat", "2"));
    a.Start();
    b.Start();
    ASSERT_TRUE(WaitFor([&] {
        return Received(0x4201) == "first instance" && Received(0x4302) == "second instance";
    }));
    std::this_thread::sleep_for(100ms);  // many more scans: nothing sent twice
    EXPECT_EQ(Received(0x4201), "first instance");
    EXPECT_TRUE(dir1.Exists("one.log"));  // read mode 2 keeps the file
}

TEST_F(FileFeedTest, SwitchedOffInstanceReadsNothing) {
    TempFolder dir;
    dir.Write("x.txt", "data");
    Instance instance(Module(), FreshId(), 0x4401, WriteIni(dir, dir.Path(), "*.txt", "0"));
    ASSERT_EQ(instance.Command("LOAD"), 0);
    EXPECT_EQ(instance.Command("LOAD-SETTINGS-NOW"), -2);
    ASSERT_EQ(instance.Command("SET-STATE", 1u << mttDataQuery, 0), 0);  // off
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(dir.Exists("x.txt"));
    ASSERT_EQ(instance.Command("SET-STATE", 1u << mttFilter, 1), 0);  // on as a filter
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("x.txt"); }));
    EXPECT_EQ(Received(0x4401), "data");
}

}  // namespace
}  // namespace brevor::testing
