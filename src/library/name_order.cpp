#include "library/name_order.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <memory>

namespace morrowdeck::text {

namespace {

std::unique_ptr<icu::Collator> makeCollator() {
    icu::Locale locale = icu::Locale::getDefault();
    // LANG=C or unset gives en_US_POSIX, whose tailoring orders by code point; the root
    // order is what a user expects there.
    if (std::string_view(locale.getName()) == "en_US_POSIX" || locale.isBogus())
        locale = icu::Locale::getRoot();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return nullptr;
    }
    collator->setStrength(icu::Collator::TERTIARY);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    collator->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, status);
    return collator;
}

}  // namespace

int compareNames(std::string_view a, std::string_view b) {
    // One collator for every thread: ICU's const calls such as compareUTF8 may run
    // concurrently. Not one per thread: mingw-w64 frees a thread_local's storage before its
    // destructor runs at thread exit, which crashed the Windows build.
    static const std::unique_ptr<const icu::Collator> collator = makeCollator();
    if (collator) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = collator->compareUTF8(
            icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status) && result != UCOL_EQUAL) return result == UCOL_LESS ? -1 : 1;
    }
    // Tie-break on code points (UTF-8 byte order is code-point order).
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace morrowdeck::text
