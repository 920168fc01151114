#include "core/npy.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/numfmt.hpp"

namespace kestrin {
namespace {

static_assert(std::endian::native == std::endian::little, "the .npy writer stores native little-endian doubles");

// The payload is the system's own text; callers that report the failure add
// the path themselves.
KError os_error(int err) { return KError::io(std::strerror(err)); }

// Writes all of [p, p + n), retrying short writes and interrupted calls.
bool write_all(int fd, const char* p, std::size_t n, int& err) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

std::string npy_header(const std::array<std::uint64_t, 4>& shape) {
    std::string h = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + fmt::integer(shape[0]) + ", " +
                    fmt::integer(shape[1]) + ", " + fmt::integer(shape[2]) + ", " + fmt::integer(shape[3]) + "), }";
    // Pad so that the 10-byte preamble, the header and its newline end on a
    // 64-byte boundary: (53 - len) mod 64 spaces.
    const std::size_t spaces = (53u - static_cast<unsigned>(h.size())) & 63u;
    h.append(spaces, ' ');
    h.push_back('\n');
    return h;
}

KStatus write_npy(const std::string& path, std::span<const double> data, std::array<std::uint64_t, 4> shape) {
    const std::string header = npy_header(shape);
    std::string pre = "\x93NUMPY";
    pre.push_back('\x01');
    pre.push_back('\x00');
    const auto hl = static_cast<std::uint16_t>(header.size());
    pre.push_back(static_cast<char>(hl & 0xFF));
    pre.push_back(static_cast<char>(hl >> 8));
    pre += header;

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return std::unexpected(os_error(errno));
    int err = 0;
    bool ok = write_all(fd, pre.data(), pre.size(), err);
    // The data go out in large chunks straight from the caller's buffer.
    const char* bytes = reinterpret_cast<const char*>(data.data());
    const std::size_t total = data.size_bytes();
    constexpr std::size_t chunk = std::size_t{1} << 22;
    for (std::size_t off = 0; ok && off < total; off += chunk)
        ok = write_all(fd, bytes + off, std::min(chunk, total - off), err);
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) return std::unexpected(os_error(err));
    return {};
}

}  // namespace kestrin
