// What SQLite itself does for the service's busiest write, an interest: the
// record inserted and the deal's counter raised, committed in batches of 64.
// The limit the service's addInterested is measured against
// (bench/group-commit).
//
//   sqlite_batch_limit DATABASE normal|full [WRITES]

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "storage/SqliteStorage.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: sqlite_batch_limit DATABASE normal|full [WRITES]\n");
    return 2;
  }
  const std::string path = argv[1];
  const bool full = std::string(argv[2]) == "full";
  const int writes = argc > 3 ? std::stoi(argv[3]) : 100000;
  {
    // The service's own schema, and one deal to count on.
    vantory::service::SqliteStorage storage(path);
    storage.addStore("Bench", "Bench User");
    storage.addItem(1, "Deal", "", "1", "Bench User");
  }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", nullptr, nullptr,
               nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO interests (item_id, name, qty) VALUES (1, ?1, 1)", -1,
                     &insert, nullptr);
  sqlite3_prepare_v2(db, "UPDATE items SET interested = interested + 1 WHERE id = 1", -1, &count,
                     nullptr);
  const auto started = std::chrono::steady_clock::now();
  for (int done = 0; done < writes;) {
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (int i = 0; i < 64 && done < writes; ++i, ++done) {
      sqlite3_bind_text(insert, 1, "Bench User", -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
      sqlite3_step(count);
      sqlite3_reset(count);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%.0f writes/s (%s, batches of 64)\n", writes / seconds, full ? "full" : "normal");
  sqlite3_finalize(insert);
  sqlite3_finalize(count);
  sqlite3_close(db);
  return 0;
}
