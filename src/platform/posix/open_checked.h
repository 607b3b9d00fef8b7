#pragma once

// POSIX-internal: the open every file operation of this folder makes, after asking the fault
// table.

#include <sys/types.h>

#include <string>

namespace brevor::platform {

// Opens path (close-on-exec, retried on EINTR) unless the fault table fails the open first;
// -1 with errno set on failure.
int OpenChecked(const std::string &path, int flags, mode_t mode = 0);

}  // namespace brevor::platform
