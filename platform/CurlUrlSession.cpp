#include "CurlUrlSession.h"

#include <curl/curl.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace platform {

struct CurlUrlSession::Transfer {
  using Clock = std::chrono::steady_clock;

  UrlRequest request;
  UrlSessionDataTask::Completion completion;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  Data body;
  HttpUrlResponse response;
  // The timeout counts from the last byte that moved either way, so a long
  // but steady transfer is never cut off.
  Clock::time_point lastActivity = Clock::now();
  curl_off_t sent = 0;
  bool idleTooLong = false;
  bool tooLarge = false;
  char errorText[CURL_ERROR_SIZE] = {};

  void moved() { lastActivity = Clock::now(); }

  Transfer(UrlRequest r, UrlSessionDataTask::Completion c)
      : request(std::move(r)), completion(std::move(c)) {}
  ~Transfer() {
    curl_slist_free_all(headers);
    if (easy != nullptr) {
      curl_easy_cleanup(easy);
    }
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
};

namespace {

CURLM* asMulti(void* handle) { return static_cast<CURLM*>(handle); }

// More than any reply of the service; a peer cannot make the app take all
// the memory there is.
constexpr std::size_t kMaxBodyBytes = std::size_t{256} << 20;

size_t appendBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<CurlUrlSession::Transfer*>(user);
  if (transfer->request.onBodyPart) {
    long status = 0;
    const char* contentType = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_TYPE, &contentType);
    transfer->moved();
    return transfer->request.onBodyPart(status, contentType != nullptr ? contentType : "",
                                        std::string_view(data, size * count))
               ? size * count
               : 0;
  }
  if (transfer->body.size() + size * count > kMaxBodyBytes) {
    transfer->tooLarge = true;
    return 0;  // ends the transfer as failed
  }
  transfer->body.append(data, size * count);
  transfer->moved();
  return size * count;
}

int checkIdle(void* user, curl_off_t /*downloadTotal*/, curl_off_t /*downloaded*/,
              curl_off_t /*uploadTotal*/, curl_off_t uploaded) {
  auto* transfer = static_cast<CurlUrlSession::Transfer*>(user);
  if (uploaded != transfer->sent) {
    transfer->sent = uploaded;
    transfer->moved();
  }
  if (transfer->request.cancelled && transfer->request.cancelled()) {
    return 1;
  }
  const auto idle = CurlUrlSession::Transfer::Clock::now() - transfer->lastActivity;
  const auto limit = std::chrono::duration<double>(transfer->request.timeoutInterval);
  if (idle > limit) {
    transfer->idleTooLong = true;
    return 1;  // aborts the transfer
  }
  return 0;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<CurlUrlSession::Transfer*>(user);
  transfer->moved();
  HttpUrlResponse* response = &transfer->response;
  const std::string_view line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    // A new response (after 1xx, or after a redirect): keep only the last.
    response->headers.clear();
  } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
    response->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                   std::string(trim(line.substr(colon + 1))));
  }
  return size * count;
}

std::mutex& certificateAuthorityMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& certificateAuthorityFile() {
  static std::string path;
  return path;
}

// Why a transfer failed, with a sentence for the person where they can act
// on it: a certificate their machine does not trust, or an address whose
// http:// or https:// does not match what the service speaks.
UrlError transferError(CURLcode code, const char* detail, const std::string& scheme) {
  UrlError error{static_cast<int>(code), curl_easy_strerror(code), std::nullopt};
  const std::string reason = detail != nullptr && detail[0] != '\0' ? detail : error.description;
  if (code == CURLE_PEER_FAILED_VERIFICATION) {
    error.explanation = "The service's certificate is not trusted (" + reason +
                        "). If your group uses its own certificate authority, start the app with "
                        "--ca-file and the authority's certificate.";
  } else if (code == CURLE_SSL_CACERT_BADFILE) {
    error.explanation = "The certificate authority file cannot be used (" + reason + ").";
  } else if (code == CURLE_SSL_CONNECT_ERROR) {
    error.explanation = "A secure connection to the service failed (" + reason +
                        "). If the service serves plain HTTP, use an http:// address.";
  } else if (code == CURLE_GOT_NOTHING && scheme == "http") {
    // What an HTTPS service does with a request in clear text.
    error.explanation =
        "The service closed the connection without answering. If it serves HTTPS, use an "
        "https:// address.";
  }
  return error;
}

}  // namespace

void UrlSession::prepareSystemSession() { CurlUrlSession::initialiseLibraries(); }

std::shared_ptr<UrlSession> UrlSession::makeSystemSession() {
  return std::make_shared<CurlUrlSession>();
}

bool UrlSession::trustCertificateAuthorityFile(const std::string& path) {
  CurlUrlSession::setCertificateAuthorityFile(path);
  return true;
}

void CurlUrlSession::setCertificateAuthorityFile(std::string path) {
  std::lock_guard lock(certificateAuthorityMutex());
  certificateAuthorityFile() = std::move(path);
}

