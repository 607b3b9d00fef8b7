// The scanner and the engine leave POSIX's special files and symbolic links alone.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "engine/scan_modes_fixture.h"

namespace brevor {
namespace {

using scan_modes_test::Host;
using scan_modes_test::ScanModesTest;

// FIFOs, sockets and links are never opened, read, deleted or emptied, and cost no log line:
// a FIFO would block the open, and deleting or emptying through a link would hit its target.
TEST_F(ScanModesTest, SpecialFilesAndLinksAreLeftAlone) {
    ASSERT_EQ(::mkfifo(dir_.File("fifo.txt").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir_.File("sock.txt");
    ASSERT_LT(sockPath.size(), sizeof(addr.sun_path));
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    dir_.Write("target.dat", "precious");
    std::filesystem::create_symlink(dir_.File("target.dat"), dir_.File("link.txt"));
    std::filesystem::create_symlink(dir_.File("nowhere"), dir_.File("dangling.txt"));
    settings_.FileSM = "*.txt";
    for (int mode : {ReadAndDel, ReadAndTrunc}) {
        SCOPED_TRACE(mode);
        dir_.Write("plain.txt", "p");
        settings_.ReadModeSM = mode;
        log_.clear();
        host_.chunks.clear();
        scanner_.ScanSimpleMode(host_.Target(), settings_);
        EXPECT_EQ(host_.chunks, std::vector<std::string>{"p"});
        EXPECT_EQ(log_.size(), 2u);
        for (const std::string &line : log_)
            EXPECT_NE(line.find("plain.txt"), std::string::npos) << line;
        // Asked for by name, the engine does not open them either.
        log_.clear();
        for (const char *name : {"fifo.txt", "sock.txt", "link.txt", "dangling.txt"})
            engine_.ProcessFile(host_.Target(), dir_.Path(), name, 128, false, mode);
        EXPECT_TRUE(log_.empty());
        EXPECT_EQ(host_.chunks.size(), 1u);
        EXPECT_EQ(dir_.Read("target.dat"), "precious");
        EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("link.txt")));
    }
    ::close(sock);
}

}  // namespace
}  // namespace brevor
