// Merging restored track records into an existing database V2 file.
#include <map>
#include <set>

#include "library/serato_database.h"
#include "library/unicode_text.h"

namespace morrowdeck::SeratoDatabase {

Bytes merge(ByteView existingDatabase, const std::vector<Bytes>& records) {
    const std::size_t kept = completeChunksLength(existingDatabase);
    if (kept == 0) return data(records);

    // Canonical form of each restored path -> the last restored record for it.
    std::vector<std::optional<std::string>> keys;
    keys.reserve(records.size());
    std::map<std::string, const Bytes*> restored;
    for (const auto& record : records) {
        auto path = pfil(record);
        keys.push_back(path ? std::optional(text::nfcKey(*path)) : std::nullopt);
        if (keys.back()) restored[*keys.back()] = &record;
    }

    Bytes out;
    out.reserve(kept + records.size() * 512);
    std::set<std::string> placed;
    eachChunk(existingDatabase.first(kept), [&](std::string_view tag, ByteView payload) {
        if (tag == "otrk") {
            if (auto path = pfil(payload)) {
                std::string key = text::nfcKey(*path);
                if (auto found = restored.find(key); found != restored.end()) {
                    appendChunk(out, "otrk", *found->second);
                    placed.insert(std::move(key));
                    return;
                }
            }
        }
        out.insert(out.end(), payload.data() - 8, payload.data() + payload.size());
    });
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!keys[i])
            appendChunk(out, "otrk", records[i]);  // no path to match: a record of its own
        else if (placed.insert(*keys[i]).second)
            appendChunk(out, "otrk", *restored[*keys[i]]);
    }
    return out;
}

}  // namespace morrowdeck::SeratoDatabase
