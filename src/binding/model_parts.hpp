// A model's parts as new Python objects: what the properties show and what a pickle carries.
#pragma once

#include "binding/py_ref.hpp"

#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

// Every reader returns a new object (lists are new lists of new floats, never
// views of the model) or throws with a Python exception pending.
PyRef kernel_name_of(const AnyModel& model);
PyRef epsilon_of_model(const AnyModel& model);
PyRef points_of(const AnyModel& model);
PyRef values_of(const AnyModel& model);
PyRef weights_of(const AnyModel& model);
// None for a model without a polynomial term.
PyRef degree_of(const AnyModel& model);
// A model fitted in patches has weights and coefficients per patch only:
// these two raise AttributeError for it.
PyRef polynomial_coefficients_of(const AnyModel& model);
// None for a dense model.
PyRef patch_size_of(const AnyModel& model);

}  // namespace pymorvel::binding
