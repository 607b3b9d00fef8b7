// The Win32 platform layer against the system itself: what only the real services show (share
// modes, file identity, the registry, named mutexes, windows and their messages).

#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform/platform.h"
#include "support/fake_clock.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace brevor::testing {
namespace {

using platform::TExclusiveFile;
using platform::TFileCall;
using platform::TOpenResult;

std::wstring W(const std::string &s) {
    return std::wstring(s.begin(), s.end());
}

bool OnWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Another process's open of a file, made with the given share mode.
HANDLE OpenShared(const std::string &path, DWORD access, DWORD share) {
    return ::CreateFileW(W(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32Files, ExclusiveOpenRefusesAndIsRefusedByOtherOpeners) {
    TempFolder dir;
    dir.Write("feed.txt", "abc");
    const std::string path = dir.File("feed.txt");

    // Held by a writer, even one that shares everything: busy.
    HANDLE writer = OpenShared(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    TOpenResult result = TOpenResult::Opened;
    EXPECT_EQ(TExclusiveFile::Open(path, &result), nullptr);
    EXPECT_EQ(result, TOpenResult::Busy);
    ::CloseHandle(writer);

    // Held by the module: every other open, and the cooperating append, is refused.
    auto file = TExclusiveFile::Open(path, &result);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(result, TOpenResult::Opened);
    EXPECT_TRUE(file->IsGuarded());
    for (const DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
        HANDLE other =
            OpenShared(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE) << "access " << access;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
    }
    EXPECT_FALSE(platform::AppendExclusive(path, "x", 1));
    EXPECT_EQ(file->Size(), 3);
    file.reset();
    EXPECT_TRUE(platform::AppendExclusive(path, "de", 2));
    EXPECT_EQ(dir.Read("feed.txt"), "abcde");
}

TEST(Win32Files, OpenOutcomes) {
    TempFolder dir;
    std::filesystem::create_directory(dir.File("sub"));
    struct Case {
        const char *name;
        TOpenResult expected;
    } cases[] = {{"missing.txt", TOpenResult::Missing},
                 {"sub", TOpenResult::Missing},
                 {"no-such-folder/file.txt", TOpenResult::Missing}};
    for (const Case &c : cases) {
        TOpenResult result = TOpenResult::Opened;
        EXPECT_EQ(TExclusiveFile::Open(dir.File(c.name), &result), nullptr) << c.name;
        EXPECT_EQ(result, c.expected) << c.name;
    }
    // An injected open fault fails the open with the injected error.
    dir.Write("faulty.txt", "x");
    ScopedFileFaults faults({{TFileCall::Open, "faulty", ERROR_ACCESS_DENIED}});
    TOpenResult result = TOpenResult::Opened;
    EXPECT_EQ(TExclusiveFile::Open(dir.File("faulty.txt"), &result), nullptr);
    EXPECT_EQ(result, TOpenResult::Failed);
    EXPECT_EQ(faults.Injected(), 1);
}

TEST(Win32Files, IdentityFollowsTheFileNotTheName) {
    TempFolder dir;
    dir.Write("a.txt", "one");
    const std::uint64_t first = TExclusiveFile::Open(dir.File("a.txt"))->Identity();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(TExclusiveFile::Open(dir.File("a.txt"))->Identity(), first);
    // The name given to another file: a new identity.
    dir.Write("b.txt", "two");
    ASSERT_TRUE(::MoveFileExW(W(dir.File("b.txt")).c_str(), W(dir.File("a.txt")).c_str(),
                              MOVEFILE_REPLACE_EXISTING));
    EXPECT_NE(TExclusiveFile::Open(dir.File("a.txt"))->Identity(), first);
}

// Nanoseconds since 1970 as on POSIX: a current file's time fits the 64-bit count (the system's
// count from 1601 in nanoseconds would not) and lies near the wall clock.
TEST(Win32Files, ChangeTimeIsNanosecondsSince1970) {
    TempFolder dir;
    dir.Write("a.txt", "one");
    const std::int64_t changed = TExclusiveFile::Open(dir.File("a.txt"))->ChangeTime();
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    EXPECT_LT(std::llabs(now - changed), std::int64_t{3600} * 1000 * 1000 * 1000) << changed;
}

TEST(Win32Files, ReadDeleteAndEmptyThroughTheHandle) {
    TempFolder dir;
    dir.Write("del.txt", "0123456789");
    dir.Write("trunc.txt", "0123456789");
    {
        auto file = TExclusiveFile::Open(dir.File("del.txt"));
        ASSERT_NE(file, nullptr);
        char buffer[16] = {};
        ASSERT_TRUE(file->Seek(4));
        EXPECT_EQ(file->Read(buffer, sizeof buffer), 6);
        EXPECT_EQ(std::string(buffer, 6), "456789");
        EXPECT_TRUE(file->Delete());
    }
    EXPECT_FALSE(dir.Exists("del.txt"));
    {
        auto file = TExclusiveFile::Open(dir.File("trunc.txt"));
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->Empty());
        EXPECT_EQ(file->Size(), 0);
    }
    EXPECT_TRUE(dir.Exists("trunc.txt"));
    EXPECT_EQ(dir.Read("trunc.txt"), "");
}

TEST(Win32Files, ListingHasRegularFilesOnlyAndKeysIgnoreCase) {
    TempFolder dir;
    dir.Write("One.txt", "1");
    dir.Write("two.log", "2");
    std::filesystem::create_directory(dir.File("folder"));
    std::vector<std::string> names;
    platform::ListFolderFiles(dir.Path(), [&](std::string_view n) { names.emplace_back(n); });
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"One.txt", "two.log"}));
    EXPECT_EQ(platform::PathKey("C:\\Feed\\One.TXT"), platform::PathKey("c:/feed/one.txt"));
    EXPECT_NE(platform::PathKey("C:\\Feed\\One.txt"), platform::PathKey("C:\\Feed\\Two.txt"));
}

