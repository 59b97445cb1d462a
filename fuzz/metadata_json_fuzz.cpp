// Decodes arbitrary bytes as the metadata files (serato.json / apply.json, and a backup's
// catalog and manifest). Whatever decodes must survive encode -> decode unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/backup_catalog.h"
#include "engine/backup_manifest.h"
#include "library/serato_sql_json.h"

namespace {

void catalogRoundTrip(const std::uint8_t* data, std::size_t size) {
    using morrowdeck::BackupCatalog;
    const auto decoded = BackupCatalog::decode({data, size});
    if (!decoded) return;
    const auto bytes = decoded->encode();
    const auto again = BackupCatalog::decode(bytes);
    if (!again || again->tracks.size() != decoded->tracks.size() ||
        again->notInCrateFolder != decoded->notInCrateFolder ||
        again->storeFolder != decoded->storeFolder)
        std::abort();
    for (std::size_t i = 0; i < decoded->tracks.size(); ++i)
        if (again->tracks[i].file != decoded->tracks[i].file ||
            again->tracks[i].source != decoded->tracks[i].source)
            std::abort();
}

void manifestRoundTrip(const std::uint8_t* data, std::size_t size) {
    using morrowdeck::BackupManifest;
    const auto decoded =
        BackupManifest::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!decoded) return;
    const auto again = BackupManifest::decode(decoded->encode());
    if (!again || !(*again == *decoded)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    catalogRoundTrip(data, size);
    manifestRoundTrip(data, size);
    using namespace morrowdeck::SeratoSQL;
    const auto decoded = decodeJson(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!decoded) return 0;
    const auto again = decodeJson(encodeJson(*decoded));
    if (!again || !(*again == *decoded)) std::abort();
    return 0;
}
