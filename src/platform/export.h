#pragma once

// How a function of the module's interface is marked for export. On POSIX every other symbol is
// hidden and these carry default visibility; on Windows the module-definition file names the
// exports, and the visibility attribute means nothing to the PE linker.

#ifdef _WIN32
#define BRV_EXPORT extern "C"
#else
#define BRV_EXPORT extern "C" __attribute__((visibility("default")))
#endif