TEST(Win32FileIo, AtomicReplaceKeepsTheOldContentWhenAnyStepFails) {
    TempFolder dir;
    const std::string path = dir.File("settings.ini");
    int error = 0;
    ASSERT_TRUE(platform::WriteFileAtomic(path, "old", error)) << error;
    for (const TFileCall call :
         {TFileCall::Open, TFileCall::Write, TFileCall::Sync, TFileCall::Rename}) {
        ScopedFileFaults faults({{call, "settings.ini", ERROR_DISK_FULL}});
        EXPECT_FALSE(platform::WriteFileAtomic(path, "new", error));
        EXPECT_EQ(error, ERROR_DISK_FULL) << static_cast<int>(call);
        EXPECT_EQ(dir.Read("settings.ini"), "old") << static_cast<int>(call);
    }
    std::string bytes;
    EXPECT_FALSE(platform::ReadWholeFile(dir.File("missing.ini"), bytes, error));
    EXPECT_TRUE(platform::IsMissingFileError(error));
}

// A reader holding the file open keeps it from being replaced, whatever it shares: the write
// fails whole once it has waited for the reader a while, and succeeds after it.
void ExpectAReaderToKeepTheFile(DWORD share) {
    SCOPED_TRACE(share);
    TempFolder dir;
    const std::string path = dir.File("settings.ini");
    int error = 0;
    ASSERT_TRUE(platform::WriteFileAtomic(path, "old", error)) << error;
    HANDLE reader = OpenShared(path, GENERIC_READ, share);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::WriteFileAtomic(path, "new", error));
    EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                error == ERROR_UNABLE_TO_REMOVE_REPLACED)
        << error;
    ::CloseHandle(reader);
    EXPECT_EQ(dir.Read("settings.ini"), "old");
    EXPECT_TRUE(platform::WriteFileAtomic(path, "new", error)) << error;
    // No temporary file is left behind.
    std::size_t files = 0;
    platform::ListFolderFiles(dir.Path(), [&](std::string_view) { ++files; });
    EXPECT_EQ(files, 1u);
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(path, bytes, error));
    EXPECT_EQ(bytes, "new");
}

TEST(Win32FileIo, AReaderHoldingTheFileKeepsItFromBeingReplaced) {
    ExpectAReaderToKeepTheFile(FILE_SHARE_READ);
    ExpectAReaderToKeepTheFile(FILE_SHARE_READ | FILE_SHARE_WRITE);
}

