#pragma once

#include <memory>
#include <utility>

namespace vantory::service {

// A pooled connection for one call: borrowed from its storage when made,
// handed back when the call ends, however it ends. The storage decides what
// a returned connection is worth (one that broke is dropped).
template <typename Pool, typename Connection>
class ConnectionLease {
 public:
  explicit ConnectionLease(Pool& pool) : pool_(pool), connection_(pool.borrow()) {}
  ~ConnectionLease() { pool_.giveBack(std::move(connection_)); }
  ConnectionLease(const ConnectionLease&) = delete;
  ConnectionLease& operator=(const ConnectionLease&) = delete;

  Connection& operator*() { return *connection_; }

 private:
  Pool& pool_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace vantory::service
