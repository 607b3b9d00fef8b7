#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "support/sparse_file.h"

namespace brevor::testing {

bool WriteSparse(const std::string &path, std::int64_t size,
                 const std::vector<SparsePiece> &pieces) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (const SparsePiece &piece : pieces) {
        std::size_t done = 0;
        while (ok && done < piece.bytes.size()) {
            const ssize_t n =
                ::pwrite(fd, piece.bytes.data() + done, piece.bytes.size() - done,
                         static_cast<off_t>(piece.offset + static_cast<std::int64_t>(done)));
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<std::size_t>(n);
        }
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace brevor::testing