TEST(Win32FileIo, AReaderSharingDeletionAlsoKeepsTheFile) {
    if (OnWine()) GTEST_SKIP() << "Wine replaces a file that its reader shares for deleting";
    ExpectAReaderToKeepTheFile(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

TEST(Win32NamedLock, RecursiveForItsOwnerExclusiveForOthers) {
    platform::TNamedLock lock("win32_platform_test_lock");
    ASSERT_TRUE(lock.Acquire());
    ASSERT_TRUE(lock.Acquire());
    std::atomic<bool> otherHeld{false};
    std::thread other([&] {
        platform::TNamedLock same("win32_platform_test_lock");
        if (same.Acquire()) {
            otherHeld = true;
            same.Release();
        }
    });
    // The other thread cannot have the lock while this one holds it at least once.
    lock.Release();
    EXPECT_FALSE(otherHeld.load());
    lock.Release();
    other.join();
    EXPECT_TRUE(otherHeld.load());
}

TEST(Win32Registry, ValuesRoundTripInTheCurrentUsersKey) {
    const std::string path = "Software\\BrevorTests\\Win32Platform";
    auto key = platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, "\\" + path + "\\",
                                            platform::RegAccess::All, true);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Location(), "HKEY_CURRENT_USER\\" + path);
    const platform::RegValue values[] = {
        platform::RegValue::Text("caf\xE9"),
        platform::RegValue::Text("%TEMP%", platform::RegType::ExpandSz),
        platform::RegValue::Dword(0xFFFFFFFEu),
        platform::RegValue::Binary(std::string("\0\x01\xFF", 3))};
    int i = 0;
    for (const platform::RegValue &v : values) {
        const std::string name = "Value" + std::to_string(i++);
        ASSERT_TRUE(key->SetValue(name, v)) << name;
        platform::RegValue read;
        // Value names ignore case.
        ASSERT_TRUE(key->QueryValue(platform::AnsiUpperCase(name), read)) << name;
        EXPECT_EQ(read, v) << name;
    }
    EXPECT_EQ(key->ValueNames().size(), 4u);
    EXPECT_TRUE(key->DeleteValue("value0"));
    EXPECT_FALSE(key->ValueExists("Value0"));
    EXPECT_FALSE(key->DeleteValue("Value0"));

    auto readOnly = platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, path,
                                                 platform::RegAccess::Read);
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(readOnly->SetValue("Value9", platform::RegValue::Dword(1)));
    EXPECT_EQ(platform::TRegistryKey::Open(platform::RegRoot::CurrentUser, path + "\\Missing",
                                           platform::RegAccess::Read),
              nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\BrevorTests");
}

TEST(Win32SharedAlloc, BlocksAndStringsBelongToTheSystemAllocators) {
    void *block = platform::SharedAlloc(64);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(::HeapSize(::GetProcessHeap(), 0, block), 64u);
    block = platform::SharedRealloc(block, 4096);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(::HeapFree(::GetProcessHeap(), 0, block));

    const char16_t units[] = u"abc";
    std::uint16_t *s = platform::AllocOleString(units, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(::SysStringByteLen(reinterpret_cast<BSTR>(s)), 6u);
    EXPECT_EQ(s[3], 0);
    ::SysFreeString(reinterpret_cast<BSTR>(s));
    // A host's string is freed by the module.
    platform::FreeOleString(reinterpret_cast<std::uint16_t *>(::SysAllocString(L"host")));
}

TEST(Win32Stack, FramesAreNamedFromTheModulesSymbols) {
    // Null is no address in any module (the system reads a null name as the program's own).
    EXPECT_FALSE(platform::DescribeFrame(nullptr).known);
    const std::vector<void *> frames = platform::CaptureStackFrames(0);
    ASSERT_FALSE(frames.empty());
    const platform::TFrameDescription frame = platform::DescribeFrame(frames[0]);
    EXPECT_TRUE(frame.known);
    EXPECT_EQ(frame.module, "brevor_unit_tests.exe");
    ASSERT_TRUE(frame.symbol.has_value());
    // The caller is this test's body, by its (mangled) name.
    EXPECT_NE(frame.symbol->find("FramesAreNamedFromTheModulesSymbols"), std::string::npos)
        << *frame.symbol;
}

TEST(Win32CodePage, TheSystemsAnsiCodePage) {
    // Texts keep their length, zero bytes included.
    EXPECT_EQ(platform::AnsiUpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
    EXPECT_EQ(platform::AnsiToUtf16(std::string("x\0y", 3)), std::u16string(u"x\0y", 3));
    EXPECT_TRUE(platform::AnsiSameText("Feed.TXT", "feed.txt"));
    EXPECT_LT(platform::AnsiCompareText("a", "B"), 0);
    // A character the code page lacks becomes "?", not a look-alike letter ("a" for U+0101).
    EXPECT_EQ(platform::Utf16ToAnsi(u"x\u0101y\u4E2D"), "x?y?");
    if (::GetACP() == 1252) {
        EXPECT_EQ(platform::AnsiToUtf16("caf\xE9 \x80"), u"caf\u00E9 \u20AC");
        EXPECT_EQ(platform::AnsiUpperCase("caf\xE9"), "CAF\xC9");
        EXPECT_EQ(platform::AnsiUpperChar('\xE9'), '\xC9');
    }
}

TEST(Win32Module, OwnPathAndVersionResource) {
    const std::string path = platform::OwnModulePath();
    EXPECT_EQ(platform::ExtractFileName(path), "brevor_unit_tests.exe") << path;
    EXPECT_EQ(platform::OwnModuleVersion(), BREVOR_TEST_VERSION);
    EXPECT_EQ(platform::FindLoadedModule("kernel32.dll"),
              reinterpret_cast<platform::ModuleHandle>(::GetModuleHandleW(L"kernel32.dll")));
    EXPECT_EQ(platform::FindLoadedModule("not-loaded-here.dll"), 0u);
}

// A window of the test's own on a thread of its own, as a host's messages window: it records
// what arrives and answers copy-data messages with their byte count.
class HostWindow {
public:
    HostWindow() {
        thread_ = std::thread([this] { Run(); });
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return window_ != nullptr; });
    }
    ~HostWindow() {
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HWND Window() const { return window_; }
    std::string Received() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    bool WaitPosted(UINT msg) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return posted_ == msg; });
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<HostWindow *>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self != nullptr && msg == WM_COPYDATA) {
            const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
            std::lock_guard lock(self->mutex_);
            self->received_ += std::to_string(wParam) + "/" + std::to_string(data->dwData) + ":" +
                               std::string(static_cast<const char *>(data->lpData), data->cbData);
            return static_cast<LRESULT>(data->cbData);
        }
        if (self != nullptr && msg == 1809) {
            {
                std::lock_guard lock(self->mutex_);
                self->posted_ = msg;
            }
            self->cv_.notify_all();
            return 0;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(hwnd);
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    void Run() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"BrevorTestHostWindow";
        ::RegisterClassW(&wc);
        HWND window = ::CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      wc.hInstance, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard lock(mutex_);
            window_ = window;
        }
        cv_.notify_all();
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    HWND window_ = nullptr;
    std::string received_;
    UINT posted_ = 0;
};

