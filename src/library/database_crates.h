#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "library/master_database.h"
#include "library/tree_builder.h"

// The crates Serato's database (master.sqlite) holds for one library folder.
namespace morrowdeck::DatabaseCrates {

// Serato keeps one database for every volume, while a library folder lists the tracks of its
// own volume only. Inserts into `builder` each crate (type 1) and smart crate (type 2, below
// the "Smart Crates" group) that lists tracks on the volume mounted at `volumePrefix` ("" for
// the root volume), with those tracks in the crate's order as absolute paths; on the root
// volume also every crate that lists no track on any volume. The ancestors of each come along
// as crates. Names are trimmed as crate file names are; containers of other types are left
// out, but crates below them keep their place. `warnings` gets the database's own read
// warnings and what the merge noticed (unknown kinds of crates, columns of a newer schema).
// False, with a warning, when the database's crates were not used: it was read only in part,
// or no volume of it is mounted at `volumePrefix`. `file` names the database in warnings.
bool insert(TreeBuilder& builder, const MasterDatabase& database, const std::filesystem::path& file,
            std::string_view volumePrefix, std::vector<std::string>* warnings);

}  // namespace morrowdeck::DatabaseCrates
