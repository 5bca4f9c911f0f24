// Errors of the recipe store: the table engine's failures carry its message.
#pragma once

#include <stdexcept>
#include <string>

namespace larderly {

class EStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Another process held the files locked for longer than the store waits: nothing is wrong
// with them, they are only in use.
class EStoreBusy : public EStoreError {
public:
    using EStoreError::EStoreError;
};

inline constexpr const char* kRecipeNotFound = "Unable to find Recipe Record. Contact Support";
inline constexpr const char* kLabelNotFound = "Unable to find Label Record. Contact Support";

} // namespace larderly
