// Fits and predicts a fixed set of models and writes every weight, coefficient and prediction as the hex of its bits, so that two builds can be compared bit for bit.
//
// usage: pymorvel_bit_driver OUTPUT
//
// Every kernel, the four shapes, smoothing and a polynomial term, sizes from a
// few points to 600 (the blocked LU's several panels), on pools of 1, 2 and 7
// workers, and fits in patches with their gradients. The inputs come from a
// fixed generator mapped exactly to doubles, and the values from products and
// sums alone, so every build starts from the same
// bits; the C library's sin or exp would not.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "fixtures.hpp"
#include "linear_algebra/execution.hpp"
#include "rbf/fitting.hpp"
#include "rbf/gradient.hpp"
#include "rbf/patch_evaluation.hpp"
#include "rbf/patch_fitting.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel {
namespace {

using testing_support::Uniform;

// Fits of every combination at these sizes in turn; the large ones on their own.
constexpr std::size_t SIZES[] = {3, 40, 101, 150, 330};
constexpr std::size_t LARGE = 600;
constexpr unsigned WORKERS[] = {1, 2, 7};
constexpr std::size_t DIMENSION = 2;

enum class Option { plain, smoothing, degree };
constexpr const char* OPTION_NAMES[] = {"plain", "smoothing", "degree"};

struct Writer {
    std::FILE* out;
    std::size_t values = 0;

