#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An absolute address such as "http://host:8080/path?query". Only text that
// the platform's URL parser takes as a whole becomes a Url, in the parts that
// parser finds; anything else (a space inside, no scheme, no host) yields
// nothing.
class Url {
 public:
  static std::optional<Url> fromString(std::string_view text);
  // The address with any "name:password@" taken out, for showing and
  // logging: credentials in an address are never printed.
  static std::string withoutCredentials(std::string_view text);
  // The address with the password (percent-encoded) put after its user name,
  // when it names a user without one; otherwise the address as it is.
  static std::string withPassword(std::string_view text, std::string_view password);

  // The text exactly as given.
  const std::string& absoluteString() const { return text_; }
  // In lower case.
  const std::string& scheme() const { return scheme_; }
  // The host alone (an IPv6 address in its brackets), without any user name.
  const std::string& host() const { return host_; }
  // "host" or "host:port".
  const std::string& authority() const { return authority_; }
  // Path and query as written, without the fragment; "/" when the address
  // has neither. This is what goes on the HTTP request line.
  const std::string& requestTarget() const { return requestTarget_; }

 private:
  Url() = default;
  std::string text_;
  std::string scheme_;
  std::string host_;
  std::string authority_;
  std::string requestTarget_;
};

}  // namespace platform
