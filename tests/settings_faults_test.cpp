// The settings file under faults: garbage lines, CRLF and CR line ends, very
// long lines, NUL bytes, a byte order mark, no newline at the end, a file too
// large to read, a file or directory that may not be read or written. The bot
// starts with the defaults where it can, reads what it can, and a save either
// changes the "Main" keys alone, every other byte kept, or leaves the file
// exactly as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/child_process.h"
#include "support/settings_file.h"

namespace {

using namespace std::string_literals;

const LoginFields kDefaults{"Simple Orbilo", 0, "", "", "0n 0e", 0, 0, 0};
const ServerSettings kDefaultServers{"localhost", 5670, "localhost", 8315};

// What settings_save writes for these fields, in this order, each line ended
// by end (the last one by last_end).
const LoginFields kSaved{"Saved", 12, "pw", "w2", "3n 4e", 5, 1, 0};
std::string SavedKeys(const std::string& end, const std::string& last_end) {
  return "Citizen=12" + end + "Avatar=5" + end + "Password=pw" + end + "CenterCoords=3n 4e" + end +
         "World=w2" + end + "Name=Saved" + end + "DisableBotKicking=1" + end + "ReturnHome=0" +
         last_end;
}

class SettingsFaults : public orbilo::SettingsFileTest {
 protected:
  int Entries() const { return scratch_.entries(); }

  // Writes before, loads it, saves kSaved over it, and checks that the file
  // is then after, byte for byte.
  void RoundTrip(const std::string& before, const std::string& after) {
    Write(before);
    EXPECT_TRUE(Load());
    EXPECT_TRUE(settings_save(path_, kSaved));
    EXPECT_TRUE(Read() == after) << "saved as:\n" << Read();
    EXPECT_EQ(Entries(), 1);  // no temporary file left behind
  }

  // Writes before, gives the file mode and opens its directory to all, runs
  // check on the file's path as the user nobody (root reads and writes any
  // file), and checks that it found nothing wrong and that the file is then
  // before, alone.
  void AsNobodyTheFileStays(const std::string& before, mode_t mode,
                            std::string (*check)(const std::string& path)) {
    Write(before);
    chmod(path_.c_str(), mode);
    chmod(directory_.c_str(), 0777);
    std::string path = path_;
    std::string found = orbilo::run_in_child([path, check] { return check(path); }, true);
    if (found == "skip") GTEST_SKIP() << "cannot run as another user";
    EXPECT_EQ(found, "");
    EXPECT_TRUE(Read() == before);
    EXPECT_EQ(Entries(), 1);
  }
};

// Lines that are neither section headers nor keys are passed over when
// reading and kept as they are when writing. Keys before any section or in
// other sections are not Main's; a second "Main" section adds to the first.
TEST_F(SettingsFaults, GarbageLinesAreSkippedAndKeptByteForByte) {
  const std::string head =
      "World=outside\n"
      "\x01\x02\x7f\xff\xfe binary\n"
      "=no key\n"
      "no equals sign\n"
      "]odd[\n"
      "[Main\n"  // no closing bracket: not a header
      "Name=still outside\n"
      "[ Main ] trailing text\n"
      "Name=Bob\n"
      "  ; Avatar=9\n"
      "[broken line = 3\n"
      "Citizen 7\n"
      "Citizen==8\n";
  const std::string middle =
      "\n"
      "[universe]\n"
      "host = 127.0.0.1 \n"
      "port=12x34\n"
      "[Main]\n";
  const std::string tail =
      "[version]\n"
      "port=-5\n";
  const std::string before = head + middle + "World=second\n" + tail;
  Write(before);
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_, (LoginFields{"Bob", 0, "", "second", "0n 0e", 0, 0, 0}));  // "=8": no digits
  EXPECT_EQ(servers_, (ServerSettings{"127.0.0.1", 12, "localhost", -5}));

  RoundTrip(before,
            "World=outside\n\x01\x02\x7f\xff\xfe binary\n=no key\nno equals sign\n]odd[\n"
            "[Main\nName=still outside\n[ Main ] trailing text\nName=Saved\n  ; Avatar=9\n"
            "[broken line = 3\nCitizen 7\nCitizen=12\nAvatar=5\nPassword=pw\n"
            "CenterCoords=3n 4e\nDisableBotKicking=1\nReturnHome=0\n" +
                middle + "World=w2\n" + tail);
}

