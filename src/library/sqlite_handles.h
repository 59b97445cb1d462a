#pragma once

#include <sqlite3.h>

#include <memory>

namespace morrowdeck {

// Owning handles for a SQLite connection and a prepared statement: closed and finalized when
// they go out of scope, on every path out of the code that opened them.
struct CloseSqliteConnection {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeSqliteStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqliteConnection = std::unique_ptr<sqlite3, CloseSqliteConnection>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, FinalizeSqliteStatement>;

}  // namespace morrowdeck
