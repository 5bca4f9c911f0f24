// Exception classes of the platform layer.
#pragma once

#include <stdexcept>

namespace larderly {

// An input/output error: a file that cannot be read or written.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace larderly
