// scripts/run, as a person starts Vantory with it.

#include <gtest/gtest.h>

#include <string>

#include "support/RecordingHttpServer.h"
#include "support/ShellCommand.h"

namespace {

TEST(RunScript, StopsWhenSomethingElseAnswersOnThePort) {
  for (const testsupport::RecordingHttpServer::Reply& reply :
       {testsupport::RecordingHttpServer::Reply{404, "Not Found", "text/plain"},
        testsupport::RecordingHttpServer::Reply{200, R"({"status":"ok"})"},
        testsupport::RecordingHttpServer::Reply{200, "<html>Stores</html>", "text/html"}}) {
    testsupport::RecordingHttpServer foreign;
    foreign.setDefaultReply(reply);
    const auto [status, output] = testsupport::runCommand(
        "env -u DISPLAY -u WAYLAND_DISPLAY VANTORY_ADDRESS=127.0.0.1:" +
        std::to_string(foreign.port()) + " " + VANTORY_SOURCE_DIR "/scripts/run");
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("it is not a Vantory service"), std::string::npos) << output;
    EXPECT_EQ(output.find("ready on"), std::string::npos) << "no server was started: " << output;
  }
}

}  // namespace
