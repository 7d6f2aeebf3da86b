// Rebuilding a model in patches from its parts, without solving again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rbf/patch_fitting.hpp"

namespace pymorvel {

// What a model's state keeps of a patch: its node and growth. Its members
// follow from them and the samples; its weights and coefficients travel
// together, patch after patch.
struct PatchPlace {
    std::uint64_t node = 0;
    std::uint64_t growth = 0;
};

// Rebuilds a model in patches from its parts, without solving: the samples
// pass the fit's checks, the lattice is built again from the domain, and every
// patch's members are found again from its node and growth by the fit's own
// test, so they are the fitted model's. Then each patch needs as many weights
// as members and (with a degree) the monomials checks a fit makes on them
// and one coefficient per monomial; every weight and coefficient finite.
template <class X, class Y>
Outcome<PatchModel<X, Y>> restore_patches(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                                          std::optional<std::size_t> degree, std::size_t patch_size,
                                          const PatchDomain& domain, const std::vector<PatchPlace>& places,
                                          std::vector<Y> weights, std::vector<Y> coefficients) {
    auto refuse = [](std::string text) { return Failure{"Rbf state: " + std::move(text)}; };
    if (x.empty() || x.size() != y.size()) return Failure{std::string(messages::STATE_COUNTS)};
    if (std::optional<std::string_view> refusal = patch_kernel_refusal(kernel, degree))
        return refuse(std::string(*refusal));
    if (patch_size < MIN_PATCH_SIZE || patch_size > MAX_PATCH_SIZE || x.size() > MAX_PATCH_SAMPLES)
        return Failure{std::string(messages::STATE_PATCH_SIZE)};
    PatchModel<X, Y> model;
    model.x = PointStorage<X>::from(std::move(x));
    Outcome<std::size_t> dimension = patch_dimension(model.x, y);
    if (auto* failure = std::get_if<Failure>(&dimension)) return refuse(std::move(failure->message));
    const std::size_t d = std::get<std::size_t>(dimension);
    Outcome<Lattice> made = patch_detail::lattice_for(model.x, d, domain, patch_size);
    if (auto* failure = std::get_if<Failure>(&made)) return refuse(std::move(failure->message));
    model.lattice = std::get<Lattice>(made);
    model.y = std::move(y);
    model.kernel = kernel;
    model.epsilon = epsilon;
    model.degree = degree;
    if (places.empty()) return Failure{std::string(messages::STATE_PATCH_PLACES)};
    for (std::size_t p = 0; p < places.size(); ++p)
        if (places[p].node >= model.lattice.nodes() || places[p].growth > MAX_PATCH_GROWTH ||
            (p > 0 && places[p].node <= places[p - 1].node))
            return Failure{std::string(messages::STATE_PATCH_PLACES)};
    if (!finite_weights(weights)) return Failure{std::string(messages::STATE_WEIGHTS_NOT_FINITE)};
    if (!finite_weights(coefficients)) return Failure{std::string(messages::STATE_COEFFICIENTS_NOT_FINITE)};
    const std::size_t monomials = degree ? PolynomialBasis::monomial_count(d, *degree) : 0;
    const SampleCells cells = sort_into_cells(model.x, model.lattice);
    std::size_t used = 0;
    model.patches.resize(places.size());
    for (std::size_t p = 0; p < places.size(); ++p) {
        Patch<Y>& patch = model.patches[p];
        patch.node = static_cast<std::uint32_t>(places[p].node);
        patch.growth = static_cast<unsigned>(places[p].growth);
        const PatchFrame frame = frame_of(model.lattice, patch.node, patch.growth);
        gather_members(model.x, cells, model.lattice, frame, model.lattice.radius(patch.growth), patch.members);
        if (patch.members.empty()) return Failure{std::string(messages::STATE_PATCH_PLACES)};
        if (degree) {
            Outcome<PolynomialBasis> basis =
                polynomial_basis(local_points<X>(model.x, patch.members, d, frame), *degree);
            if (auto* failure = std::get_if<Failure>(&basis)) return refuse(std::move(failure->message));
        }
        if (weights.size() - used < patch.members.size())
            return Failure{messages::state_patch_weight_count(weights.size())};
        patch.weights.assign(weights.begin() + static_cast<std::ptrdiff_t>(used),
                             weights.begin() + static_cast<std::ptrdiff_t>(used + patch.members.size()));
        used += patch.members.size();
        if (coefficients.size() < (p + 1) * monomials)
            return Failure{messages::state_patch_coefficient_count(coefficients.size(), places.size() * monomials)};
        patch.coefficients.assign(coefficients.begin() + static_cast<std::ptrdiff_t>(p * monomials),
                                  coefficients.begin() + static_cast<std::ptrdiff_t>((p + 1) * monomials));
    }
    if (used != weights.size()) return Failure{messages::state_patch_weight_count(weights.size())};
    if (coefficients.size() != places.size() * monomials)
        return Failure{messages::state_patch_coefficient_count(coefficients.size(), places.size() * monomials)};
    model.cover = build_cover(model.lattice, model.patches);
    model.frames = frames_of(model.lattice, model.patches);
    return model;
}

}  // namespace pymorvel
