#pragma once

#include <filesystem>
#include <string>

namespace morrowdeck {

// Copies the whole content of the SQLite database `from` into the database file `to` through
// SQLite's online backup: what a reader of `from` sees (its -wal state included) is what `to`
// holds afterwards, page for page, and `to` is written under SQLite's own locks and journal,
// so a `to` that is a live database (Serato's) is replaced in one transaction or not at all.
// Used both to save Serato's database before a change and to put the saved copy back.
// Other programs' locks are waited for 3000 ms. Empty on success, else what went wrong.
std::string copySqliteDatabase(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether `file` is a whole SQLite database: opened read-only and run through SQLite's quick
// check. Empty when it is, else what is wrong (not a database, damaged pages, unreadable).
std::string checkSqliteDatabase(const std::filesystem::path& file);

}  // namespace morrowdeck