// CRLF files read as LF files do, and keep CRLF when written: changed lines
// keep their ends and added lines take the first line's end. A file of CR
// alone is one line; it is kept, and the keys follow it.
TEST_F(SettingsFaults, CrlfAndCrLineEnds) {
  const std::string crlf =
      "[Main]\r\nName=Bob\r\nWorld=w\r\nCitizen=7\r\n\r\n[universe]\r\nhost=127.0.0.1\r\n"
      "port=5671\r\n";
  Write(crlf);
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_, (LoginFields{"Bob", 7, "", "w", "0n 0e", 0, 0, 0}));
  EXPECT_EQ(servers_, (ServerSettings{"127.0.0.1", 5671, "localhost", 8315}));
  RoundTrip(crlf,
            "[Main]\r\nName=Saved\r\nWorld=w2\r\nCitizen=12\r\nAvatar=5\r\nPassword=pw\r\n"
            "CenterCoords=3n 4e\r\nDisableBotKicking=1\r\nReturnHome=0\r\n\r\n[universe]\r\n"
            "host=127.0.0.1\r\nport=5671\r\n");

  // Mixed ends: the first line's end is the one added lines take.
  RoundTrip("; note\n[Main]\r\nWorld=w\r\n",
            "; note\n[Main]\r\nWorld=w2\r\nCitizen=12\nAvatar=5\nPassword=pw\n"
            "CenterCoords=3n 4e\nName=Saved\nDisableBotKicking=1\nReturnHome=0\n");

  const std::string cr = "[universe]\rport=1\r[Main]\rWorld=w\r";
  Write(cr);
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_, kDefaults);
  EXPECT_EQ(servers_, kDefaultServers);
  RoundTrip(cr, cr + "\n[Main]\n" + SavedKeys("\n", ""));
}

// Lines of a mebibyte: values are cut to their lengths, and the lines the
// save does not change come back whole.
TEST_F(SettingsFaults, VeryLongLines) {
  const std::string mebibyte(1 << 20, 'x');
  const std::string comment = "; " + mebibyte + "\n";
  const std::string notes = "Notes=" + mebibyte + "\n";
  const std::string servers = "[universe]\nhost=" + mebibyte + "\nport=" + mebibyte + "\n";
  const std::string before = comment + "[Main]\nName=" + mebibyte + "\n" + notes +
                             "CenterCoords=" + std::string(1 << 20, '1') + "\n" + servers;
  Write(before);
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_.Name, std::string(19, 'x'));
  EXPECT_EQ(fields_.CenterCoords, std::string(199, '1'));
  EXPECT_EQ(servers_.UniverseHost, std::string(99, 'x'));
  EXPECT_EQ(servers_.UniversePort, 0);
  RoundTrip(before, comment + "[Main]\nName=Saved\n" + notes + "CenterCoords=3n 4e\n" +
                        "Citizen=12\nAvatar=5\nPassword=pw\nWorld=w2\nDisableBotKicking=1\n"
                        "ReturnHome=0\n" +
                        servers);

  // A section header of a mebibyte, and a line of a mebibyte with no end.
  const std::string header = "[" + mebibyte + "]\nName=not main\n";
  RoundTrip(header + mebibyte, header + mebibyte + "\n[Main]\n" + SavedKeys("\n", ""));
}

// A NUL byte ends a value; in a section or key name it makes another name.
// Every NUL byte of a line the save does not change is kept.
TEST_F(SettingsFaults, NulBytes) {
  const std::string before =
      "; \0 comment\n[Ma\0in]\nWorld=not main\n[Main]\nName=ab\0cd\nWor\0ld=x\n"
      "Citizen=\0 5\nAvatar=4\0\n[universe]\nhost=127.0.0.1\0junk\n"s;
  Write(before);
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_, (LoginFields{"ab", 0, "", "", "0n 0e", 4, 0, 0}));
  EXPECT_EQ(servers_.UniverseHost, "127.0.0.1");
  RoundTrip(before,
            "; \0 comment\n[Ma\0in]\nWorld=not main\n[Main]\nName=Saved\nWor\0ld=x\n"
            "Citizen=12\nAvatar=5\nPassword=pw\nCenterCoords=3n 4e\nWorld=w2\n"
            "DisableBotKicking=1\nReturnHome=0\n[universe]\nhost=127.0.0.1\0junk\n"s);
}