TEST(Win32MessagesChannel, CopyDataAndPostsReachARealWindow) {
    HostWindow host;
    const auto window = reinterpret_cast<platform::MessagesWindow>(host.Window());
    ASSERT_TRUE(platform::IsMessagesWindow(window));
    std::int64_t answer = 0;
    ASSERT_TRUE(platform::SendWindowMessage(window, WM_COPYDATA, 77, 2, "line", 4,
                                            platform::kMessagesSendTimeoutMs, &answer));
    EXPECT_EQ(answer, 4);
    EXPECT_EQ(host.Received(), "77/2:line");
    ASSERT_TRUE(platform::PostWindowMessage(window, 1809, 77));
    EXPECT_TRUE(host.WaitPosted(1809));

    EXPECT_FALSE(platform::IsMessagesWindow(0));
    EXPECT_FALSE(platform::SendWindowMessage(0, WM_COPYDATA, 0, 1, "x", 1, 100));
    EXPECT_FALSE(platform::PostWindowMessage(0, 1809, 0));
}

TEST(Win32ThreadQueue, PostedWorkRunsFromTheOwnersOwnMessageLoop) {
    // The owner runs an ordinary message loop and never processes the queue itself.
    std::shared_ptr<platform::TThreadQueue> queue;
    std::atomic<bool> ready{false};
    std::atomic<DWORD> ownerId{0};
    std::thread owner([&] {
        queue = platform::TThreadQueue::Current();
        ownerId = ::GetCurrentThreadId();
        ready = true;
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
    });
    while (!ready)
        std::this_thread::yield();
    std::atomic<DWORD> ranOn{0};
    EXPECT_TRUE(queue->Send([&] { ranOn = ::GetCurrentThreadId(); }, 10000));
    EXPECT_EQ(ranOn.load(), ownerId.load());
    std::atomic<bool> quit{false};
    queue->Post([&] {
        quit = true;
        ::PostQuitMessage(0);
    });
    owner.join();
    EXPECT_TRUE(quit.load());
    queue.reset();
}

TEST(Win32ThreadQueue, TimersTickFromTheOwnersOwnMessageLoop) {
    // Due on the installed clock; only the queue's window timer can wake the loop to look.
    platform::TFakeClock clock(platform::TDateTime{2024, 5, 6, 10, 0, 0, 0, 1});
    platform::SetClock(&clock);
    std::atomic<int> ticks{0};
    std::atomic<int> ticksBeforeDue{-1};
    std::thread owner([&] {
        std::shared_ptr<platform::TThreadQueue> queue = platform::TThreadQueue::Current();
        queue->StartTimer(USER_TIMER_MINIMUM, [&] { ++ticks; });
        MSG msg;
        // What is waiting now (the wake of the start) finds nothing due.
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
        ticksBeforeDue = ticks.load();
        clock.Advance(USER_TIMER_MINIMUM);
        // A bounded ordinary loop: the test fails instead of hanging when no timer comes.
        const ULONGLONG giveUp = ::GetTickCount64() + 10000;
        while (ticks == 0 && ::GetTickCount64() < giveUp) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
        }
    });
    owner.join();
    platform::SetClock(nullptr);
    EXPECT_EQ(ticksBeforeDue.load(), 0);
    EXPECT_EQ(ticks.load(), 1);
}

}  // namespace
}  // namespace brevor::testing
