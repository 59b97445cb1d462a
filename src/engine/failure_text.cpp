#include "engine/failure_text.h"

#include <new>

namespace morrowdeck {

std::string failureText(const std::exception_ptr& error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc&) {
            return "Not enough memory to go on.";
        } catch (const std::exception& caught) {
            return caught.what();
        } catch (...) {
            return "An unexpected error stopped the work.";
        }
    } catch (...) {
        return {};  // building the text itself failed
    }
}

}  // namespace morrowdeck
