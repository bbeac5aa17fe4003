// Bots for the benchmarks: library instances in this process, each logged in
// to the universe of an orbilo-server on loopback and entered into one of its
// worlds; the server's arguments; and this process's own CPU time and
// resident memory.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace orbilo {

// orbilo-server beside the benchmark program, in a child process so that its
// work and memory are not counted as the library's: a universe on 127.0.0.1
// at a port the system picks (ChildProcess::port("universe")), no version
// service, and the further arguments. With admin its standard input takes
// commands (ChildProcess::ask).
std::vector<std::string> server_arguments(const std::vector<std::string>& more, bool admin = false);

// Raises this process's limit of open descriptors to the most it may have;
// a server started afterwards inherits it.
void raise_descriptor_limit();

// The positive number in the environment variable name, or fallback.
int env_setting(const char* name, int fallback);

// Creates count instances on the universe at 127.0.0.1:port, logs each in as
// "botK" (K from first) with citizen 1 and its privilege password "demo", and
// enters it into world; pumps until every one has entered or failed, or
// limit has passed. Installs the login and enter callbacks for that time and
// removes them then (other handlers stay as they are). Appends the instances made to *instances, in order, and
// returns how many entered.
int bots_enter(int port, int count, const char* world, std::chrono::seconds limit,
               std::vector<void*>* instances, int first = 0);

// Shows instances[first, first + count) on a square grid of the given pitch
// around the world's centre, each with its own yaw and type.
void bots_show(const std::vector<void*>& instances, int first, int count, int spacing);

// Pumps until every instance's tally (bench/bot_tally.h) has seen at least
// adds avatar adds, or limit has passed: true when they all have.
bool bots_settle(const std::vector<void*>& instances, int adds, std::chrono::seconds limit);

// This process: CPU seconds used so far (user and system), and resident KiB.
double process_cpu_seconds();
long process_resident_kib();

}  // namespace orbilo
