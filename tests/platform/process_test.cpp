// Child processes, the program directory and the process's own numbers.
#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/socket.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

TEST(ChildProcesses, ExitCodeAndOutputComeBack) {
  unit::TempDir dir("spawn");
  auto child = spawn_process(PLATFORM_HELPER_PATH, {"exit", "7", "said this"}, {}, dir / "out");
  ASSERT_TRUE(child);
  EXPECT_EQ(wait_process(*child, 10000), std::optional<int>(7));
  EXPECT_EQ(read_whole_file(dir / "out"), std::optional<std::string>("said this\n"));
}

TEST(ChildProcesses, ExtraEnvironmentReachesTheChild) {
  unit::TempDir dir("spawn");
  auto child = spawn_process(PLATFORM_HELPER_PATH, {"env", "VELMORA_TEST_VALUE"},
                             {"VELMORA_TEST_VALUE=café 1"}, dir / "out");
  ASSERT_TRUE(child);
  EXPECT_EQ(wait_process(*child, 10000), std::optional<int>(0));
  EXPECT_EQ(read_whole_file(dir / "out"), std::optional<std::string>("café 1\n"));
}

TEST(ChildProcesses, WaitTimesOutWhileTheChildRunsAndSeesTheSignal) {
  unit::TempDir dir("spawn");
  auto child = spawn_process(PLATFORM_HELPER_PATH, {"hold-name", "velmora-test-wait-" +
                             std::to_string(current_process_id()), dir / "ready"}, {});
  ASSERT_TRUE(child);
  EXPECT_EQ(wait_process(*child, 50), std::nullopt);
  signal_process(*child, kSignalTerminate);
  EXPECT_EQ(wait_process(*child, 10000), std::optional<int>(128 + kSignalTerminate));
  EXPECT_EQ(wait_process(*child, 10), std::optional<int>(-1));  // already collected
}

TEST(ChildProcesses, AMissingProgramIsNotStarted) {
  EXPECT_FALSE(spawn_process("/no/such/program", {}, {}));
}

TEST(ProgramDirectory, IsTheExecutablesFolderWithATrailingSlash) {
  std::string exe = executable_path();
  ASSERT_FALSE(exe.empty());
  if (!environment_variable("VELMORAFTPD_HOME")) {
    EXPECT_EQ(program_directory(), exe.substr(0, exe.rfind('/') + 1));
  }
  EXPECT_EQ(program_directory().back(), '/');
}

TEST(ProcessNumbers, DescriptorCountFollowsOpenFiles) {
  unit::TempDir dir("fds");
  ASSERT_TRUE(append_to_file(dir / "f", "x"));
  int before = open_descriptor_count();
  EXPECT_GT(before, 2);
  {
    File a = File::open_read(dir / "f");
    File b = File::open_read(dir / "f");
    EXPECT_EQ(open_descriptor_count(), before + 2);
  }
  EXPECT_EQ(open_descriptor_count(), before);
}

TEST(ProcessNumbers, ResidentSizeIsKnownForThisProcessOnly) {
  EXPECT_GT(resident_kib(), 0);
  EXPECT_GT(resident_kib(current_process_id()), 0);
  EXPECT_EQ(resident_kib(999999999), 0);
}

TEST(TcpOwner, FindsThePeersSocketOfALoopbackConnection) {
  Socket listener = open_tcp_socket();
  ASSERT_TRUE(bind_ipv4(listener, {kLoopbackAddress, 0}, true));
  ASSERT_TRUE(listen_socket(listener, 1));
  uint16_t server_port = local_endpoint(listener)->port;
  Socket client = open_tcp_socket();
  ASSERT_TRUE(connect_ipv4(client, {kLoopbackAddress, server_port}, 5000));
  Socket accepted = accept_connection(listener, nullptr);
  ASSERT_NE(accepted, kNoSocket);
  uint16_t client_port = peer_endpoint(accepted)->port;

  // As the server sees it: its own port, then the peer's.
  EXPECT_EQ(tcp_connection_owner(server_port, client_port),
            std::optional<uint32_t>(current_user_id()));
  EXPECT_EQ(tcp_connection_owner(server_port, static_cast<uint16_t>(client_port + 1)),
            std::nullopt);
  close_socket(client);
  close_socket(accepted);
  close_socket(listener);
}

}  // namespace

namespace {

// A connection this process made to itself is told apart from one of another process of
// the same user.
TEST(TcpOwner, KnowsAConnectionThisProcessMadeToItself) {
  Socket listener = open_tcp_socket();
  ASSERT_TRUE(bind_ipv4(listener, {kLoopbackAddress, 0}, true));
  ASSERT_TRUE(listen_socket(listener, 1));
  uint16_t server_port = local_endpoint(listener)->port;

  Socket own = open_tcp_socket();
  ASSERT_TRUE(connect_ipv4(own, {kLoopbackAddress, server_port}, 5000));
  Socket accepted = accept_connection(listener, nullptr);
  EXPECT_TRUE(tcp_peer_is_own_socket(server_port, peer_endpoint(accepted)->port));
  close_socket(own);
  close_socket(accepted);

  std::string script = "import socket,time\ns=socket.create_connection(('127.0.0.1'," +
                       std::to_string(server_port) + "))\ntime.sleep(30)\n";
  auto child = spawn_process("/usr/bin/python3", {"-c", script}, {});
  ASSERT_TRUE(child);
  accepted = accept_connection(listener, nullptr);
  EXPECT_FALSE(tcp_peer_is_own_socket(server_port, peer_endpoint(accepted)->port));
  signal_process(*child, kSignalKill);
  wait_process(*child, -1);
  close_socket(accepted);
  close_socket(listener);
}

}  // namespace
