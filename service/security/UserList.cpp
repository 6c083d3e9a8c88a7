#include "UserList.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "Utf8.h"
#include "api/RecordValidator.h"

namespace vantory::service {

namespace {

std::string_view withoutCarriageReturn(std::string_view line) {
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

bool isComment(std::string_view line) {
  return line.empty() || line.front() == '#' ||
         line.find_first_not_of(" \t") == std::string_view::npos;
}

std::string systemError(const std::string& what, const std::filesystem::path& file) {
  return what + " " + file.string() + ": " + std::strerror(errno);
}

}  // namespace

UserList UserList::load(const std::filesystem::path& file) {
  // A directory opens as a stream that reads nothing: an empty list, not an error.
  if (std::error_code ignored; std::filesystem::is_directory(file, ignored)) {
    errno = EISDIR;
    throw std::runtime_error(systemError("cannot read the user list", file));
  }
  std::ifstream in(file);
  if (!in) {
    throw std::runtime_error(systemError("cannot read the user list", file));
  }
  UserList users;
  std::map<std::string, std::string> recordNames;  // name in the app -> sign-in name
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    const std::string_view line = withoutCarriageReturn(text);
    if (isComment(line)) {
      continue;
    }
    const std::size_t colon = line.find(':');
    const std::string where = file.string() + " line " + std::to_string(number);
    if (colon == std::string_view::npos || colon + 1 == line.size() || line[colon + 1] == ':') {
      throw std::runtime_error(where +
                               ": expected NAME:HASH or NAME:HASH:NAME IN THE APP (make lines "
                               "with vantory-server passwd NAME --users FILE)");
    }
    const std::string_view name = line.substr(0, colon);
    if (const auto refusal = checkName(name)) {
      throw std::runtime_error(where + ": " + *refusal);
    }
    // crypt() hashes hold no ':', so whatever follows one is the name in the app.
    const std::string_view rest = line.substr(colon + 1);
    const std::size_t second = rest.find(':');
    Entry entry{std::string(rest.substr(0, second)), second == std::string_view::npos
                                                         ? std::string()
                                                         : std::string(rest.substr(second + 1))};
    if (second != std::string_view::npos) {
      if (const auto refusal = checkNameInApp(entry.nameInApp)) {
        throw std::runtime_error(where + ": " + *refusal);
      }
    }
    if (entry.nameInApp == name) {
      entry.nameInApp.clear();
    }
    // Two people under one name in the app could change each other's records.
    const std::string recordName = entry.nameInApp.empty() ? std::string(name) : entry.nameInApp;
    if (!users.entries_.emplace(std::string(name), std::move(entry)).second) {
      throw std::runtime_error(where + ": " + std::string(name) + " is listed twice");
    }
    if (const auto [other, added] = recordNames.emplace(recordName, std::string(name)); !added) {
      std::string reason = where;
      reason.append(": ").append(name).append(" would be ").append(recordName);
      reason.append(" in the app, as ").append(other->second).append(" already is");
      throw std::runtime_error(reason);
    }
  }
  return users;
}

bool UserList::verify(std::string_view name, std::string_view password) const {
  // A name that is not listed costs the same hash as one that is, so the
  // time of an answer does not tell which names exist.
  static const std::string unlisted = hashPassword("a name that is not listed");
  const auto found = entries_.find(name);
  const bool listed = found != entries_.end();
  const std::string& hash = listed ? found->second.hash : unlisted;
  auto data = std::make_unique<crypt_data>();
  const std::string given(password.substr(0, password.find('\0')));
  const char* result = crypt_rn(given.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
  hashesComputed_.fetch_add(1, std::memory_order_relaxed);
  return result != nullptr && std::strlen(result) == hash.size() &&
         CRYPTO_memcmp(result, hash.data(), hash.size()) == 0 && listed &&
         password.find('\0') == std::string_view::npos;
}

bool UserList::contains(std::string_view name) const { return entries_.contains(name); }

std::string UserList::recordName(std::string_view name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() || found->second.nameInApp.empty() ? std::string(name)
                                                                    : found->second.nameInApp;
}

std::string UserList::hashPassword(std::string_view password) {
  if (password.find('\0') != std::string_view::npos) {
    throw std::runtime_error("a password cannot hold a NUL character");
  }
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt) == nullptr) {
    throw std::runtime_error(std::string("cannot make a salt: ") + std::strerror(errno));
  }
  auto data = std::make_unique<crypt_data>();
  const std::string given(password);
  const char* hash = crypt_rn(given.c_str(), salt, data.get(), sizeof(crypt_data));
  if (hash == nullptr || hash[0] == '*') {
    throw std::runtime_error(std::string("cannot hash the password: ") + std::strerror(errno));
  }
  return hash;
}

