// Times the in-place LU factorisation of a matrix read from a raw little-endian float64 file.
//
// usage: lu_bench FILE N REPEATS  ->  prints the best time in seconds of REPEATS timed rounds
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "linear_algebra/lu.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE N REPEATS\n", argv[0]);
        return 2;
    }
    const std::size_t n = std::strtoull(argv[2], nullptr, 10);
    const int repeats = std::atoi(argv[3]);
    std::vector<double> data(n * n);
    std::FILE* f = std::fopen(argv[1], "rb");
    if (f == nullptr || std::fread(data.data(), sizeof(double), data.size(), f) != data.size()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::fclose(f);
    // One untimed round first: it starts the worker pool and sizes the
    // threads' scratch buffers, as an earlier call would in a long-lived process.
    double best = std::numeric_limits<double>::infinity();
    for (int r = -1; r < repeats; ++r) {
        pymorvel::SquareMatrix a(n);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) a(i, j) = data[i * n + j];
        const auto start = std::chrono::steady_clock::now();
        const auto factors = pymorvel::lu_decompose(std::move(a));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r >= 0 && seconds < best) best = seconds;
    }
    std::printf("%.6f\n", best);
    return 0;
}
