// Writing the text form of a model.
#include "rbf/describe.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace pymorvel {

std::string format_epsilon(double v) {
    if (std::isnan(v)) return "NaN";
    std::string out = std::signbit(v) ? "-" : "";
    if (std::isinf(v)) return out + "inf";

    // 1. Shortest digits that read back as v, in scientific form d.ddd e±x.
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    if (ec != std::errc{}) return out + "NaN";  // cannot happen for a finite double
    const std::string text(buf, end);
    const std::size_t e_pos = text.find('e');
    std::string digits;
    for (std::size_t i = 0; i < e_pos; ++i)
        if (text[i] != '.') digits.push_back(text[i]);
    const long exponent = std::strtol(text.c_str() + e_pos + 1, nullptr, 10);

    // 2. Place the decimal point: value = 0.d1d2... x 10^(exponent + 1).
    const long n = static_cast<long>(digits.size());
    if (exponent >= n - 1) {
        out += digits;
        out.append(static_cast<std::size_t>(exponent - (n - 1)), '0');
    } else if (exponent >= 0) {
        out += digits.substr(0, static_cast<std::size_t>(exponent + 1));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(exponent + 1));
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

std::string describe(std::size_t shape, double epsilon) {
    std::string text(SHAPE_LABELS[shape]);
    text += ": epsilon = ";
    text += format_epsilon(epsilon);
    return text;
}

std::string describe(const RbfVariant& model) { return describe(tag_of(model), epsilon_of(model)); }

}  // namespace pymorvel
