// The configuration file, the flags and the defaults.
#include <gtest/gtest.h>

#include <utility>

#include "server/config.h"

using namespace orbilo;

namespace {

// The example beside the server's sources, found from this file's place.
std::string example_path() {
  std::string here = __FILE__;
  return here.substr(0, here.rfind("tests/")) + "server/orbilo-server.example.conf";
}

bool parse(std::vector<const char*> arguments, ServerConfig* config, CommandLine* command_line,
           std::string* error) {
  arguments.insert(arguments.begin(), "orbilo-server");
  return config_parse_arguments(static_cast<int>(arguments.size()), arguments.data(), config,
                                command_line, error);
}

}  // namespace

TEST(ServerConfig, TheExampleFileReadsAsDocumented) {
  ServerConfig config;
  std::string error;
  ASSERT_TRUE(config_read_file(example_path(), &config, &error)) << error;
  EXPECT_EQ(config.universe_port, 5670);
  EXPECT_EQ(config.universe_build, 35);
  EXPECT_EQ(config.idle_timeout_ms, 150000);
  EXPECT_EQ(config.seed, 12345u);
  EXPECT_TRUE(config.seed_given);
  ASSERT_EQ(config.worlds.size(), 2u);
  EXPECT_EQ(config.worlds[0].name, "demo");
  EXPECT_EQ(config.worlds[0].port, 5671);
  EXPECT_EQ(config.worlds[0].crowd, 5);
  EXPECT_EQ(config.worlds[0].settings.at(3), "http://localhost/objects");
  EXPECT_EQ(config.worlds[1].port, 0);
  ASSERT_EQ(config.citizens.size(), 2u);
  EXPECT_EQ(config.citizens[1].name, "Second Owner");
  EXPECT_EQ(config.citizens[1].password, "change-me");
  EXPECT_EQ(config.version_policy.accepted, std::set<int>{4});
  EXPECT_EQ(config.version_policy.refused.at(3).verdict, '-');
  EXPECT_EQ(config.version_policy.refused.at(3).message,
            "Build 3 is no longer supported. Please upgrade.");
  EXPECT_TRUE(config_validate(config, &error)) << error;
}

TEST(ServerConfig, MistakesNameTheirLine) {
  // Each text, and the error it gives.
  const std::pair<const char*, const char*> cases[] = {
      {"[world toolongname]\n", "x:1: a world name has 1 to 8 characters"},
      {"[server]\nidle_timeout = soon\n", "x:2: bad number of seconds \"soon\""},
      {"port = 5\n", "x:1: key before the first section"},
      {"[universe]\nlisten 5670\n", "x:2: expected key = value"},
      {"[universe]\nlisten = nowhere\n", "x:2: bad address \"nowhere\""},
      {"[galaxy]\n", "x:1: unknown section [galaxy]"},
      {"[world a]\nbuild = 25\n", "x:2: bad world build (26 or more) \"25\""},
      {"[citizen 0]\n", "x:1: bad citizen number"},
      {"[version]\naccept = 4, x\n", "x:2: bad build list \"4, x\""},
  };
  for (const auto& [text, expected] : cases) {
    ServerConfig config;
    std::string error;
    EXPECT_FALSE(config_read_text(text, "x", &config, &error)) << text;
    EXPECT_EQ(error, expected);
  }
}

TEST(ServerConfig, FlagsOverrideTheFileAndDefaultsFillTheGaps) {
  ServerConfig config;
  CommandLine command_line;
  std::string error;
  ASSERT_TRUE(parse({}, &config, &command_line, &error)) << error;
  ASSERT_EQ(config.worlds.size(), 1u);
  EXPECT_EQ(config.worlds[0].name, "demo");
  ASSERT_EQ(config.citizens.size(), 1u);
  EXPECT_EQ(config.citizens[0].number, 1u);
  EXPECT_EQ(command_line.defaults.size(), 2u);  // both printed
  EXPECT_EQ(config.universe_port, 5670);
  EXPECT_EQ(config.version_port, 8315);

  config = ServerConfig();
  command_line = CommandLine();
  ASSERT_TRUE(parse({"--world", "Alpha=127.0.0.1:0", "--world", "beta", "--crowd", "50", "--seed",
                     "9", "--citizen", "5:Fifth:pw:with:colons", "--universe", "off",
                     "--universe-build", "32", "--trace", "--world-build", "30"},
                    &config, &command_line, &error))
      << error;
  ASSERT_EQ(config.worlds.size(), 2u);
  EXPECT_EQ(config.worlds[0].name, "alpha");
  EXPECT_EQ(config.worlds[1].crowd, 50);
  EXPECT_EQ(config.worlds[1].build, 30);
  EXPECT_EQ(config.seed, 9u);
  EXPECT_EQ(config.citizens[0].password, "pw:with:colons");
  EXPECT_FALSE(config.universe_enabled);
  EXPECT_EQ(config.universe_build, 32);
  EXPECT_TRUE(config.trace);
  EXPECT_TRUE(command_line.defaults.empty());

  EXPECT_FALSE(parse({"--crowd"}, &config, &command_line, &error));
  EXPECT_EQ(error, "--crowd needs a count from 0 to 5000");
  EXPECT_FALSE(parse({"--frobnicate"}, &config, &command_line, &error));
  EXPECT_EQ(error, "unknown argument \"--frobnicate\" (see --help)");
  EXPECT_FALSE(parse({"--config", "/nonexistent/orbilo.conf"}, &config, &command_line, &error));
  EXPECT_EQ(error, "/nonexistent/orbilo.conf: cannot be read");
  ASSERT_TRUE(parse({"--help"}, &config, &command_line, &error));
  EXPECT_TRUE(command_line.help);
  EXPECT_NE(std::string(config_help_text()).find("renumber SESSION [NEW]"), std::string::npos);
}
