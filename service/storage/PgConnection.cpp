#include "PgConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <memory>

#include "storage/StorageError.h"

namespace vantory::service {

namespace {

// What kind of failure an SQLSTATE is.
StorageError::Kind kindOf(std::string_view state) {
  if (state.substr(0, 2) == "08" || state == "57P01" || state == "57P02" || state == "57P03" ||
      state.empty()) {
    return StorageError::Kind::unavailable;  // connection lost, server going down
  }
  if (state == "53100") {
    return StorageError::Kind::full;
  }
  if (state == "25006") {
    return StorageError::Kind::readOnly;
  }
  if (state == "40001" || state == "40P01" || state == "55P03" || state == "53300") {
    return StorageError::Kind::busy;
  }
  if (state.substr(0, 2) == "XX") {
    return StorageError::Kind::unreadable;  // data corrupted
  }
  return StorageError::Kind::failed;
}

}  // namespace

PgConnection::Result::~Result() { PQclear(result_); }

int PgConnection::Result::rows() const { return PQntuples(result_); }

bool PgConnection::Result::isNull(int row, int column) const {
  return PQgetisnull(result_, row, column) != 0;
}

std::string PgConnection::Result::text(int row, int column) const {
  return {PQgetvalue(result_, row, column),
          static_cast<std::size_t>(PQgetlength(result_, row, column))};
}

std::int64_t PgConnection::Result::integer(int row, int column) const {
  const char* value = PQgetvalue(result_, row, column);
  const char* end = value + PQgetlength(result_, row, column);
  std::int64_t number = 0;
  const auto [stop, error] = std::from_chars(value, end, number);
  if (isNull(row, column) || error != std::errc{} || stop != end || value == end) {
    throw StorageError(StorageError::Kind::unreadable,
                       "the database gave \"" + std::string(value, end).substr(0, 40) + "\" (row " +
                           std::to_string(row) + ", column " + std::to_string(column) +
                           ") where a whole number belongs");
  }
  return number;
}

PgConnection::Transaction::Transaction(PgConnection& connection) : connection_(connection) {
  connection_.exec("BEGIN");
}

PgConnection::Transaction::~Transaction() {
  if (open_) {
    connection_.rollbackQuietly();
  }
}

void PgConnection::Transaction::commit() {
  connection_.exec("COMMIT");
  open_ = false;
}

std::string PgConnection::describe(const std::string& url) {
  std::string host = "?";
  std::string port = "5432";
  std::string database = "?";
  char* error = nullptr;
  if (PQconninfoOption* options = PQconninfoParse(url.c_str(), &error)) {
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
      const std::string keyword = option->keyword;
      if (option->val == nullptr) {
        continue;
      }
      if (keyword == "host" || (keyword == "hostaddr" && host == "?")) {
        host = option->val;
      } else if (keyword == "port") {
        port = option->val;
      } else if (keyword == "dbname") {
        database = option->val;
      }
    }
    PQconninfoFree(options);
  }
  PQfreemem(error);
  return host + ":" + port + "/" + database;
}

PgConnection::PgConnection(const std::string& url, std::chrono::seconds timeout) {
  const std::string seconds = std::to_string(std::max<long long>(1, timeout.count()));
  // Defaults first: what the URL says wins. Keepalives and a user timeout
  // notice a database that vanished from the network, so no request waits
  // on it for ever.
  const char* keywords[] = {
      "connect_timeout",  "application_name", "keepalives_idle", "keepalives_interval",
      "keepalives_count", "tcp_user_timeout", "dbname",          nullptr};
  const char* values[] = {seconds.c_str(), "vantory-server", "10",   "5", "3",
                          "30000",         url.c_str(),      nullptr};
  connection_ = PQconnectdbParams(keywords, values, /*expand_dbname=*/1);
  if (PQstatus(connection_) != CONNECTION_OK) {
    std::string reason = connection_ != nullptr ? PQerrorMessage(connection_) : "out of memory";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
      reason.pop_back();
    }
    PQfinish(connection_);
    connection_ = nullptr;
    throw StorageError(StorageError::Kind::unavailable,
                       "cannot connect to the database at " + describe(url) + ": " + reason);
  }
}

PgConnection::~PgConnection() { PQfinish(connection_); }

void PgConnection::fail(const std::string& what, pg_result* result) const {
  const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string message = result != nullptr ? PQresultErrorMessage(result) : "";
  if (message.empty()) {
    message = PQerrorMessage(connection_);
  }
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  const std::string code = state != nullptr ? state : "";
  PQclear(result);
  throw StorageError(
      PQstatus(connection_) == CONNECTION_OK ? kindOf(code) : StorageError::Kind::unavailable,
      what + ": " + message + (code.empty() ? "" : " (SQLSTATE " + code + ")"));
}

void PgConnection::exec(const std::string& sql) {
  PGresult* result = PQexec(connection_, sql.c_str());
  const auto status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    fail("running \"" + sql.substr(0, sql.find_first_of("\n;")) + "\"", result);
  }
  PQclear(result);
}

PgConnection::Result PgConnection::run(const char* name, const char* sql,
                                       const std::vector<std::string>& parameters) {
  if (prepared_.count(name) == 0) {
    PGresult* prepared = PQprepare(connection_, name, sql, 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK) {
      fail(std::string("preparing ") + name, prepared);
    }
    PQclear(prepared);
    prepared_.insert(name);
  }
  std::vector<const char*> values;
  std::vector<int> lengths;
  for (const std::string& parameter : parameters) {
    values.push_back(parameter.data());
    lengths.push_back(static_cast<int>(parameter.size()));
  }
  PGresult* result = PQexecPrepared(connection_, name, static_cast<int>(values.size()),
                                    values.data(), lengths.data(), nullptr, 0);
  const auto status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    fail(std::string("running ") + name, result);
  }
  return Result(result);
}

void PgConnection::rollbackQuietly() noexcept {
  if (PQstatus(connection_) == CONNECTION_OK && PQtransactionStatus(connection_) != PQTRANS_IDLE) {
    PQclear(PQexec(connection_, "ROLLBACK"));
  }
}

bool PgConnection::healthy() const {
  return PQstatus(connection_) == CONNECTION_OK && PQtransactionStatus(connection_) == PQTRANS_IDLE;
}

bool PgConnection::notifiedSinceLastAsked() {
  PGresult* result = PQexec(connection_, "");
  if (PQresultStatus(result) != PGRES_EMPTY_QUERY) {
    fail("asking for notifications", result);
  }
  PQclear(result);
  bool notified = false;
  while (PGnotify* notification = PQnotifies(connection_)) {
    notified = true;
    PQfreemem(notification);
  }
  return notified;
}

}  // namespace vantory::service