void CurlUrlSession::initialiseLibraries() {
  static const bool initialised = [] {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  (void)initialised;
}

CurlUrlSession::CurlUrlSession() {
  initialiseLibraries();
  multi_ = curl_multi_init();
  thread_ = std::thread([this] { run(); });
}

CurlUrlSession::~CurlUrlSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  curl_multi_wakeup(asMulti(multi_));
  thread_.join();
  for (auto& transfer : active_) {
    curl_multi_remove_handle(asMulti(multi_), transfer->easy);
  }
  active_.clear();
  pending_.clear();
  curl_multi_cleanup(asMulti(multi_));
}

void CurlUrlSession::startTransfer(UrlRequest request, UrlSessionDataTask::Completion completion) {
  auto transfer = std::make_unique<Transfer>(std::move(request), std::move(completion));
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(transfer));
  }
  curl_multi_wakeup(asMulti(multi_));
}

void CurlUrlSession::addPending() {
  std::vector<std::unique_ptr<Transfer>> ready;
  {
    std::lock_guard lock(mutex_);
    ready.swap(pending_);
  }
  for (auto& transfer : ready) {
    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    const UrlRequest& request = transfer->request;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // The request line carries the path and query as written ("/a/../b",
    // an empty query after "?"): nothing is normalised. A proxy named in the
    // environment (http_proxy, https_proxy, no_proxy) gets the absolute form
    // it needs from libcurl.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorText);
    {
      std::lock_guard lock(certificateAuthorityMutex());
      if (!certificateAuthorityFile().empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, certificateAuthorityFile().c_str());
      }
    }
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    // Redirects are followed as a browser does: a few hops, 307/308 keep the
    // method and body, 301/302/303 turn a POST into a GET.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The timeout is for silence, not for the whole transfer.
    const auto timeoutMs = static_cast<long>(std::llround(request.timeoutInterval * 1000.0));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(timeoutMs, 1L));
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, checkIdle);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    // libcurl would add "Expect: 100-continue" to larger bodies; the request
    // must go out as built, so suppress it.
    transfer->headers = curl_slist_append(nullptr, "Expect:");
    for (const auto& [name, value] : request.headers) {
      std::string line = name;
      line.append(": ").append(value);
      transfer->headers = curl_slist_append(transfer->headers, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

    if (request.httpMethod == "POST") {
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      const Data& body = request.httpBody ? *request.httpBody : Data{};
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.data());
    } else if (request.httpMethod != "GET") {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.httpMethod.c_str());
      if (request.httpBody) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.httpBody->size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.httpBody->data());
      }
    }
    curl_multi_add_handle(asMulti(multi_), easy);
    active_.push_back(std::move(transfer));
  }
}

void CurlUrlSession::finishCompleted() {
  int remaining = 0;
  while (CURLMsg* message = curl_multi_info_read(asMulti(multi_), &remaining)) {
    if (message->msg != CURLMSG_DONE) {
      continue;
    }
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    curl_multi_remove_handle(asMulti(multi_), easy);
    const auto found = std::find_if(active_.begin(), active_.end(),
                                    [easy](const auto& t) { return t->easy == easy; });
    if (found == active_.end()) {
      continue;
    }
    std::unique_ptr<Transfer> transfer = std::move(*found);
    active_.erase(found);

    deliver(*transfer, result);
  }
}

void CurlUrlSession::deliver(Transfer& transfer, int result) {
  // The last-resort catch of this thread: whatever a completion throws, the
  // session goes on serving every other request.
  try {
    if (transfer.idleTooLong) {
      transfer.completion(
          std::nullopt, std::nullopt,
          UrlError{CURLE_OPERATION_TIMEDOUT, "The request timed out.", std::nullopt});
    } else if (transfer.tooLarge) {
      transfer.completion(std::nullopt, std::nullopt,
                          UrlError{CURLE_WRITE_ERROR, "The reply is too large.", std::nullopt});
    } else if (result != CURLE_OK) {
      transfer.completion(std::nullopt, std::nullopt,
                          transferError(static_cast<CURLcode>(result), transfer.errorText,
                                        transfer.request.url.scheme()));
    } else {
      long status = 0;
      curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
      transfer.response.statusCode = status;
      transfer.completion(std::move(transfer.body), std::move(transfer.response), std::nullopt);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantory: a reply handler failed: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "vantory: a reply handler failed\n");
  }
}

void CurlUrlSession::run() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) {
        // OpenSSL keeps state per thread (its random generators) that it
        // only frees when told the thread is done.
        OPENSSL_thread_stop();
        return;
      }
    }
    addPending();
    int running = 0;
    curl_multi_perform(asMulti(multi_), &running);
    finishCompleted();
    // While transfers run, wake often enough to notice one that fell silent.
    curl_multi_poll(asMulti(multi_), nullptr, 0, active_.empty() ? 1000 : 100, nullptr);
  }
}

}  // namespace platform
