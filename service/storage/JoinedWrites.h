#pragma once

namespace vantory::service {

// While one is alive, the writes a storage makes on this thread join the
// transaction already open on the connection instead of waiting for a
// commit of their own: how a write and its Idempotency-Key share one
// transaction though the write is made through the storage's usual calls.
template <typename Connection>
class JoinedWrites {
 public:
  JoinedWrites(const void* storage, Connection& connection) { open() = {storage, &connection}; }
  ~JoinedWrites() { open() = {}; }
  JoinedWrites(const JoinedWrites&) = delete;
  JoinedWrites& operator=(const JoinedWrites&) = delete;

  // The connection whose transaction the storage's writes join on this
  // thread; nullptr when there is none.
  static Connection* of(const void* storage) {
    return open().storage == storage ? open().connection : nullptr;
  }

 private:
  struct Open {
    const void* storage = nullptr;
    Connection* connection = nullptr;
  };
  static Open& open() {
    thread_local Open current;
    return current;
  }
};

}  // namespace vantory::service
