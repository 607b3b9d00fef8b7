#pragma once

// Whole-file reading and writing for files the module keeps whole in memory (settings and
// language files). A write replaces the file in one step: a reader, another process or a crash
// sees either the old content or the new one, never a truncated mix.

#include <string>
#include <string_view>

namespace brevor::platform {

// Reads every byte of the file. On failure bytes is empty and error holds the system error code
// (see IsMissingFileError for a file that is not there).
bool ReadWholeFile(const std::string &path, std::string &bytes, int &error);

// Replaces the file's content with bytes: a temporary file in the same folder is written, flushed
// to the disk and renamed over the file, and the folder is flushed too. The new file keeps the
// permissions (and, where allowed, the owner) of the file it replaces; a new file gets the
// process's default permissions. A link is followed: the file it points to is replaced. On
// failure the temporary file is gone, the file is untouched, and error holds the system error
// code. Only when flushing the folder after the rename fails is the new content already in place.
bool WriteFileAtomic(const std::string &path, std::string_view bytes, int &error);

// True when a system error code means that the file (or a folder on its path) does not exist.
bool IsMissingFileError(int error);

}  // namespace brevor::platform
