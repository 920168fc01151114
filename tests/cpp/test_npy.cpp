#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/npy.hpp"

using namespace kestrin;

namespace {
std::filesystem::path temp_file(const char* name) {
    return std::filesystem::temp_directory_path() / (std::string("kestrin_test_") + name);
}
}  // namespace

TEST(Npy, HeaderBytesOfASmallArray) {
    const std::vector<double> data{0.5, -1.0, 2.0, 3.25, 1e300, -0.0};
    const auto path = temp_file("small.npy");
    // A longer file already at the path must be truncated, not overwritten in place.
    const std::vector<double> longer(100, 7.0);
    ASSERT_TRUE(write_npy(path.string(), longer, {100, 1, 1, 1}).has_value());
    ASSERT_TRUE(write_npy(path.string(), data, {2, 3, 1, 1}).has_value());
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 128u + 6 * 8);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "\x93NUMPY");
    EXPECT_EQ(bytes[6], 1);
    EXPECT_EQ(bytes[7], 0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8), 118);
    const std::string text = "{'descr': '<f8', 'fortran_order': False, 'shape': (2, 3, 1, 1), }";
    ASSERT_EQ(text.size(), 65u);
    EXPECT_EQ(std::string(bytes.begin() + 10, bytes.begin() + 128), text + std::string(52, ' ') + "\n");
    double back[6];
    std::memcpy(back, bytes.data() + 128, sizeof back);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(std::memcmp(&back[k], &data[k], 8), 0);

    // NumPy must read it back, when it is available here.
    if (std::system("python3 -c 'import numpy' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no numpy";
    const std::string check = "python3 -c \"import numpy as np; a = np.load('" + path.string() +
                              "'); assert a.shape == (2, 3, 1, 1) and a.dtype == np.float64; "
                              "assert a.ravel().tolist() == [0.5, -1.0, 2.0, 3.25, 1e300, -0.0]\"";
    EXPECT_EQ(std::system(check.c_str()), 0);
    std::filesystem::remove(path);
}

TEST(Npy, HeaderIsAlwaysPaddedToSixtyFourBytes) {
    for (std::uint64_t n : {1ull, 10ull, 123456789ull, 18446744073709551615ull}) {
        const std::string h = npy_header({n, n, n, n});
        EXPECT_EQ((10 + h.size()) % 64, 0u) << n;
        EXPECT_EQ(h.back(), '\n');
    }
}

TEST(Npy, UnwritablePathIsAnIoError) {
    const std::vector<double> data{1.0};
    auto r = write_npy("/nonexistent-dir/x.npy", data, {1, 1, 1, 1});
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), KError::io(std::strerror(ENOENT)));
}
