#pragma once

// What the benchmarks need from the system that the module's platform layer does not offer: a
// plain reader of a file to compare the module with, and the process's peak memory.

#include <string>

namespace brevor::bench {

// Name of the plain reader, as printed beside its figure.
const char *PlainReaderName();

// Seconds a plain reader takes to read the whole file once (the system's `cat` into nothing on
// POSIX, a 64 KiB ReadFile loop on Windows); negative when it could not run.
double PlainReadSeconds(const std::string &path);

// The process's peak resident memory so far, in KiB.
long PeakMemoryKb();

}  // namespace brevor::bench
