#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace vantory::service {

// One connection to PostgreSQL (libpq) with its prepared statements. Not
// thread-safe: one user at a time. Failures raise StorageError: a lost or
// refused connection is `unavailable`, a full disk `full`, and so on.
class PgConnection {
 public:
  // The rows of one statement, as text.
  class Result {
   public:
    explicit Result(pg_result* result) : result_(result) {}
    ~Result();
    Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result& operator=(Result&&) = delete;

    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    // The value as a 64-bit whole number; a value that is not one (NULL,
    // text, a fraction, beyond 64 bits) raises StorageError instead of
    // passing for 0.
    std::int64_t integer(int row, int column) const;

   private:
    pg_result* result_;
  };

  // A transaction: begun when made, rolled back when it ends without
  // commit(), whatever ended it.
  class Transaction {
   public:
    explicit Transaction(PgConnection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

   private:
    PgConnection& connection_;
    bool open_ = true;
  };

  // Connects, waiting at most the timeout.
  PgConnection(const std::string& url, std::chrono::seconds timeout);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // A statement without parameters (BEGIN, COMMIT, LISTEN, DDL).
  void exec(const std::string& sql);
  // A statement with text parameters, prepared once under its name.
  Result run(const char* name, const char* sql, const std::vector<std::string>& parameters);
  // Ends a failed transaction without throwing (or leaves a broken
  // connection broken).
  void rollbackQuietly() noexcept;
  // Whether the connection can still be used.
  bool healthy() const;

  // A round trip to the server; true when notifications (of LISTEN) came
  // with it. The server sends every notification of a transaction committed
  // before the round trip began ahead of its reply, so none is missed.
  bool notifiedSinceLastAsked();

  // "host:port/dbname", never the password: for messages.
  static std::string describe(const std::string& url);

 private:
  [[noreturn]] void fail(const std::string& what, pg_result* result) const;

  pg_conn* connection_ = nullptr;
  std::set<std::string> prepared_;
};

}  // namespace vantory::service
