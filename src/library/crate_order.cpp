#include "library/crate_order.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "library/name_order.h"
#include "library/text_encoding.h"
#include "library/unicode_text.h"

namespace morrowdeck::CrateOrder {

namespace {

constexpr std::string_view beginRecord = "[begin record]";
constexpr std::string_view endRecord = "[end record]";
constexpr std::string_view crateLine = "[crate]";

// Appends the names not yet listed (by canonical equivalence) to out.
void appendNew(std::vector<std::string>& out, std::set<std::string>& listed,
               const std::vector<std::string>& names) {
    for (const auto& name : names)
        if (listed.insert(text::nfcKey(name)).second) out.push_back(name);
}

}  // namespace

std::vector<std::string> parse(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> names;
    std::string line;
    // Lines end at the code unit U+000A; a stray odd byte at the end belongs to no line.
    const std::size_t even = bytes.size() & ~std::size_t{1};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= even; i += 2) {
        if (i < even && !(bytes[i] == 0 && bytes[i + 1] == '\n')) continue;
        line.clear();
        if (text::appendDecodedUtf16BE(line, bytes.subspan(start, i - start))) {
            if (line.ends_with('\r')) line.pop_back();
            if (line.starts_with(crateLine) && line.size() > crateLine.size())
                names.push_back(line.substr(crateLine.size()));
        }
        start = i + 2;
    }
    return names;
}

std::vector<std::uint8_t> data(const std::vector<std::string>& names) {
    std::vector<std::uint8_t> out;
    const auto appendLine = [&](std::string_view prefix, std::string_view text) {
        text::appendUtf16BE(out, prefix);
        text::appendUtf16BE(out, text);
        text::appendUtf16BE(out, "\n");
    };
    appendLine(beginRecord, "");
    for (const auto& name : names)
        if (!name.empty() && name.find_first_of("\r\n") == std::string::npos)
            appendLine(crateLine, name);
    appendLine(endRecord, "");
    return out;
}

std::vector<std::string> merge(const std::vector<std::string>& saved,
                               const std::vector<std::string>& restored,
                               const std::vector<std::string>& existing) {
    std::vector<std::string> order;
    std::set<std::string> listed;
    appendNew(order, listed, saved);
    std::vector<std::string> sorted = restored;
    std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return text::nameLess(a, b);
    });
    appendNew(order, listed, sorted);
    appendNew(order, listed, existing);
    return order;
}

}  // namespace morrowdeck::CrateOrder
