#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
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

// Reads what the database `file` holds as SQL (its schema, then every row of every table in
// a fixed order, in one read transaction) and hands an encoding of it to `sink`, piece by
// piece. Two databases with the same tables and rows give the same bytes whatever their files
// look like: pages still in a -wal, a checkpoint since, free pages or another page order do not
// count, so a hash of it tells whether the data changed. Virtual tables are left out (their
// rows live in their own tables). Empty on success, else what went wrong.
std::string readSqliteContent(const std::filesystem::path& file,
                              const std::function<void(std::span<const std::uint8_t>)>& sink);

}  // namespace morrowdeck
