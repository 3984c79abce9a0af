// Shared by the fetch benchmarks: the test database and the in-process fetch
// through our driver manager.
#pragma once

#include <string>

namespace agent_bench {

constexpr const char* kSqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// Points the driver manager's configuration at dir and makes dir/bench.db with
// `rows` rows of (INTEGER, VARCHAR(20), DOUBLE) unless it already has them.
bool MakeDatabase(const std::string& dir, long rows);

// Fetches every row of the table with bound columns and block fetch; returns
// the rows seen, or -1 on failure.
long FetchInProcess(const std::string& dbFile, int rowset);

}  // namespace agent_bench
