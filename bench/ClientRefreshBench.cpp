// The app refreshing a long store list through the real transport: from the
// refresh until the table has reloaded with every row, and the memory the
// process holds then. bench/client-refresh runs it beside curl.
//
//   client_refresh_bench SERVICE_URL ROWS [RUNS]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/AppStart.h"
#include "platform/DispatchQueue.h"
#include "platform/UserDefaults.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/Window.h"
#include "ui/stores/StoreViewController.h"

namespace {

long residentKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) {
      return std::stol(line.substr(std::string(field).size()));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: client_refresh_bench SERVICE_URL ROWS [RUNS]\n");
    return 2;
  }
  const std::string service = argv[1];
  const int rows = std::stoi(argv[2]);
  const int runs = argc > 3 ? std::stoi(argv[3]) : 7;
  const auto defaults =
      std::filesystem::temp_directory_path() / ("vantory-bench-" + std::to_string(::getpid()));
  platform::UserDefaults::setStandardPath(defaults / "defaults.json");
  platform::UserDefaults::standardUserDefaults().setObject("Bench User", "Name");

  auto delegate = std::make_shared<vantory::AppDelegate>();
  vantory::AppStart::Options options;
  options.service = service;
  vantory::AppStart::start(delegate, options);
  auto& main = platform::DispatchQueue::main();
  vantory::StoreViewController* stores = nullptr;
  const auto shown = [&] {
    stores = dynamic_cast<vantory::StoreViewController*>(delegate->window()->front().screen);
    return stores != nullptr && stores->tableView() != nullptr &&
           stores->tableView()->numberOfRowsInSection(0) == rows;
  };
  if (!main.runUntil(shown, std::chrono::seconds(60))) {
    std::fprintf(stderr, "client_refresh_bench: the list of %d stores never showed\n", rows);
    return 1;
  }
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const int reloads = stores->tableView()->reloadCount();
    const auto started = std::chrono::steady_clock::now();
    stores->refresh();
    main.runUntil([&] { return stores->tableView()->reloadCount() > reloads; },
                  std::chrono::seconds(60));
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count());
  }
  std::sort(times.begin(), times.end());
  std::fprintf(stderr,
               "rows %d: refresh median %.1f ms (best %.1f), resident %ld MB (peak %ld MB)\n", rows,
               times[times.size() / 2], times.front(), residentKilobytes("VmRSS:") / 1024,
               residentKilobytes("VmHWM:") / 1024);
  std::filesystem::remove_all(defaults);
  std::_Exit(0);  // the shell's screens need no orderly end here
}
