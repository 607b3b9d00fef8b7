#pragma once

// Large files that take almost no disk space or time to make: the size is set without writing
// the bytes in between (a hole reads as zeros), and only the given pieces are written.

#include <cstdint>
#include <string>
#include <vector>

namespace brevor::testing {

struct SparsePiece {
    std::int64_t offset;
    std::string bytes;
};

// Makes the file (created when missing; otherwise its content up to size is kept) size bytes
// long, then writes each piece at its offset. False when the system refuses any step.
bool WriteSparse(const std::string &path, std::int64_t size,
                 const std::vector<SparsePiece> &pieces);

}  // namespace brevor::testing
