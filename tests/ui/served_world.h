// What the window's session tests share: the service's servers in the
// test's own process, and an orbilo.ini that logs in to them.
#pragma once

#include <fstream>

#include "support/scratch_directory.h"
#include "support/test_server.h"
#include "app/session.h"

// The servers stepped on a thread of their own, and an orbilo.ini in a
// scratch directory that logs in to them with the given password (and asks
// the version server at version_port, when given); the world "demo" has a
// crowd of the given size.
class ServedWorld {
 public:
  explicit ServedWorld(int crowd = 0, const char* password = "demo", int version_port = 0)
      : test_([crowd](orbilo::ServerConfig* config) { config->worlds[0].crowd = crowd; }) {
    IniPath = scratch_.path("orbilo.ini");
    std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=" << password
                           << "\nWorld=demo\n[universe]\nhost=127.0.0.1\nport="
                           << test_.universe_port() << "\n[version]\nhost=127.0.0.1\nport="
                           << (version_port != 0 ? version_port : test_.version_port()) << "\n";
  }
  bool ok() const { return test_.create_error == 0; }

 private:
  orbilo::server_testing::TestServer test_;
  orbilo::server_testing::Serving serving_{test_};
  orbilo::ScratchDirectory scratch_;
};
