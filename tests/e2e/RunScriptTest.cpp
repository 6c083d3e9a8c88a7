// scripts/run, as a person starts Vantory with it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/RecordingHttpServer.h"

namespace {

// Runs the command; its output (both streams) and exit status.
std::pair<std::string, int> run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1 </dev/null").c_str(), "r");
  std::string output;
  char buffer[512];
  while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(RunScript, StopsWhenSomethingElseAnswersOnThePort) {
  for (const testsupport::RecordingHttpServer::Reply& reply :
       {testsupport::RecordingHttpServer::Reply{404, "Not Found", "text/plain"},
        testsupport::RecordingHttpServer::Reply{200, R"({"status":"ok"})"},
        testsupport::RecordingHttpServer::Reply{200, "<html>Stores</html>", "text/html"}}) {
    testsupport::RecordingHttpServer foreign;
    foreign.setDefaultReply(reply);
    const auto [output, status] =
        run("env -u DISPLAY -u WAYLAND_DISPLAY VANTORY_ADDRESS=127.0.0.1:" +
            std::to_string(foreign.port()) + " " + VANTORY_SOURCE_DIR "/scripts/run");
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("it is not a Vantory service"), std::string::npos) << output;
    EXPECT_EQ(output.find("ready on"), std::string::npos) << "no server was started: " << output;
  }
}

}  // namespace
