#include <sys/stat.h>

#include "integration/file_feed.h"
#include "support/child_writer.h"

// The file feed with what only POSIX offers: FIFOs, and a writer in a child process.
namespace brevor::testing {
namespace {

// A FIFO among the files neither holds the scan nor UNLOAD, and a file that a writer without any
// lock keeps open is taken only after the writer closed it, whole and once.
TEST_F(FileFeedTest, FifoIsSkippedAndAFileBeingWrittenWaitsForItsWriter) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo(dir.File("b.txt").c_str(), 0644), 0);
    dir.Write("a.txt", "alpha;");
    ChildWriter writer(dir.File("w.txt"), false, "part1;", "part2;");
    ASSERT_TRUE(writer.Started());
    Instance instance(Module(), FreshId(), 0x4501, WriteIni(dir, dir.Path(), "*.txt", "0"));
    instance.Start();
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("a.txt"); }));
    ASSERT_TRUE(
        WaitFor([&] { return instance.Logged("Unable to open the \"" + dir.File("w.txt")); }));
    EXPECT_EQ(Received(0x4501), "alpha;");
    EXPECT_TRUE(dir.Exists("w.txt"));
    ASSERT_TRUE(writer.Finish());
    ASSERT_TRUE(WaitFor([&] { return !dir.Exists("w.txt"); }));
    EXPECT_EQ(Received(0x4501), "alpha;part1;part2;");
    EXPECT_EQ(instance.Command("UNLOAD"), 0);
}

}  // namespace
}  // namespace brevor::testing
