// A model's parts as new Python objects: what the properties show and what a pickle carries.
#pragma once

#include "binding/py_ref.hpp"

#include "rbf/model.hpp"

namespace pymorvel::binding {

// Every reader returns a new object (lists are new lists of new floats, never
// views of the model) or throws with a Python exception pending.
PyRef kernel_name_of(const RbfVariant& model);
PyRef epsilon_of_model(const RbfVariant& model);
PyRef points_of(const RbfVariant& model);
PyRef values_of(const RbfVariant& model);
PyRef weights_of(const RbfVariant& model);
// None for a model without a polynomial term.
PyRef degree_of(const RbfVariant& model);
PyRef polynomial_coefficients_of(const RbfVariant& model);

}  // namespace pymorvel::binding
