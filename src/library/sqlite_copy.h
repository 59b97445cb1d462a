#pragma once

#include <chrono>
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

// How copySqliteDatabase below treats its source and its copy.
struct SqliteCopyOptions {
    // Opens `from` read-only, so nothing can ever be written to it (a live database of another
    // program). A WAL database opened so may get empty -wal and -shm files beside it, which a
    // read-only connection cannot remove; the read-write default removes them but, as the last
    // connection, may checkpoint a leftover -wal into the file.
    bool readOnlySource = false;
    // How long other programs' locks are waited for.
    std::chrono::milliseconds busyTimeout{3000};
    // Runs SQLite's quick check on the copy; a damaged copy is a failure.
    bool checkCopy = false;
    // Gives the copy the source file's change counter and schema cookie (the only header
    // bytes SQLite's online backup changes as it commits the copy), so that a copy of a
    // database nobody wrote to meanwhile holds the source file's very bytes.
    bool sameHeader = false;
};

struct SqliteCopyResult {
    std::string problem;  // empty on success
    bool busy = false;    // the source stayed locked by a writer for the whole timeout
};

// The same copy with the given options.
SqliteCopyResult copySqliteDatabase(const std::filesystem::path& from,
                                    const std::filesystem::path& to,
                                    const SqliteCopyOptions& options);

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
