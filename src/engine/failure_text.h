#pragma once

#include <exception>
#include <string>

namespace morrowdeck {

// The text a failure result carries for an exception caught at the edge of a thread: the
// message of a std::exception, a plain sentence for exhausted memory and for anything else
// thrown. Never throws.
std::string failureText(const std::exception_ptr& error) noexcept;

}  // namespace morrowdeck
