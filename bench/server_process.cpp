#include "server_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::string server_path() {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "orbilo-server";
  std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "orbilo-server";
}

}  // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = {server_path(),      "--universe", "127.0.0.1:0",
                                   "--version-server", "off",        "--no-admin"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  // The server names the port it was given: "universe: 127.0.0.1:PORT, ...".
  FILE* lines = fdopen(out[0], "r");
  char line[512];
  while (pid_ > 0 && lines != nullptr && std::fgets(line, sizeof line, lines) != nullptr) {
    const char* found = std::strstr(line, "universe: 127.0.0.1:");
    if (found != nullptr) {
      port_ = std::atoi(found + std::strlen("universe: 127.0.0.1:"));
      break;
    }
  }
  // The rest of its log is not read; its writes fail quietly from here on.
  if (lines != nullptr) std::fclose(lines);
}

ServerProcess::~ServerProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

double ServerProcess::cpu_seconds() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The fields after the command's closing bracket; utime and stime are the
  // 12th and 13th of them.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int index = 1; index <= 13 && fields >> field; ++index) {
    if (index >= 12) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ServerProcess::resident_kib() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}