std::optional<std::string> UserList::checkName(std::string_view name) {
  if (name.empty()) {
    return "a name cannot be empty";
  }
  if (name.find(':') != std::string_view::npos) {
    return "a name cannot hold ':'";
  }
  if (!Utf8::isValid(name) || Utf8::hasControlCharacter(name) ||
      name.find_first_of("\t\n") != std::string_view::npos) {
    return "a name must be text without control characters";
  }
  return std::nullopt;
}

std::optional<std::string> UserList::checkNameInApp(std::string_view name) {
  if (name.find_first_not_of(' ') == std::string_view::npos) {
    return "a name in the app cannot be blank";
  }
  if (!Utf8::isValid(name) || Utf8::hasControlCharacter(name) ||
      name.find_first_of("\t\n") != std::string_view::npos) {
    return "a name in the app must be text without control characters";
  }
  if (Utf8::characterCount(name) > RecordValidator::kMaxNameLength) {
    return "a name in the app is at most " + std::to_string(RecordValidator::kMaxNameLength) +
           " characters long";
  }
  return std::nullopt;
}

void UserList::storePassword(const std::filesystem::path& file, std::string_view name,
                             std::string_view password, std::optional<std::string_view> nameInApp) {
  if (const auto refusal = checkName(name)) {
    throw std::runtime_error(*refusal);
  }
  if (const auto refusal =
          nameInApp && !nameInApp->empty() ? checkNameInApp(*nameInApp) : std::nullopt) {
    throw std::runtime_error(*refusal);
  }
  std::vector<std::string> lines;
  bool exists = false;
  std::string keptNameInApp;  // of the person's line, if the list has one
  if (std::ifstream in(file); in) {
    exists = true;
    const UserList existing = load(file);  // refuses to rewrite a file that is not a user list
    if (const auto found = existing.entries_.find(name); found != existing.entries_.end()) {
      keptNameInApp = found->second.nameInApp;
    }
    for (std::string line; std::getline(in, line);) {
      lines.push_back(std::move(line));
    }
  } else if (errno != ENOENT) {
    throw std::runtime_error(systemError("cannot read the user list", file));
  }
  const std::string prefix = std::string(name) + ":";
  const auto entryWith = [&](std::string_view inApp) {
    return prefix + hashPassword(password) +
           (inApp.empty() || inApp == name ? std::string() : ":" + std::string(inApp));
  };
  bool replaced = false;
  for (auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) {
      line = entryWith(nameInApp ? *nameInApp : keptNameInApp);
      replaced = true;
    }
  }
  if (!replaced) {
    lines.push_back(entryWith(nameInApp ? *nameInApp : keptNameInApp));
  }
  std::ostringstream text;
  for (const auto& line : lines) {
    text << line << '\n';
  }
  const std::string contents = text.str();

  // Hashes are secrets of a kind: the file is readable by its owner and
  // group only, and keeps the mode and group it had.
  struct stat previous {};
  const bool hadMode = exists && ::stat(file.c_str(), &previous) == 0;
  const std::filesystem::path temporary = file.string() + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) {
    throw std::runtime_error(systemError("cannot write", temporary));
  }
  bool written =
      ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size()) &&
      (!hadMode || ::fchmod(fd, previous.st_mode & 07777) == 0) && ::fsync(fd) == 0;
  const int writeErrno = errno;
  if (written && hadMode) {
    // Only root may give the file away; for anyone else the group stays.
    [[maybe_unused]] const int kept = ::fchown(fd, previous.st_uid, previous.st_gid);
  }
  ::close(fd);
  if (!written) {
    errno = writeErrno;
  } else {
    // The new list must load as the server will read it (one person per
    // name in the app) before it replaces the old one.
    try {
      load(temporary);
    } catch (const std::exception& refusal) {
      ::unlink(temporary.c_str());
      // Its reason without the temporary file's name and line.
      const std::string reason = refusal.what();
      const std::size_t cut = reason.find(": ");
      throw std::runtime_error(cut == std::string::npos ? reason : reason.substr(cut + 2));
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
      written = false;
    }
  }
  if (!written) {
    const std::string reason = systemError("cannot write", file);
    ::unlink(temporary.c_str());
    throw std::runtime_error(reason);
  }
}

}  // namespace vantory::service