// A last line without a newline keeps having none: a line is added after
// it only with a line end between the two.
TEST_F(SettingsFaults, NoNewlineAtTheEnd) {
  Write("[Main]\nWorld=w");
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_.World, "w");
  RoundTrip("[Main]\nWorld=w",
            "[Main]\nWorld=w2\nCitizen=12\nAvatar=5\nPassword=pw\nCenterCoords=3n 4e\n"
            "Name=Saved\nDisableBotKicking=1\nReturnHome=0");
  RoundTrip(
      "[Main]\r\nName=n\r\nCitizen=1\r\nAvatar=2\r\nPassword=p\r\nCenterCoords=c\r\n"
      "World=w\r\nDisableBotKicking=0\r\nReturnHome=1",
      "[Main]\r\nName=Saved\r\nCitizen=12\r\nAvatar=5\r\nPassword=pw\r\n"
      "CenterCoords=3n 4e\r\nWorld=w2\r\nDisableBotKicking=1\r\nReturnHome=0");
  RoundTrip("[version]\nport=1\n; the end",
            "[version]\nport=1\n; the end\n[Main]\n" + SavedKeys("\n", ""));
  RoundTrip("", "[Main]\n" + SavedKeys("\n", "\n"));
}

// A UTF-8 byte order mark, as some editors write one, does not hide the
// first section, and is kept.
TEST_F(SettingsFaults, AByteOrderMarkIsKept) {
  const std::string bom = "\xEF\xBB\xBF";
  Write(bom + "[Main]\r\nWorld=w\r\n[universe]\r\nport=7\r\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(fields_.World, "w");
  EXPECT_EQ(servers_.UniversePort, 7);
  RoundTrip(bom + "[Main]\r\nWorld=w\r\n[universe]\r\nport=7\r\n",
            bom +
                "[Main]\r\nWorld=w2\r\nCitizen=12\r\nAvatar=5\r\nPassword=pw\r\n"
                "CenterCoords=3n 4e\r\nName=Saved\r\nDisableBotKicking=1\r\nReturnHome=0\r\n"
                "[universe]\r\nport=7\r\n");
  RoundTrip(bom + "World=outside", bom + "World=outside\n[Main]\n" + SavedKeys("\n", ""));
}

// A file too large to read counts as unreadable: the defaults, and a save
// that changes nothing.
TEST_F(SettingsFaults, AFileTooLargeToReadIsNeverWritten) {
  std::string before = "[Main]\nWorld=w\n" + std::string(16 * 1024 * 1024, ';') + "\n";
  Write(before);
  EXPECT_FALSE(Load());
  EXPECT_EQ(fields_, kDefaults);
  EXPECT_EQ(servers_, kDefaultServers);
  EXPECT_FALSE(settings_save(path_, kSaved));
  EXPECT_TRUE(Read() == before);
  EXPECT_EQ(Entries(), 1);
}

// A file of sixteen million blank lines, just under the size limit, is read
// and written in bounded memory: the lines are not held one by one.
TEST_F(SettingsFaults, ManyShortLinesInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address space limit cannot hold beside the sanitizer's shadow memory";
#else
  const std::string blank(16 * 1024 * 1024 - 64, '\n');
  Write("[Main]\nWorld=w\n" + blank);
  std::string found = orbilo::run_in_child([this] {
    // Room for the file's bytes a few times over, and no more.
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    rlimit capped{256u << 20, limit.rlim_max};
    std::ifstream maps("/proc/self/statm");
    unsigned long pages = 0;
    maps >> pages;
    capped.rlim_cur += pages * static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
    setrlimit(RLIMIT_AS, &capped);
    LoginFields fields;
    ServerSettings servers;
    bool read = settings_load(path_, &fields, &servers);
    bool saved = settings_save(path_, kSaved);
    return std::string(read && fields.World == "w" ? "r" : "-") + (saved ? "s" : "-");
  });
  EXPECT_EQ(found, "rs");
  EXPECT_TRUE(Read() ==
              "[Main]\nWorld=w2\nCitizen=12\nAvatar=5\nPassword=pw\n"
              "CenterCoords=3n 4e\nName=Saved\nDisableBotKicking=1\nReturnHome=0\n" +
                  blank);
#endif
}

// A file of mode 000, which its reader may not read: the defaults, and the
// file is not written. Root reads any file, so the reader is the user nobody.
TEST_F(SettingsFaults, AnUnreadableFileIsNeverWritten) {
  AsNobodyTheFileStays("[Main]\nWorld=w\n[universe]\nport=1\n", 0000, [](const std::string& path) {
    LoginFields fields;
    ServerSettings servers;
    if (settings_load(path, &fields, &servers)) return std::string("read an unreadable file");
    if (!(fields == kDefaults) || !(servers == kDefaultServers)) return std::string("no defaults");
    if (settings_save(path, kSaved)) return std::string("saved over an unreadable file");
    return std::string();
  });
}

// Where a rename would lose something, the save writes the file in place:
// a directory the saver may not write, a file of another user's, a file with
// a second link. Each keeps its inode, owner and mode, and every link sees
// the saved keys, with no file left beside it.
constexpr const char* kInPlaceBefore = "[Main]\nWorld=w\n[universe]\nport=1\n";
constexpr const char* kInPlaceAfter =
    "[Main]\nWorld=w2\nCitizen=12\nAvatar=5\nPassword=pw\nCenterCoords=3n 4e\nName=Saved\n"
    "DisableBotKicking=1\nReturnHome=0\n[universe]\nport=1\n";

// Loads the file at path, checks it, and saves kSaved over it; "" or what
// went wrong.
std::string LoadAndSave(const std::string& path) {
  LoginFields fields;
  ServerSettings servers;
  if (!settings_load(path, &fields, &servers)) return "not read";
  if (fields.World != "w" || servers.UniversePort != 1) return "misread";
  if (!settings_save(path, kSaved)) return "not saved";
  return "";
}

TEST_F(SettingsFaults, SavedInPlaceWhereARenameWouldLoseSomething) {
  const struct {
    const char* name;
    mode_t directory_mode;
    bool as_nobody;
    bool second_link;
  } cases[] = {
      {"a directory the saver may not write", 0555, true, false},
      {"a file of another user's", 0777, true, false},
      {"a file with a second link", 0700, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    chmod(directory_.c_str(), 0700);
    std::filesystem::remove_all(directory_);
    ASSERT_EQ(mkdir(directory_.c_str(), 0700), 0);
    Write(kInPlaceBefore);
    chmod(path_.c_str(), 0666);
    const std::string link = directory_ + "/link.ini";
    if (c.second_link) {
      ASSERT_EQ(::link(path_.c_str(), link.c_str()), 0);
    }
    struct stat before;
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    chmod(directory_.c_str(), c.directory_mode);
    std::string path = path_;
    std::string found = c.as_nobody
                            ? orbilo::run_in_child([path] { return LoadAndSave(path); }, true)
                            : LoadAndSave(path);
    if (found == "skip") {
      GTEST_SKIP() << "cannot run as another user";
    }
    EXPECT_EQ(found, "");
    EXPECT_TRUE(Read() == kInPlaceAfter) << "saved as:\n" << Read();
    struct stat after;
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(Entries(), c.second_link ? 2 : 1);
    if (c.second_link) {
      std::ostringstream linked;
      linked << std::ifstream(link, std::ios::binary).rdbuf();
      EXPECT_TRUE(linked.str() == kInPlaceAfter);
    }
  }
}

// A path under a file, whose directory cannot exist: read as a missing file,
// and the save fails, leaving the file above it as it was.
TEST_F(SettingsFaults, APathUnderAFileIsNotSaved) {
  const std::string before = "[Main]\nWorld=w\n[universe]\nport=1\n";
  Write(before);
  std::string under_a_file = path_ + "/orbilo.ini";
  EXPECT_TRUE(settings_load(under_a_file, &fields_, &servers_));  // as a missing file
  EXPECT_EQ(fields_, kDefaults);
  EXPECT_FALSE(settings_save(under_a_file, kSaved));
  EXPECT_TRUE(Read() == before);
}

// A file made read-only in a directory that may be written: it is not
// replaced behind its owner's back.
TEST_F(SettingsFaults, AReadOnlyFileIsNotReplaced) {
  AsNobodyTheFileStays("[Main]\nWorld=w\n", 0444, [](const std::string& path) {
    LoginFields fields;
    ServerSettings servers;
    if (!settings_load(path, &fields, &servers) || fields.World != "w")
      return std::string("not read");
    if (settings_save(path, kSaved)) return std::string("replaced a read-only file");
    return std::string();
  });
}

}  // namespace
