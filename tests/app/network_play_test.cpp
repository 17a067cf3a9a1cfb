// The engine with netmode.ini: a joiner that finds no session plays alone after its boxes, a lone
// host starts at once, and the state dump's "network" object.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::SetCameraBrain;
using testing_support::WorkFolder;
using testing_support::WriteText;

TEST(NetworkPlay, AJoinerWithoutTimeoutPlaysAloneAndAHostStartsAtOnce) {
  {
    WorkFolder folder(1);
    ASSERT_TRUE(WriteText(folder / "netmode.ini", ""));
    ASSERT_TRUE(WriteText(folder / "network.ini", "[Settings]\r\nMode=1\r\nConnection=1\r\nIPAddress=127.0.0.1\r\nSessionName=none\r\n"));
    const auto run = RunMain({"--ticks", "3", "--dump", "d.json"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const size_t failed = run.err.find("Connection failed!");
    EXPECT_NE(failed, std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Could not connect, launch anyway?", failed), std::string::npos) << run.err;
    EXPECT_NE(ReadText(folder / "d.json").find("\"network\": {\"active\": false, \"host\": false"), std::string::npos);
  }
  {
    WorkFolder folder(1);
    SetCameraBrain(folder, "machine_number_set(150)\r\n");
    const int port = 20000 + (getpid() * 13) % 30000;
    ASSERT_TRUE(WriteText(folder / "netmode.ini", ""));
    ASSERT_TRUE(WriteText(folder / "network.ini", "[Settings]\r\nMode=0\r\nPortNumber=" + std::to_string(port) + "\r\n"));
    const auto run = RunMain({"--ticks", "3", "--dump", "d.json"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_NE(dump.find("\"network\": {\"active\": true, \"host\": true, \"machine\": 100,"), std::string::npos) << dump.substr(dump.find("\"network\""), 200);
    EXPECT_NE(dump.find("\"inbox\": []}"), std::string::npos);
  }
}

}  // namespace
