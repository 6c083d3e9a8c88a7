#include "CurlUrlSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cmath>

namespace platform {

struct CurlUrlSession::Transfer {
  UrlRequest request;
  UrlSessionDataTask::Completion completion;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  Data body;
  HttpUrlResponse response;

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

size_t appendBody(char* data, size_t size, size_t count, void* user) {
  static_cast<Data*>(user)->append(data, size * count);
  return size * count;
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
  auto* response = static_cast<HttpUrlResponse*>(user);
  const std::string_view line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    response->headers.clear();  // a new response (after 1xx); keep only the last
  } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
    response->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                   std::string(trim(line.substr(colon + 1))));
  }
  return size * count;
}

void initialiseCurlOnce() {
  static const bool initialised = [] {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  (void)initialised;
}

}  // namespace

CurlUrlSession::CurlUrlSession() {
  initialiseCurlOnce();
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
    // The request line carries the path and query byte for byte, even an
    // empty query after "?", which libcurl would otherwise normalise away.
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, request.url.requestTarget().c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->body);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer->response);
    const auto timeoutMs = static_cast<long>(std::llround(request.timeoutInterval * 1000.0));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(timeoutMs, 1L));
    // libcurl would add "Expect: 100-continue" to larger bodies; the request
    // must go out as built, so suppress it.
    transfer->headers = curl_slist_append(nullptr, "Expect:");
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

    if (result != CURLE_OK) {
      transfer->completion(std::nullopt, std::nullopt,
                           UrlError{static_cast<int>(result), curl_easy_strerror(result)});
      continue;
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    transfer->response.statusCode = status;
    transfer->completion(std::move(transfer->body), std::move(transfer->response), std::nullopt);
  }
}

void CurlUrlSession::run() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) {
        return;
      }
    }
    addPending();
    int running = 0;
    curl_multi_perform(asMulti(multi_), &running);
    finishCompleted();
    curl_multi_poll(asMulti(multi_), nullptr, 0, 1000, nullptr);
  }
}

}  // namespace platform
