#pragma once

// The operating-system side of the host helpers, one body per system (host/posix/,
// host/win32/): loading a module file, the blocks both sides share, and the console.

#include <cstddef>
#include <cstdint>
#include <string>

namespace brevor::host::os {

// Loads a module file; null with a reason in error when it cannot be loaded.
void *OpenLibrary(const std::string &path, std::string &error);
// The address of an exported name, or null.
void *FindSymbol(void *library, const char *name);
void CloseLibrary(void *library);

// Blocks that may change owner between host and module, from the allocator both sides use.
// SharedAlloc zeroes the block and throws std::bad_alloc; SharedRealloc returns null on failure.
void *SharedAlloc(std::size_t size);
void *SharedRealloc(void *block, std::size_t size);
void SharedFree(void *block);
// An OLE string of units UTF-16 units (their byte length set, zero-terminated, contents left to
// the caller); throws std::bad_alloc. FreeOleString takes null.
std::uint16_t *NewOleString(std::size_t units);
void FreeOleString(std::uint16_t *text);

// True when standard output is a terminal (the status line is drawn only there).
bool StdoutIsTerminal();
// Calls onStop (on any thread) when the user asks the program to stop: Ctrl-C, or the
// system's request to terminate.
void OnStopRequest(void (*onStop)());

}  // namespace brevor::host::os