    void put(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        std::fprintf(out, "%016" PRIx64 "\n", bits);
        ++values;
    }
    void put(const Vector& v) {
        for (double c : v) put(c);
    }
    template <class Y>
    void put_all(const std::vector<Y>& ys) {
        for (const Y& y : ys) put(y);
    }
};

// Points spread so that neighbours lie about one apart whatever their number:
// the kernel matrices stay far from singular at every size.
double point_number(Uniform& u, std::size_t n) { return u() * static_cast<double>(n); }

Vector point_vector(Uniform& u, std::size_t n) {
    double side = 1.0;
    while (side * side < static_cast<double>(n)) side += 1.0;
    Vector p(DIMENSION);
    for (double& c : p) c = u() * side;
    return p;
}

double coordinate(double x) { return x; }
double coordinate(const Vector& x) { return x[0] - 0.5 * x[1]; }

double value_number(Uniform& u, double t) { return t * t * 0.01 - t + 0.1 * u(); }

Vector value_vector(Uniform& u, double t) { return {value_number(u, t), 0.5 * t + u()}; }

template <class X>
X point(Uniform& u, std::size_t n);
template <>
double point<double>(Uniform& u, std::size_t n) { return point_number(u, n); }
template <>
Vector point<Vector>(Uniform& u, std::size_t n) { return point_vector(u, n); }

template <class Y>
Y value(Uniform& u, double t);
template <>
double value<double>(Uniform& u, double t) { return value_number(u, t); }
template <>
Vector value<Vector>(Uniform& u, double t) { return value_vector(u, t); }

template <class X, class Y>
void run_case(Writer& w, const KernelEntry& kernel, Option option, std::size_t n, std::size_t queries, unsigned workers,
              std::uint64_t seed) {
    Uniform u{std::mt19937_64(seed)};
    std::vector<X> x, x_new;
    std::vector<Y> y;
    for (std::size_t i = 0; i < n; ++i) {
        x.push_back(point<X>(u, n));
        y.push_back(value<Y>(u, coordinate(x.back())));
    }
    for (std::size_t i = 0; i < queries; ++i) x_new.push_back(point<X>(u, n));
    FitOptions options;
    if (option == Option::smoothing) options.smoothing = 1e-3;
    if (option == Option::degree) options.degree = 1;
    const Execution execution{.pool = &testing_support::pool_of(workers)};

    std::fprintf(w.out, "# %s %s -> %s %s n=%zu workers=%u\n", std::string(kernel.name).c_str(),
                 std::is_same_v<X, double> ? "number" : "vector", std::is_same_v<Y, double> ? "number" : "vector",
                 OPTION_NAMES[static_cast<int>(option)], n, workers);
    // A polyharmonic kernel's default is its minimum degree, as the constructor makes it.
    const Outcome<std::optional<std::size_t>> degree = kernel_degree(kernel.kernel, options.degree);
    if (const Failure* failure = std::get_if<Failure>(&degree)) {
        std::fprintf(w.out, "refused: %s\n", failure->message.c_str());
        return;
    }
    options.degree = std::get<std::optional<std::size_t>>(degree);
    Outcome<RbfModel<X, Y>> model = fit(std::move(x), std::move(y), kernel.kernel, 0.7, options, execution);
    if (const Failure* failure = std::get_if<Failure>(&model)) {
        std::fprintf(w.out, "fit failed: %s\n", failure->message.c_str());
        return;
    }
    const RbfModel<X, Y>& m = std::get<RbfModel<X, Y>>(model);
    w.put_all(m.weights);
    if (m.polynomial) w.put_all(m.polynomial->coefficients);
    Outcome<std::vector<Y>> predicted = predict(m, std::span<const X>(x_new), execution);
    if (const Failure* failure = std::get_if<Failure>(&predicted)) {
        std::fprintf(w.out, "predict failed: %s\n", failure->message.c_str());
        return;
    }
    w.put_all(std::get<std::vector<Y>>(predicted));
}

template <class X, class Y>
void run_shape(Writer& w, std::size_t& case_number) {
    for (unsigned workers : WORKERS)
        for (const KernelEntry& kernel : KERNELS)
            for (Option option : {Option::plain, Option::smoothing, Option::degree}) {
                const std::size_t n = SIZES[case_number % std::size(SIZES)];
                run_case<X, Y>(w, kernel, option, n, 50, workers, ++case_number);
            }
    // One large fit per worker count, kernel and option in turn: its
    // predictions (250 x 600) run on the pool too.
    for (unsigned workers : WORKERS) {
        const KernelEntry& kernel = KERNELS[case_number % KERNELS.size()];
        const Option option = static_cast<Option>(case_number % 3);
        run_case<X, Y>(w, kernel, option, LARGE, 250, workers, ++case_number);
    }
}

// A fit in patches, with its predictions and gradients: the lattice, the
// members, the local fits and the blend, on every worker count.
void run_patches(Writer& w, std::size_t& case_number) {
    constexpr std::size_t N = 2000, QUERIES = 300;
    for (unsigned workers : WORKERS)
        for (const Kernel kernel : {multiquadric, polyharmonic_2}) {
            Uniform u{std::mt19937_64(++case_number)};
            std::vector<Vector> x, x_new;
            std::vector<double> y;
            for (std::size_t i = 0; i < N; ++i) {
                x.push_back(point_vector(u, N));
                y.push_back(value_number(u, coordinate(x.back())));
            }
            for (std::size_t i = 0; i < QUERIES; ++i) x_new.push_back(point_vector(u, N));
            FitOptions options;
            options.degree = 1;
            const Execution execution{.pool = &testing_support::pool_of(workers)};
            std::fprintf(w.out, "# patches %s n=%zu workers=%u\n", std::string(kernel_name(kernel)).c_str(), N, workers);
            Outcome<PatchModel<Vector, double>> model =
                fit_patches(std::move(x), std::move(y), kernel, 3.0, options, PatchOptions{32}, execution);
            if (const Failure* failure = std::get_if<Failure>(&model)) {
                std::fprintf(w.out, "fit failed: %s\n", failure->message.c_str());
                continue;
            }
            const auto& m = std::get<PatchModel<Vector, double>>(model);
            const std::span<const Vector> queries(x_new);
            auto predicted = predict(m, queries, execution);
            auto slopes = gradient(m, queries, execution);
            if (std::holds_alternative<Failure>(predicted) || std::holds_alternative<Failure>(slopes)) {
                std::fprintf(w.out, "evaluation failed\n");
                continue;
            }
            w.put_all(std::get<0>(predicted));
            w.put_all(std::get<0>(slopes));
        }
}

}  // namespace
}  // namespace pymorvel

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    pymorvel::Writer w{out};
    std::size_t case_number = 0;
    using pymorvel::Vector;
    pymorvel::run_shape<double, double>(w, case_number);
    pymorvel::run_shape<double, Vector>(w, case_number);
    pymorvel::run_shape<Vector, double>(w, case_number);
    pymorvel::run_shape<Vector, Vector>(w, case_number);
    pymorvel::run_patches(w, case_number);
    std::printf("%zu cases, %zu values written to %s\n", case_number, w.values, argv[1]);
    return std::fclose(out) == 0 ? 0 : 1;
}
