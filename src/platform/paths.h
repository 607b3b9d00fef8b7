#pragma once

// How file paths are spelled on this system.

#include <string>

namespace brevor::platform {

// The separator written between a folder and the names in it ('/' on POSIX).
char PathSeparator();
// True for every character the system reads as a separator between folder names.
bool IsPathSeparator(char c);
// The folder watched until settings name another one ("/your_folder" on POSIX).
std::string DefaultFolder();

// The path made absolute against the current folder and normalised by its spelling alone
// (no "." or ".." parts, no doubled separators; links are not followed). The path as given when
// the current folder cannot be read.
std::string FullPathName(const std::string &path);

}  // namespace brevor::platform
