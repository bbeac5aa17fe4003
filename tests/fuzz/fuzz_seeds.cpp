// Writes the starting corpus of the fuzz targets: for the library's, one file
// for a valid message of every id and build variant, each the set-up byte
// followed by the plain message stream; for the server's, the sessions of a
// well-behaved client on each kind of connection; for the bot's readers,
// settings files, location texts and version answers of each form.
//   fuzz_seeds DIRECTORY   (writes DIRECTORY/NAME/* for each target NAME_fuzz)
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_session.h"
#include "support/messages.h"

using namespace orbilo;

namespace {

using messages::Body;
using messages::Bytes;
using messages::frame;

struct Seed {
  std::string name;
  int setup;  // index into the build lists, plus flag bits
  Bytes body;
};

Bytes joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes universe(int result, int id, const Body& fields) {
  return frame(Body().byte(result).byte(id).bytes(fields.bytes_).bytes_);
}

Bytes world(int id, const Body& fields) {
  return frame(Body().byte(id).bytes(fields.bytes_).bytes_);
}

Body object(bool tilted) {
  Body body = Body().long_(1).long_(2).long_(3).word(500).word(0).word(-20).word(900);
  if (tilted) body.word(1).word(2);
  return body.string("model").string("description").string("action");
}

Body node(bool whole) {
  Body body = Body().byte(1).byte(2).byte(2).byte(whole).byte(whole);
  if (whole) {
    for (int k = 0; k < 64; ++k) body.byte(k);
    for (int k = 0; k < 64; ++k) body.word(k * 3);
  } else {
    body.byte(7).word(9);
  }
  return body;
}

std::vector<Seed> universe_seeds() {
  std::vector<Seed> seeds;
  for (int build = 0; build < 5; ++build) {
    const int number = fuzz::kUniverseBuilds[build];
    const std::uint8_t check[4] = {1, 2, 3, 4};
    std::string tag = std::to_string(number);
    seeds.push_back(
        {"login_" + tag, build, frame(messages::login_reply(number, 77, "Ball", 9, check))});
    seeds.push_back(
        {"lookup_" + tag, build, frame(messages::world_reply("myworld", 5671, 39, number, 3, 10))});
    seeds.push_back({"record23_" + tag, build, universe(0, 23, messages::record_fields())});
  }
  seeds.push_back({"refused", 0x80, universe(13, 20, Body())});
  seeds.push_back({"lookup_refused", 0, universe(27, 0, Body().string("myworld"))});
  seeds.push_back({"replies", 0x84, [] {
                     Bytes all;
                     for (int id : {1, 4, 11, 29, 31, 32, 42, 9}) {
                       Bytes one = universe(0, id, Body());
                       all.insert(all.end(), one.begin(), one.end());
                     }
                     return all;
                   }()});
  seeds.push_back(
      {"notice10", 4, universe(0, 10, Body().long_(1).string("a").long_string("b").byte(1))});
  seeds.push_back(
      {"worlds14", 4,
       universe(0, 14, Body().string("w").byte(1).word(2).string("v").byte(0).word(3))});
  seeds.push_back({"entries15", 4, universe(0, 15, messages::entries_fields(2))});
  seeds.push_back({"news16", 4, universe(0, 16, Body().long_(1).string("x"))});
  seeds.push_back(
      {"reply17", 4,
       universe(0, 17, Body().long_(1).string("x").long_(1).long_(2).long_(3).word(4))});
  seeds.push_back({"reply19", 4, universe(0, 19, Body().string("x"))});
  seeds.push_back(
      {"attributes21", 4,
       frame(messages::universe_attributes({{6, "35"}, {9, "4"}, {3, "x"}, {40, "y"}}))});
  seeds.push_back({"keys22", 4, frame(messages::universe_keys(5, 7))});
  seeds.push_back({"record24", 4, universe(0, 24, Body().string("x"))});
  seeds.push_back(
      {"citizen25", 4,
       universe(
           0, 25,
           Body().long_(5).byte(0).string("Owner").byte(17).string("x").byte(99).string("y"))});
  seeds.push_back({"number26", 4, universe(0, 26, Body().long_(5))});
  seeds.push_back({"renumber27", 4, frame(messages::renumber(300))});
  seeds.push_back(
      {"notice28", 4, universe(0, 28, Body().word(1).long_(2).string("n").long_(3).word(4))});
  seeds.push_back(
      {"entry30", 4, universe(0, 30, Body().bytes({1, 2, 3, 4}).long_(2).long_(3).string("t"))});
  seeds.push_back(
      {"page33", 4,
       universe(
           0, 33,
           Body().word(2).byte(1).long_(0).string("a").byte(1).word(2).string("b").byte(0).word(
               1))});
  seeds.push_back({"value41", 4, universe(0, 41, Body().long_(1))});
  seeds.push_back({"entry43", 4, universe(0, 43, Body().long_(1).byte(2).string("a").string("b"))});
  seeds.push_back({"redirect18", 4, frame(messages::redirect(5670))});
  seeds.push_back({"unknown", 4, universe(0, 99, Body().long_(1))});
  return seeds;
}

std::vector<Seed> world_seeds() {
  std::vector<Seed> seeds;
  for (int build = 0; build < 5; ++build) {
    int number = fuzz::kWorldBuilds[build];
    std::string tag = std::to_string(number);
    bool tilted = number >= 39;
    const messages::Avatar kicker{8, "Kicker", 1, 2, 3, 900, 1, 1, 1, 2, 3};
    Bytes chat = frame(messages::chat(8, "Ball owner"));
    Bytes added =
        frame(number >= 28 ? messages::avatar_add(kicker) : messages::avatar_add_before_28(kicker));
    added.insert(added.end(), chat.begin(), chat.end());
    seeds.push_back({"avatar_" + tag, build, added});
    seeds.push_back({"cell_" + tag, build | 0x08,
                     world(6, Body().word(-2).word(3).long_(9).bytes(object(tilted).bytes_))});
    Body add7 = tilted ? Body().long_(5) : Body().word(5);
    add7.long_(9).word(1).word(-1).bytes(object(tilted).bytes_);
    seeds.push_back({"object7_" + tag, build, world(7, add7)});
    Body click = Body().long_(8).word(1).word(2).long_(3);
    if (tilted) click = messages::click_details(click);
    seeds.push_back({"click19_" + tag, build, world(19, click)});
    Body kind = tilted ? Body().byte(1).long_(7) : Body().bytes({1, 2, 3, 4});
    seeds.push_back({"entry25_" + tag, build, world(25, Body(kind).byte(0))});
    seeds.push_back({"entry26_" + tag, build,
                     world(26, Body().byte(0).bytes(kind.bytes_).long_(1).long_(2).string("t"))});
    Body list = Body()
                    .long_(1)
                    .byte(1)
                    .string("a")
                    .string("b")
                    .string("c")
                    .string("d")
                    .byte(2)
                    .long_(3)
                    .long_(4)
                    .long_(5)
                    .word(6)
                    .long_(7)
                    .byte(8);
    if (tilted) list.long_(9);
    seeds.push_back({"list30_" + tag, build, world(30, list)});
  }
  seeds.push_back(
      {"attributes1", 4 | 0x40,
       frame(messages::world_attributes(
           {{14, "Y"}, {57, "0aFF"}, {22, "\x01\x02"}, {60, "5000"}, {62, "9"}, {21, "39"}}))});
  seeds.push_back(
      {"attributes1_again", 4 | 0x10 | 0x20, frame(messages::world_attributes({{3, "x"}}))});
  seeds.push_back({"delete3", 4, frame(messages::avatar_delete(8))});
  seeds.push_back({"change4", 4, frame(messages::avatar_change({8, "", 1, 2, 3, 4, 5, 6}))});
  seeds.push_back({"chat5_18", 4,
                   joined({frame(messages::chat(8, "a", 5)), frame(messages::chat(8, "b", 18))})});
  seeds.push_back({"result0", 4, world(0, Body().long_(1).byte(2))});
  seeds.push_back({"delete8", 4, world(8, Body().word(1).long_(2).word(3).word(4).long_(5))});
  for (int id : {9, 10, 11, 14, 36, 45, 13, 15, 16}) {
    seeds.push_back({"bare" + std::to_string(id), 4, world(id, Body())});
  }
  seeds.push_back({"keys17", 4, frame(messages::world_keys(1, 2))});
  seeds.push_back({"click20", 4, world(20, Body().long_(8).word(1).word(2).long_(3))});
  seeds.push_back({"act21", 4, world(21, Body().long_(8).long_(9))});
  seeds.push_back({"address22", 4, world(22, Body().long_(8).byte(0).bytes({1, 2, 3, 4}))});
  seeds.push_back({"texts23", 4, world(23, Body().long_(8).string("a").string("b"))});
  seeds.push_back(
      {"location24", 4,
       world(24, Body().long_(8).string("w").long_(1).long_(2).long_(3).word(4).byte(5))});
  seeds.push_back({"build27", 4, world(27, Body().byte(27).byte(0))});
  seeds.push_back({"entity28", 4, world(28, Body().string("a").byte(0).long_(1))});
  seeds.push_back({"entity29", 4, world(29, Body().byte(0).long_(1))});
  seeds.push_back({"flag31", 4, world(31, Body().byte(0).byte(1))});
  seeds.push_back({"entity32", 4, world(32, Body().long_(1))});
  for (int id : {33, 35, 37, 47}) {
    seeds.push_back({"result" + std::to_string(id), 4, world(id, Body().byte(0))});
  }
  seeds.push_back({"value34", 4, world(34, Body().byte(0).long_(1))});
  seeds.push_back({"items41", 4, world(41, Body().byte(0).word(1).word(2))});
  seeds.push_back({"page42", 4,
                   world(42, Body()
                                 .byte(0)
                                 .word(1)
                                 .word(2)
                                 .long_(3)
                                 .byte(0)
                                 .bytes(node(true).bytes_)
                                 .bytes(node(false).bytes_))});
  seeds.push_back({"notice43", 4, world(43, Body().byte(1).byte(2).byte(3).byte(3).string("n"))});
  seeds.push_back({"page44", 4, world(44, Body().word(1).word(2))});
  seeds.push_back(
      {"pages46", 4, world(46, Body().byte(0).byte(1).word(1).word(2).bytes(node(false).bytes_))});
  seeds.push_back({"page48", 4, world(48, Body().byte(0).word(1).word(2).byte(3).byte(4).byte(5))});
  seeds.push_back({"unknown", 4, world(49, Body().long_(1))});
  return seeds;
}

// The server's: set-up byte 0 to 4 chooses the connection, bits 3 and 4 the
// world, bits 6 and 7 a renumber and a redirect (see server_fuzz.cpp).
Bytes client(int id, const Body& fields) {
  return frame(Body().byte(id).bytes(fields.bytes_).bytes_);
}

Bytes text(std::string_view line) {
  return Bytes(line.begin(), line.end());
}

std::vector<Seed> server_seeds() {
  std::vector<Seed> seeds;
  using namespace messages;
  Bytes login = frame(universe_login("Ball", 1, "demo", "app"));
  Bytes lookups = joined({frame(world_lookup("demo")), frame(world_lookup("Mid")),
                          frame(world_lookup("nowhere")), frame(citizen_lookup(1)),
                          frame(citizen_lookup(7)), frame(citizen_lookup(99)),
                          frame(keep_alive_to_universe()), client(34, Body().long_(5))});
  seeds.push_back({"universe_login", 0, joined({login, lookups})});
  seeds.push_back({"universe_refused", 0, frame(universe_login("Ball", 1, "no", "x"))});
  seeds.push_back(
      {"universe_long_name", 0, frame(universe_login("A name far too long", 7, "seven", "x"))});
  seeds.push_back({"universe_lookups", 1, lookups});
  seeds.push_back({"universe_renumbered", 1 | 0x40 | 0x80, client(32, Body())});
  seeds.push_back({"universe_second_login", 1, joined({client(32, Body()), login})});
  seeds.push_back({"universe_unknown", 1, client(99, Body().long_(1))});
  seeds.push_back(
      {"world_login53", 2, frame(world_login({"demo", 5, 1234, 0, 0x12345678, 0, 99}))});
  seeds.push_back({"world_login27", 2 | 0x08, frame(world_login_27({"mid", 5, 1}))});
  seeds.push_back({"world_login20", 2 | 0x10, frame(world_login_20({"old", 5, 1}, 0))});
  Bytes world_session =
      joined({frame(state({.x = 100, .z = 200, .yaw = 900, .type = 1})),
              frame(state({.x = 150, .z = 250, .yaw = -900, .type = 1, .gesture = 1})),
              frame(whisper(1, "Hello crowd")), frame(whisper(4, "Ball version")),
              frame(whisper(999, "nobody")), frame(event_mask(0)), frame(event_mask(7)),
              frame(keep_alive_to_world())});
  for (int world : {0, 0x08, 0x10}) {
    std::string tag = std::to_string(world >> 3);
    seeds.push_back({"world_session" + tag, 3 | world, world_session});
  }
  seeds.push_back({"world_renumbered", 3 | 0x40 | 0x80, world_session});
  seeds.push_back(
      {"world_login_again", 3,
       joined({frame(state({.x = 1, .y = 2, .z = 3, .yaw = 4, .type = 5, .gesture = 6})),
               client(53, Body().string("demo").long_(1).long_(2).word(24))})});
  seeds.push_back({"world_unknown", 3, client(99, Body())});
  seeds.push_back({"version_accepted", 4, text("4:Orbilo\n")});
  seeds.push_back({"version_refused", 4, text("3:orbilo\r\n")});
  seeds.push_back({"version_other", 4, text("4:Other\n")});
  seeds.push_back({"version_malformed", 4, text("1234567890:Orbilo\n")});
  return seeds;
}

// The bot's readers: the input is the file, the text or the answer itself.
struct Raw {
  std::string name;
  std::string bytes;
};

std::vector<Raw> settings_seeds() {
  const std::string main =
      "[Main]\nName=Simple Orbilo\nCitizen=1\nPassword=\"  blanks kept  \"\nWorld=demo\n"
      "CenterCoords=2.5s 10.25w 0.5a 180\nAvatar=3\nDisableBotKicking=0\nReturnHome=1\n";
  const std::string servers =
      "[universe]\nhost=127.0.0.1\nport=5670\n[version]\nhost=localhost\n"
      "port=8315\n";
  std::string crlf;
  for (char c : main + servers) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return {
      {"empty", ""},
      {"whole", main + servers},
      {"crlf", crlf},
      {"others_first", "; the user's own\n[Other]\nkey=value\n" + servers + main},
      {"no_last_newline", "[Main]\nName=Ball\n[universe]\nport=5671"},
      {"no_main", "[universe]\r\nhost=localhost\r\n"},
      {"cases_and_blanks", "  [ main ]  \n  name  =  'Ball'  \n CITIZEN = +12x\n[MAIN]\nworld=a\n"},
      {"garbage", "garbage line\n=\n[\n]\n[Main\nName\n\x01\x02\x03\n;[Main]\n"},
      {"nul_in_value", std::string("[Main]\nName=Ba") + '\0' + "ll\nPassword=\"\"\n"},
      {"long_line", "[Main]\nCenterCoords=" + std::string(300, '7') + "n\n"},
      {"byte_order_mark", "\xEF\xBB\xBF[Main]\r\nName=Ball\r\n"},
      {"byte_order_mark_only", "\xEF\xBB\xBF"},
  };
}

std::vector<Raw> location_seeds() {
  return {{"origin", "0n 0e"},
          {"all_four", "2.5s 10.25w 0.5a 180"},
          {"upper_case", "  12N 1E -3A 45  "},
          {"exponents", "1e3n -2.5E-1w 1e400a 1e-400 .5s"},
          {"world_name", "myworld 3n 4w 90"},
          {"too_large", "99999999999n 2147483.648w -2147483.648e"},
          {"tabs", "1n\t2w  \t 3a"}};
}

std::vector<Raw> version_seeds() {
  return {{"accepted", "    1+"},     {"accepted_message", "00020+Please upgrade soon"},
          {"refused", "    6-Stop!"}, {"refused_equal", "00004=old"},
          {"other", "00001?"},        {"nul", std::string("00006+ab\0cd", 11)},
          {"short_length", "000"},    {"garbage_length", "abcde"},
          {"zero_length", "00000"},   {"short_body", "00010+short"},
          {"huge_length", "99999+"}};
}

bool write_raw(const std::string& directory, const std::vector<Raw>& seeds) {
  for (const Raw& seed : seeds) {
    std::string path = directory + "/" + seed.name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), file) == seed.bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) return false;
  }
  return true;
}

bool write_seeds(const std::string& directory, const std::vector<Seed>& seeds) {
  for (const Seed& seed : seeds) {
    std::string path = directory + "/" + seed.name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    auto setup = static_cast<std::uint8_t>(seed.setup);
    bool ok = std::fwrite(&setup, 1, 1, file) == 1 &&
              std::fwrite(seed.body.data(), 1, seed.body.size(), file) == seed.body.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIRECTORY\n");
    return 2;
  }
  std::string directory = argv[1];
  if (!write_seeds(directory + "/universe", universe_seeds()) ||
      !write_seeds(directory + "/world", world_seeds()) ||
      !write_seeds(directory + "/server", server_seeds()) ||
      !write_raw(directory + "/settings", settings_seeds()) ||
      !write_raw(directory + "/location", location_seeds()) ||
      !write_raw(directory + "/version", version_seeds())) {
    std::perror("fuzz_seeds");
    return 1;
  }
  return 0;
}
