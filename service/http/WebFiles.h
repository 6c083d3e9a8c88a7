#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "api/ApiReply.h"

namespace vantory::service {

// The web app's files, served from one folder at the paths outside the
// API's: "/" is index.html. Only regular files inside the folder are served
// (no "..", no hidden names, no link out of it); each with its content type,
// a long cache life when its name carries a content hash ("app.3f2a9c1d.js")
// and none otherwise, the precompressed ".gz" beside it to a browser that
// takes gzip, and a Content-Security-Policy that allows the app and nothing
// else. Files are read once and kept until they change.
class WebFiles {
 public:
  // Throws when the folder cannot be used.
  explicit WebFiles(const std::filesystem::path& root);

  // The folder an installed server serves: share/vantory/web beside its bin/.
  static std::filesystem::path installedRoot(const std::filesystem::path& executable);

  ApiReply answer(std::string_view method, std::string_view target,
                  std::string_view acceptEncoding);

  static constexpr char kContentSecurityPolicy[] =
      "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; "
      "img-src 'self' data:; connect-src 'self'; object-src 'none'; base-uri 'none'; "
      "form-action 'self'; frame-ancestors 'none'";

 private:
  struct Kept {
    std::filesystem::file_time_type modified;
    std::uintmax_t size = 0;
    std::shared_ptr<const std::string> bytes;
  };

  // The file's bytes, read again only when it changed; nullptr when it cannot be read.
  std::shared_ptr<const std::string> bytesOf(const std::filesystem::path& file);

  std::filesystem::path root_;
  std::mutex mutex_;
  std::unordered_map<std::string, Kept> kept_;
};

}  // namespace vantory::service
