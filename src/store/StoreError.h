// Errors of the recipe store: the table engine's failures carry its message.
#pragma once

#include <stdexcept>
#include <string>

namespace larderly {

class EStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kRecipeNotFound = "Unable to find Recipe Record. Contact Support";
inline constexpr const char* kLabelNotFound = "Unable to find Label Record. Contact Support";

} // namespace larderly
