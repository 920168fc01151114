#pragma once
// Writer of NumPy .npy files (format version 1.0) holding little-endian
// float64 arrays of four dimensions in C order.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/kerror.hpp"

namespace kestrin {

// The padded header (text, spaces, newline) for a float64 C-ordered array:
// preamble (10 bytes) + header is a multiple of 64.
std::string npy_header(const std::array<std::uint64_t, 4>& shape);

// Writes `data` (count = product of shape, row-major) to `path`, creating the
// file with mode 0666 before the umask or truncating it. The first failing
// open, write or close returns KError::io with the system's error text
// (strerror); the file is closed in every case.
KStatus write_npy(const std::string& path, std::span<const double> data, std::array<std::uint64_t, 4> shape);

}  // namespace kestrin
