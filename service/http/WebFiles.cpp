#include "WebFiles.h"

#include <boost/url/parse.hpp>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vantory::service {

namespace {

std::string contentTypeOf(const std::filesystem::path& file) {
  static const std::unordered_map<std::string, std::string> types = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".wasm", "application/wasm"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".webmanifest", "application/manifest+json"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".ico", "image/x-icon"},
      {".txt", "text/plain; charset=utf-8"},
  };
  const auto found = types.find(file.extension().string());
  return found != types.end() ? found->second : "application/octet-stream";
}

// Whether the client takes gzip: named in Accept-Encoding (or "*"), and not
// with a quality of zero.
bool acceptsGzip(std::string_view acceptEncoding) {
  std::size_t start = 0;
  while (start <= acceptEncoding.size()) {
    const std::size_t end = std::min(acceptEncoding.find(',', start), acceptEncoding.size());
    std::string token(acceptEncoding.substr(start, end - start));
    token.erase(std::remove(token.begin(), token.end(), ' '), token.end());
    std::transform(token.begin(), token.end(), token.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string name = token.substr(0, token.find(';'));
    static const std::regex refused(";q=0(\\.0*)?$");
    if ((name == "gzip" || name == "*") && !std::regex_search(token, refused)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool hasContentHash(const std::string& name) {
  static const std::regex hashed(R"(^[^.]+(\.[^.]+)*\.[0-9a-f]{8,}\.[a-z0-9]+$)");
  return std::regex_match(name, hashed);
}

ApiReply notFound() { return ApiReply::error(404, "There is no such page."); }

}  // namespace

WebFiles::WebFiles(const std::filesystem::path& root) {
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) {
    throw std::runtime_error("the web app's folder " + root.string() + " is not a folder");
  }
  root_ = std::filesystem::canonical(root, error);
  if (error) {
    throw std::runtime_error("cannot use the web app's folder " + root.string() + ": " +
                             error.message());
  }
}

std::filesystem::path WebFiles::installedRoot(const std::filesystem::path& executable) {
  return executable.parent_path().parent_path() / "share" / "vantory" / "web";
}

std::shared_ptr<const std::string> WebFiles::bytesOf(const std::filesystem::path& file) {
  std::error_code error;
  const auto modified = std::filesystem::last_write_time(file, error);
  const auto size = error ? 0 : std::filesystem::file_size(file, error);
  if (error) {
    return nullptr;
  }
  {
    std::lock_guard lock(mutex_);
    const auto found = kept_.find(file.string());
    if (found != kept_.end() && found->second.modified == modified && found->second.size == size) {
      return found->second.bytes;
    }
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto bytes = std::make_shared<const std::string>(text.str());
  std::lock_guard lock(mutex_);
  kept_[file.string()] = {modified, size, bytes};
  return bytes;
}

ApiReply WebFiles::answer(std::string_view method, std::string_view target,
                          std::string_view acceptEncoding) {
  if (method != "GET") {
    ApiReply reply = ApiReply::error(405, "The web app's pages take GET requests only.");
    reply.allow = "GET";
    return reply;
  }
  const auto url = boost::urls::parse_origin_form(target);
  if (!url) {
    return notFound();
  }
  std::vector<std::string> segments(url->segments().begin(), url->segments().end());
  if (segments.empty() || segments == std::vector<std::string>{""}) {
    segments = {"index.html"};  // "/"
  }
  std::filesystem::path file = root_;
  for (const std::string& segment : segments) {
    // Decoded: "%2e%2e" is "..", "%2F" a slash; none may lead out, and
    // hidden files stay hidden.
    if (segment.empty() || segment.front() == '.' ||
        segment.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
      return notFound();
    }
    file /= segment;
  }
  const std::string name = segments.back();
  std::error_code error;
  const auto real = std::filesystem::canonical(file, error);
  const auto inside = std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
  if (error || inside.first != root_.end() || !std::filesystem::is_regular_file(real, error)) {
    return notFound();
  }

  ApiReply reply;
  reply.contentType = contentTypeOf(name);
  reply.headers.emplace_back(
      "Cache-Control", hasContentHash(name) ? "public, max-age=31536000, immutable" : "no-cache");
  reply.headers.emplace_back("Content-Security-Policy", kContentSecurityPolicy);
  reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
  reply.headers.emplace_back("Referrer-Policy", "no-referrer");
  const std::filesystem::path compressed = real.string() + ".gz";
  if (std::filesystem::is_regular_file(compressed, error)) {
    reply.headers.emplace_back("Vary", "Accept-Encoding");
    if (acceptsGzip(acceptEncoding)) {
      if (auto bytes = bytesOf(compressed)) {
        reply.headers.emplace_back("Content-Encoding", "gzip");
        reply.serialized = std::move(bytes);
        return reply;
      }
    }
  }
  reply.serialized = bytesOf(real);
  if (!reply.serialized) {
    return notFound();
  }
  return reply;
}

}  // namespace vantory::service
