#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantory::service {

// The people allowed to use a protected service: a text file of "name:hash"
// lines, the hashes made by the system's crypt() (yescrypt), each optionally
// followed by ":" and the name the person goes by in the app (the rest of
// the line) when that is not the sign-in name. Blank lines and lines
// starting with '#' are ignored.
class UserList {
 public:
  // Reads the file; throws with the line at fault when it is not a list.
  static UserList load(const std::filesystem::path& file);

  // Whether the name is listed with that password. Slow on purpose (the hash
  // is costly), so callers keep what they verified.
  bool verify(std::string_view name, std::string_view password) const;
  // How many passwords verify() has hashed in this process.
  static std::uint64_t hashesComputed() { return hashesComputed_.load(); }
  bool contains(std::string_view name) const;
  std::size_t size() const { return entries_.size(); }
  // The name a listed person's records are under: their name in the app,
  // or else their sign-in name.
  std::string recordName(std::string_view name) const;

  // A new hash of the password, with a random salt.
  static std::string hashPassword(std::string_view password);
  // Why a name cannot be listed, if it cannot.
  static std::optional<std::string> checkName(std::string_view name);
  // Why a name in the app cannot be listed, if it cannot.
  static std::optional<std::string> checkNameInApp(std::string_view name);
  // Sets the user's password in the file (adds the line, or replaces it),
  // keeping every other line; creates the file if needed. The name in the
  // app is set when given (empty: the sign-in name) and otherwise kept. The
  // file is replaced as a whole, so a crash leaves the old list or the new one.
  static void storePassword(const std::filesystem::path& file, std::string_view name,
                            std::string_view password,
                            std::optional<std::string_view> nameInApp = std::nullopt);

 private:
  struct Entry {
    std::string hash;
    std::string nameInApp;  // empty: the sign-in name
  };
  std::map<std::string, Entry, std::less<>> entries_;
  static inline std::atomic<std::uint64_t> hashesComputed_{0};
};

}  // namespace vantory::service
