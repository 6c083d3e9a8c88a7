#include "FetchUrlSession.h"

#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

// clang-format off
EM_JS(void, startFetch, (int id, const char* url, const char* method, const char* headerLines,
                         const char* body, int bodyLength, int hasBody, double timeoutSeconds,
                         double maxBytes), {
  // Pairs rather than a Headers object: the page can keep a request as text.
  const headers = [];
  for (const line of UTF8ToString(headerLines).split("\n")) {
    const colon = line.indexOf(":");
    if (colon > 0) headers.push([line.slice(0, colon), line.slice(colon + 1).trim()]);
  }
  const init = { method: UTF8ToString(method), headers, cache: "no-store",
                 credentials: "same-origin", redirect: "follow" };
  if (hasBody) init.body = HEAPU8.slice(body, body + bodyLength);
  const controller = new AbortController();
  init.signal = controller.signal;
  let timer = 0;
  let why = 2;
  const quiet = () => { why = 1; controller.abort(); };
  const moved = () => { clearTimeout(timer); timer = setTimeout(quiet, timeoutSeconds * 1000); };
  const finish = (status, headerText, bytes, failure, detail) => {
    clearTimeout(timer);
    Module.vantoryFetchFinished(id, status, headerText, bytes, failure, detail);
  };
  moved();
  // The page may have sent this very request already, as it opened.
  const address = UTF8ToString(url);
  const sent = Module.vantoryRequest ? Module.vantoryRequest(address, init) : fetch(address, init);
  sent.then(async (response) => {
    moved();
    const chunks = [];
    let total = 0;
    const reader = response.body ? response.body.getReader() : null;
    while (reader) {
      const { done, value } = await reader.read();
      if (done) break;
      total += value.length;
      if (total > maxBytes) {
        why = 3;
        controller.abort();
        throw new Error("too large");
      }
      chunks.push(value);
      moved();
    }
    const bytes = new Uint8Array(total);
    let at = 0;
    for (const chunk of chunks) { bytes.set(chunk, at); at += chunk.length; }
    let headerText = "";
    response.headers.forEach((value, name) => { headerText += name + ": " + value + "\n"; });
    finish(response.status, headerText, bytes, 0, "");
  }).catch((error) => finish(0, "", new Uint8Array(0), why, String(error)));
});
// clang-format on

namespace platform {

namespace {

// The failures, numbered as libcurl numbers them, so that callers see one set.
constexpr int kCouldNotConnect = 7;
constexpr int kTooLarge = 23;
constexpr int kTimedOut = 28;

// The same ceiling as the libcurl session: a peer cannot make the page take
// all the memory there is.
constexpr double kMaxBodyBytes = 256.0 * 1024 * 1024;

// Starts a fetch; its end calls Module.vantoryFetchFinished. The timeout is
// for silence (no byte for that long), not for the whole transfer.

std::vector<std::pair<std::string, std::string>> parseHeaders(const std::string& lines) {
  std::vector<std::pair<std::string, std::string>> headers;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    if (const auto colon = line.find(": "); colon != std::string::npos) {
      headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
  }
  return headers;
}

void fetchFinished(int id, int status, const std::string& headers, const std::string& body,
                   int failure, const std::string& detail) {
  FetchUrlSession::shared().finished(id, status, headers, body, failure, detail);
}

}  // namespace

FetchUrlSession& FetchUrlSession::shared() {
  static const auto session = std::make_shared<FetchUrlSession>();
  return *session;
}

void UrlSession::prepareSystemSession() {}

std::shared_ptr<UrlSession> UrlSession::makeSystemSession() {
  return FetchUrlSession::shared().shared_from_this();
}

bool UrlSession::trustCertificateAuthorityFile(const std::string& /*path*/) { return false; }

void FetchUrlSession::startTransfer(UrlRequest request, UrlSessionDataTask::Completion completion) {
  const int id = nextId_++;
  inFlight_.emplace(id, std::move(completion));
  std::string headerLines;
  // What libcurl says of a POST body, so that the service sees the same.
  const bool typed = std::any_of(
      request.headers.begin(), request.headers.end(),
      [](const auto& header) { return strcasecmp(header.first.c_str(), "Content-Type") == 0; });
  if (request.httpBody && request.httpMethod == "POST" && !typed) {
    headerLines += "Content-Type: application/x-www-form-urlencoded\n";
  }
  for (const auto& [name, value] : request.headers) {
    headerLines.append(name).append(": ").append(value).append("\n");
  }
  const Data body = request.httpBody.value_or(Data{});
  startFetch(id, request.url.absoluteString().c_str(), request.httpMethod.c_str(),
             headerLines.c_str(), body.data(), static_cast<int>(body.size()),
             request.httpBody ? 1 : 0, request.timeoutInterval, kMaxBodyBytes);
}

void FetchUrlSession::finished(int id, int status, const std::string& headers,
                               const std::string& body, int failure, const std::string& detail) {
  const auto found = inFlight_.find(id);
  if (found == inFlight_.end()) {
    return;
  }
  const UrlSessionDataTask::Completion completion = std::move(found->second);
  inFlight_.erase(found);
  // The last-resort catch: whatever a completion throws, the page goes on.
  try {
    if (status == 0) {
      const UrlError error =
          failure == 1 ? UrlError{kTimedOut, "The request timed out.", std::nullopt}
          : failure == 3
              ? UrlError{kTooLarge, "The reply is too large.", std::nullopt}
              : UrlError{kCouldNotConnect, "Could not connect to the service (" + detail + ").",
                         std::nullopt};
      completion(std::nullopt, std::nullopt, error);
      return;
    }
    HttpUrlResponse response;
    response.statusCode = status;
    response.headers = parseHeaders(headers);
    completion(Data(body.begin(), body.end()), std::move(response), std::nullopt);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantory: a reply handler failed: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "vantory: a reply handler failed\n");
  }
}

}  // namespace platform

EMSCRIPTEN_BINDINGS(vantory_fetch) {
  emscripten::function("vantoryFetchFinished", &platform::fetchFinished);
}
