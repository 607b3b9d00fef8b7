// The transfer engine's exclusive open on Windows: the file is opened sharing nothing, so while
// the engine sends it any other opener, in this process or another one, is refused with a
// sharing violation; the writer never got in, so the engine then deletes or empties the file.

// <windows.h> comes before the headers that build on it.
#include "platform/win32/win32_util.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/file_transfer_fixture.h"
#include "support/child_process.h"

namespace brevor::file_transfer_test {
namespace {

using brevor::testing::ChildProcess;
using brevor::testing::ChildRole;
using brevor::testing::kChildTimeout;

// The error of opening path for writing as an ordinary writer does (sharing everything), or 0
// when it opened.
DWORD OpenForWritingError(const std::string &path) {
    HANDLE file = ::CreateFileW(platform::win32::Wide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
    ::CloseHandle(file);
    return 0;
}

// args[0]: a path; the child's exit code is the error of opening it for writing (0: opened).
int OpenerMain(const std::vector<std::string> &args) {
    return static_cast<int>(OpenForWritingError(args.at(0)));
}
const ChildRole opener("file_transfer_opener", &OpenerMain);

TEST_F(FileTransferTest, WriterArrivingDuringTheSendIsRefusedAndTheActionIsTaken) {
    for (int mode : {ReadAndDel, ReadAndTrunc}) {
        SCOPED_TRACE(mode);
        RecordingHost host;
        dir_.Write("q.log", "early");
        DWORD sameProcess = 0;
        std::optional<int> otherProcess;
        host.onFirstSend = [&] {
            sameProcess = OpenForWritingError(dir_.File("q.log"));
            ChildProcess child("file_transfer_opener", {dir_.File("q.log")});
            otherProcess = child.Wait(kChildTimeout);
        };
        log_.clear();
        engine_.ProcessFile(host.Target(), dir_.Path(), "q.log", 64, false, mode);
        EXPECT_EQ(sameProcess, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(otherProcess, ERROR_SHARING_VIOLATION);
        EXPECT_EQ(host.accepted, "early");
        EXPECT_EQ(log_.front(), (LogLine{2, "FileDataExported", 5}));
        EXPECT_EQ(dir_.Exists("q.log"), mode == ReadAndTrunc);
        if (mode == ReadAndTrunc) {
            EXPECT_EQ(dir_.Read("q.log"), "");
        }
        // Once the engine is done, a writer gets in at once.
        EXPECT_EQ(OpenForWritingError(dir_.File("q.log")),
                  mode == ReadAndTrunc ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        ::DeleteFileW(platform::win32::Wide(dir_.File("q.log")).c_str());
        engine_.PruneFileStates();
    }
}

}  // namespace
}  // namespace brevor::file_transfer_test
