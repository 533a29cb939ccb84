// The eight storage actions through nbExecAction, with a fake host that
// records every variable the plug-in sets and real container files in a
// temporary folder. Stored bytes are checked through the container itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "container/SingleFileSystem.h"
#include "engine/Directory.h"
#include "platform/HostMemory.h"
#include "plugin/TextLines.h"
#include "plugin/veVazevidApi.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// Text lines and integer parameters.

TEST(TextLines, SplitsAtEveryKindOfBreakAndStopsAtAZeroByte) {
  using Lines = std::vector<std::string>;
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo", {"one", "two"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\ntwo\rthree", {"one", "two", "three"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR are two breaks
      {"a\r\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"\n\n\n", {"", "", ""}},
      {std::string("a\nb\0c\nd", 7), {"a", "b"}},
      {std::string("\0abc", 4), {}},
      {" lead and trail \t", {" lead and trail \t"}},
  };
  for (const auto& [text, lines] : cases)
    EXPECT_EQ(SplitTextLines(text), lines) << testing::PrintToString(text);
}

TEST(TextLines, JoinPutsCrLfAfterEveryLine) {
  EXPECT_EQ(JoinTextLines({}), "");
  EXPECT_EQ(JoinTextLines({""}), "\r\n");
  EXPECT_EQ(JoinTextLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinTextLines(SplitTextLines("x\ny\rz")), "x\r\ny\r\nz\r\n");
}

TEST(TextLines, ParseIntegerReadsDecimalAndHexWithinThirtyTwoBits) {
  const std::pair<std::string, std::optional<int32_t>> cases[] = {
      {"0", 0},
      {"1", 1},
      {"-5", -5},
      {"+7", 7},
      {"   12", 12},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$1F", 31},
      {"$ff", 255},
      {"0x1F", 31},
      {"0X1f", 31},
      {"x10", 16},
      {"-$10", -16},
      {"$7FFFFFFF", 2147483647},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"x", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"1 ", std::nullopt},
      {"1x", std::nullopt},
      {"1.0", std::nullopt},
      {"\t1", std::nullopt},
      {"- 1", std::nullopt},
      {"$G", std::nullopt},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$80000000", std::nullopt},
      {"$FFFFFFFF", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseInteger(text), value) << '"' << text << '"';
}

// ---------------------------------------------------------------------------
// The fake host: variables the script has, and every SetVar call in order.

std::map<std::string, std::string> hostVars;
std::vector<std::pair<std::string, std::string>> setCalls;
std::string throwOnSetValue;  // SetVar throws std::bad_alloc when asked to set this value
bool getVarThrows = false;

void FakeSetVar(const char* name, const char* value) {
  const std::string text = value != nullptr ? value : "";
  if (!throwOnSetValue.empty() && text == throwOnSetValue) throw std::bad_alloc();
  setCalls.emplace_back(name, text);
  hostVars[name] = text;
}

void FakeGetVar(const char* name, char** slot) {
  if (getVarThrows) throw std::bad_alloc();
  const auto it = hostVars.find(name);
  if (it == hostVars.end()) return;
  char* block = static_cast<char*>(platform::HostMemory().Alloc(it->second.size() + 1));
  std::memcpy(block, it->second.c_str(), it->second.size() + 1);
  *slot = block;
}

using Calls = std::vector<std::pair<std::string, std::string>>;

std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  std::mt19937 rng(seed);
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// Text that compresses well.
std::string Prose(size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i) + " of a compressible text\r\n";
  s.resize(n);
  return s;
}

// The entries of a listing, sorted.
std::vector<std::string> SortedEntries(const std::string& listing) {
  std::vector<std::string> entries = SplitTextLines(listing);
  std::sort(entries.begin(), entries.end());
  return entries;
}

class Actions : public vvtest::PlugInFixture {
 protected:
  void SetUp() override {
    PlugInFixture::SetUp();
    hostVars.clear();
    setCalls.clear();
    throwOnSetValue.clear();
    getVarThrows = false;
    nbRegisterPlugIn(nullptr, nullptr, FakeGetVar, FakeSetVar);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("vv_actions_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    store_ = Path("store.vvs");
  }
  void TearDown() override {
    fs::remove_all(dir_);
    PlugInFixture::TearDown();
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs action `id` with `params`; setCalls then holds only this call's SetVar calls.
  bool Exec(int id, const std::vector<std::string>& params) {
    setCalls.clear();
    std::vector<const char*> ptrs;
    for (const std::string& p : params) ptrs.push_back(p.c_str());
    return nbExecAction(id, ptrs.data()) != 0;
  }
  bool Put(const std::string& disk, const std::string& pwd = "", const std::string& flag = "0") {
    return Exec(1, {store_, disk, pwd, flag});
  }
  bool Extract(const std::string& name, const std::string& folder, const std::string& pwd = "") {
    return Exec(2, {store_, name, pwd, folder, "0"});
  }
  bool Line(const std::string& name, const std::string& number, const std::string& pwd = "") {
    return Exec(3, {store_, pwd, name, number, "0"});
  }
  bool Create(const std::string& pwd = "", const std::string& flag = "1") {
    return Exec(4, {store_, pwd, flag});
  }
  bool List(const std::string& pwd = "") { return Exec(5, {store_, pwd, "0"}); }
  bool LoadVar(const std::string& name, const std::string& pwd = "") {
    return Exec(6, {store_, name, pwd, "0"});
  }
  bool SaveVar(const std::string& name, const std::string& text, const std::string& pwd = "") {
    hostVars["[veVazevidVar]"] = text;
    return Exec(7, {store_, name, pwd, "0"});
  }
  bool Delete(const std::string& name, const std::string& pwd = "") {
    return Exec(8, {store_, name, pwd, "0"});
  }

  std::string Var(const std::string& name) const {
    const auto it = hostVars.find(name);
    return it == hostVars.end() ? "<unset>" : it->second;
  }
  std::string Error() const { return Var("[veVazevidError]"); }

  std::string WriteDisk(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string ReadDisk(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  // The stored file's bytes as the container holds them (block-stream
  // header and compressed blocks for a compressed file).
  std::string StoredBytes(const std::string& name, const std::string& pwd = "") const {
    TSingleFileSystem c(store_, 0, pwd, "", "", 0);
    TSFSUserFileStream s(&c, name, 0, "", "", "");
    return ReadAll(s);
  }
  // The stored file's logical content.
  std::string StoredContent(const std::string& name, const std::string& pwd = "") const {
    TSingleFileSystem c(store_, 0, pwd, "", "", 0);
    TSFSFileStream s(&c, name, 0, "", "", "", 0);
    return ReadAll(s);
  }
  bool IsStored(const std::string& name, const std::string& pwd = "") const {
    TSingleFileSystem c(store_, 0, pwd, "", "", 0);
    return c.FileExists(name);
  }
  static std::string ReadAll(TStream& s) {
    std::string bytes(static_cast<size_t>(s.GetSize()), '\0');
    s.SetPosition(0);
    s.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return bytes;
  }

  fs::path dir_;
  std::string store_;
};

// ---------------------------------------------------------------------------
// The storage-exists test, and what every action leaves alone when it fails.

TEST_F(Actions, EveryActionButCreateReportsAMissingStorageAndTouchesNothingElse) {
  struct Case {
    int id;
    std::vector<std::string> params;
    Calls calls;
  };
  const std::string missing = Path("no-such.vvs");
  const std::string disk = WriteDisk("a.txt", "data");
  const Calls plain = {{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-001"}};
  const Case cases[] = {
      {1, {missing, disk, "", "1"}, plain},
      {2, {missing, "a.txt", "", dir_.string(), "1"}, plain},
      {3, {missing, "", "a.txt", "0", "1"}, plain},
      {5, {missing, "", "1"}, plain},
      {6,
       {missing, "a.txt", "", "1"},
       {{"[veVazevidError]", ""}, {"[veVazevidVar]", ""}, {"[veVazevidError]", "vqST-001"}}},
      {7, {missing, "a.txt", "", "1"}, plain},
      {8, {missing, "a.txt", "", "1"}, plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    hostVars = {{"[veVazevidListDir]", "keep"},
                {"[vqLineFromStorageTXT]", "keep"},
                {"[veVazevidVar]", "keep"},
                {"[LastError]", "keep"}};
    EXPECT_FALSE(Exec(c.id, c.params));
    EXPECT_EQ(setCalls, c.calls);
    EXPECT_FALSE(fs::exists(missing)) << "no storage may be created";
  }
  // A folder is not a storage file either.
  EXPECT_FALSE(Exec(5, {dir_.string(), "", "0"}));
  EXPECT_EQ(Error(), "vqST-001");
}

TEST_F(Actions, CreateRefusesAnExistingFileAndLeavesItsBytes) {
  const std::string before = Pattern(5000, 1);
  WriteDisk("store.vvs", before);
  EXPECT_FALSE(Create("", "1"));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-010"}}));
  EXPECT_EQ(ReadDisk(store_), before);
}

TEST_F(Actions, CreateMakesAStorageProtectedOnlyByANonEmptyPassword) {
  struct Case {
    std::string password;
    bool ok;
    std::string code;
  };
  const Case cases[] = {
      {"", true, "vqST-000"},
      {"p", true, "vqST-000"},
      {std::string(32, 'k'), true, "vqST-000"},
      {std::string(33, 'k'), false, "vqST-011"},
      {std::string(40, 'k'), false, "vqST-011"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password.size());
    store_ = Path("create" + std::to_string(n++) + ".vvs");
    EXPECT_EQ(Create(c.password), c.ok);
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", c.code}}));
    if (!c.ok) continue;
    TSingleFileSystem opened(store_, 0, c.password, "", "", 0);
    EXPECT_EQ(opened.IsEncrypted(), !c.password.empty());
    EXPECT_EQ(opened.GetDefaultCompression(), 2);
  }
  // An unprotected storage opens with any password.
  store_ = Path("create0.vvs");
  const std::string disk = WriteDisk("a.txt", "abc");
  EXPECT_TRUE(Put(disk, "anything"));
  EXPECT_TRUE(List("something else"));
  EXPECT_EQ(Var("[veVazevidListDir]"), "a.txt\r\n");
  EXPECT_EQ(StoredContent("a.txt"), "abc");
}

TEST_F(Actions, CreateInAFolderThatDoesNotExistFails) {
  store_ = Path("no/such/folder/store.vvs");
  EXPECT_FALSE(Create());
  EXPECT_EQ(Error(), "vqST-011");
}

// ---------------------------------------------------------------------------
// Putting files.

TEST_F(Actions, TheCreateFlagDecidesCompressionAndThePutFlagIsIgnored) {
  struct Case {
    std::string createFlag, putFlag;
    bool compressed;
  };
  const Case cases[] = {{"1", "0", true},  {"1", "1", true},    {"0", "1", false},
                        {"0", "0", false}, {"yes", "1", false}, {"", "1", false}};
  const std::string content = Prose(20000);
  const std::string disk = WriteDisk("text.txt", content);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.createFlag + "/" + c.putFlag);
    store_ = Path("flag" + std::to_string(n++) + ".vvs");
    ASSERT_TRUE(Create("", c.createFlag));
    EXPECT_TRUE(Put(disk, "", c.putFlag));
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-000"}}));
    const std::string stored = StoredBytes("text.txt");
    if (c.compressed) {
      ASSERT_GE(stored.size(), 128u);
      EXPECT_EQ(stored.substr(0, 4), "ZKCS");
      EXPECT_EQ(stored[20], 2) << "method byte";
      EXPECT_LT(stored.size(), content.size());
    } else {
      EXPECT_EQ(stored, content);
    }
    EXPECT_EQ(StoredContent("text.txt"), content);
  }
}

TEST_F(Actions, PutStoresUnderTheLastPathComponentAndReplacesContent) {
  ASSERT_TRUE(Create("", "1"));
  fs::create_directories(dir_ / "sub" / "deeper");
  const std::string first = Pattern(300000, 2);
  WriteDisk("sub/deeper/a.txt", first);
  // Forward slashes, backslashes and mixed separators all leave only the name.
  const std::string paths[] = {
      Path("sub/deeper/a.txt"),
      dir_.string() + "\\sub\\deeper\\a.txt",
      dir_.string() + "/sub\\deeper/a.txt",
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(Put(path));
    EXPECT_EQ(Error(), "vqST-000");
  }
  EXPECT_TRUE(List());
  EXPECT_EQ(Var("[veVazevidListDir]"), "a.txt\r\n");
  EXPECT_EQ(StoredContent("a.txt"), first);
  // A shorter file replaces the whole content, in raw and compressed storages.
  const std::string second = "short";
  WriteDisk("sub/deeper/a.txt", second);
  EXPECT_TRUE(Put(paths[0]));
  EXPECT_EQ(StoredContent("a.txt"), second);

  store_ = Path("raw.vvs");
  ASSERT_TRUE(Create("", "0"));
  WriteDisk("sub/deeper/a.txt", first);
  EXPECT_TRUE(Put(paths[0]));
  WriteDisk("sub/deeper/a.txt", second);
  EXPECT_TRUE(Put(paths[0]));
  EXPECT_EQ(StoredBytes("a.txt"), second);
}

TEST_F(Actions, PutOfAMissingDiskFileFails) {
  ASSERT_TRUE(Create());
  EXPECT_FALSE(Put(Path("absent.txt")));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-002"}}));
  // A disk path naming a folder has no file to read either.
  fs::create_directories(dir_ / "folder");
  EXPECT_FALSE(Put(Path("folder")));
  EXPECT_EQ(Error(), "vqST-002");
}

// ---------------------------------------------------------------------------
// Extracting files.

TEST_F(Actions, ExtractOfAnAbsentNameReportsInLastError) {
  ASSERT_TRUE(Create());
  hostVars["[LastError]"] = "old";
  EXPECT_FALSE(Extract("nothing.bin", dir_.string()));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[LastError]", "vqST-003"}}));
  EXPECT_EQ(Error(), "");
}

TEST_F(Actions, ExtractRoundTripsBinaryContentByteForByte) {
  // Zero bytes, a compressible run and random data over several blocks.
  std::string content =
      Pattern(1 << 20, 3) + std::string(1 << 20, '\0') + Prose(1 << 20) + Pattern(777777, 4);
  const std::string disk = WriteDisk("blob.bin", content);
  fs::create_directories(dir_ / "out");
  struct Case {
    std::string flag, password;
  };
  const Case cases[] = {{"1", ""}, {"0", ""}, {"1", "secret"}, {"0", "secret"}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag + " " + c.password);
    store_ = Path("round" + std::to_string(n++) + ".vvs");
    ASSERT_TRUE(Create(c.password, c.flag));
    ASSERT_TRUE(Put(disk, c.password));
    // A stale longer file at the target is replaced.
    WriteDisk("out/blob.bin", content + "tail");
    EXPECT_TRUE(Extract("blob.bin", Path("out"), c.password));
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-000"}}));
    const std::string back = ReadDisk(Path("out/blob.bin"));
    EXPECT_EQ(back.size(), content.size());
    EXPECT_TRUE(back == content);
  }
}

TEST_F(Actions, ExtractTargetsAndNames) {
  ASSERT_TRUE(Create());
  const std::string disk = WriteDisk("a.txt", "alpha");
  ASSERT_TRUE(Put(disk));
  fs::create_directories(dir_ / "x");
  struct Case {
    std::string name, folder, target;
  };
  const Case cases[] = {
      {"a.txt", Path("x"), Path("x/a.txt")},
      {"a.txt", Path("x") + "/", Path("x/a.txt")},
      {"a.txt", Path("x") + "\\", Path("x/a.txt")},
      {"A.TXT", Path("x"), Path("x/A.TXT")},               // names compare without case
      {"some\\folder/a.txt", Path("x"), Path("x/a.txt")},  // only the name part is looked up
      {"c:a.txt", Path("x"), Path("x/a.txt")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " -> " + c.folder);
    fs::remove_all(dir_ / "x");
    fs::create_directories(dir_ / "x");
    EXPECT_TRUE(Extract(c.name, c.folder));
    EXPECT_EQ(Error(), "vqST-000");
    EXPECT_EQ(ReadDisk(c.target), "alpha");
  }
  // A destination folder that does not exist.
  EXPECT_FALSE(Extract("a.txt", Path("missing")));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[LastError]", "vqST-004"}}));
}

// ---------------------------------------------------------------------------
// Reading one line.

TEST_F(Actions, LineNumbersSelectALineOrFail) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(Put(WriteDisk("two.txt", "first line\r\nsecond line")));
  struct Case {
    std::string number;
    std::optional<std::string> line;
  };
  const Case cases[] = {
      {"0", "first line"},          {"1", "second line"},          {"-5", "first line"},
      {"2", std::nullopt},          {"x", std::nullopt},           {"", std::nullopt},
      {" 1", "second line"},        {"$1", "second line"},         {"0x1", "second line"},
      {"1 ", std::nullopt},         {"-2147483648", "first line"}, {"2147483647", std::nullopt},
      {"4294967296", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE('"' + c.number + '"');
    hostVars["[vqLineFromStorageTXT]"] = "keep";
    EXPECT_EQ(Line("two.txt", c.number), c.line.has_value());
    if (c.line) {
      EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""},
                                 {"[vqLineFromStorageTXT]", *c.line},
                                 {"[veVazevidError]", "vqST-000"}}));
    } else {
      EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-004"}}));
      EXPECT_EQ(Var("[vqLineFromStorageTXT]"), "keep");
    }
  }
}

TEST_F(Actions, LinesSplitAtEveryBreakAndTheNameIsTheLastComponent) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(Put(WriteDisk("mixed.txt", std::string("a\rb\n\nd\r\ne\0after", 15))));
  const std::vector<std::string> expected = {"a", "b", "", "d", "e"};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(Line("some/dir\\mixed.txt", std::to_string(i))) << i;
    EXPECT_EQ(Var("[vqLineFromStorageTXT]"), expected[i]);
  }
  EXPECT_FALSE(Line("mixed.txt", "5")) << "the zero byte ends the text";
  EXPECT_EQ(Error(), "vqST-004");

  EXPECT_FALSE(Line("absent.txt", "0"));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-003"}}));
  ASSERT_TRUE(Put(WriteDisk("empty.txt", "")));
  EXPECT_FALSE(Line("empty.txt", "0"));
  EXPECT_EQ(Error(), "vqST-004");
}

TEST_F(Actions, LineReadsAcrossBlocksOfACompressedFile) {
  ASSERT_TRUE(Create("", "1"));
  std::string text;
  for (int i = 0; i < 320000; ++i) text += "row " + std::to_string(i) + "\n";
  ASSERT_GT(text.size(), 2u * 1536 * 1024);
  ASSERT_TRUE(Put(WriteDisk("rows.txt", text)));
  EXPECT_TRUE(Line("rows.txt", "319999"));
  EXPECT_EQ(Var("[vqLineFromStorageTXT]"), "row 319999");
  EXPECT_FALSE(Line("rows.txt", "320000"));
  EXPECT_TRUE(Line("rows.txt", "123456"));
  EXPECT_EQ(Var("[vqLineFromStorageTXT]"), "row 123456");
}

// ---------------------------------------------------------------------------
// Listing.

TEST_F(Actions, ListShowsEveryRootEntryWithCrLfAndDirectoriesMarked) {
  ASSERT_TRUE(Create());
  hostVars["[veVazevidListDir]"] = "old";
  EXPECT_TRUE(List());
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidListDir]", ""}}));

  ASSERT_TRUE(Put(WriteDisk("b.txt", "b")));
  ASSERT_TRUE(Put(WriteDisk("a.txt", "a")));
  EXPECT_TRUE(List());
  EXPECT_EQ(Error(), "");
  EXPECT_EQ(Var("[veVazevidListDir]"), "a.txt\r\nb.txt\r\n");

  // A folder item (made through the engine: the actions make none) and a
  // file inside it, which the root listing does not show.
  {
    TSingleFileSystem c(store_, 2, "", "", "", 0);
    const int32_t n = c.Directory().CreateItem("sub", "", "", "");
    ASSERT_GE(n, 0);
    TDIRItem item = c.Directory().ReadItem(n);
    item.Attributes = 0x10;
    c.Directory().WriteItem(n, item);
    ASSERT_GE(c.Directory().CreateItem("sub\\inner.txt", "", "", ""), 0);
  }
  EXPECT_TRUE(List());
  const std::string listing = Var("[veVazevidListDir]");
  EXPECT_EQ(SortedEntries(listing), (std::vector<std::string>{"[DIR]sub", "a.txt", "b.txt"}));
  EXPECT_EQ(JoinTextLines(SplitTextLines(listing)), listing) << "CR LF after every entry";
  // In the order of the container's own search.
  {
    TSingleFileSystem c(store_, 0, "", "", "", 0);
    TSFSSearchRec rec;
    std::string walk;
    for (int32_t r = c.FindFirst("*.*", 63, rec); r == 0; r = c.FindNext(rec))
      walk += ((rec.Attr & 0x10) != 0 ? "[DIR]" : "") + rec.Name + "\r\n";
    c.FindClose(rec);
    EXPECT_EQ(listing, walk);
  }

  // Deleted files drop out of the listing.
  ASSERT_TRUE(Delete("a.txt"));
  ASSERT_TRUE(Delete("b.txt"));
  EXPECT_TRUE(List());
  EXPECT_EQ(Var("[veVazevidListDir]"), "[DIR]sub\r\n");
}

// ---------------------------------------------------------------------------
// Variables to stored files and back.

TEST_F(Actions, SaveVarStoresCrLfLinesAndLoadVarReturnsThem) {
  ASSERT_TRUE(Create("", "1"));
  struct Case {
    std::string text, stored;
  };
  const Case cases[] = {
      {"one\ntwo", "one\r\ntwo\r\n"},
      {"one\r\ntwo\r\n", "one\r\ntwo\r\n"},
      {"a\rb\n\rc", "a\r\nb\r\n\r\nc\r\n"},
      {"single", "single\r\n"},
      {"\n", "\r\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_TRUE(SaveVar("notes.txt", c.text));
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-000"}}));
    EXPECT_TRUE(IsStored("notes.txt"));
    EXPECT_EQ(StoredContent("notes.txt"), c.stored);
    hostVars["[veVazevidVar]"] = "stale";
    EXPECT_TRUE(LoadVar("notes.txt"));
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""},
                               {"[veVazevidVar]", ""},
                               {"[veVazevidVar]", c.stored},
                               {"[veVazevidError]", "vqST-000"}}));
  }
  // A variable the script never set saves an empty file.
  hostVars.clear();
  EXPECT_TRUE(Exec(7, {store_, "unset.txt", "", "0"}));
  EXPECT_TRUE(IsStored("unset.txt"));
  EXPECT_EQ(StoredContent("unset.txt"), "");
}

TEST_F(Actions, SaveVarInARawStorageWritesExactlyTheLines) {
  ASSERT_TRUE(Create("", "0"));
  ASSERT_TRUE(SaveVar("v.txt", "x\ny"));
  EXPECT_EQ(StoredBytes("v.txt"), "x\r\ny\r\n");
  ASSERT_TRUE(SaveVar("v.txt", ""));
  EXPECT_EQ(StoredBytes("v.txt"), "");
}

TEST_F(Actions, LoadVarOfAnAbsentNameSucceedsWithAnEmptyVariable) {
  ASSERT_TRUE(Create());
  hostVars["[veVazevidVar]"] = "stale";
  EXPECT_TRUE(LoadVar("absent.txt"));
  EXPECT_EQ(setCalls,
            (Calls{{"[veVazevidError]", ""}, {"[veVazevidVar]", ""}, {"[veVazevidError]", "vqST-000"}}));
  // A put file is read as text: its breaks become CR LF, a zero byte ends it.
  ASSERT_TRUE(Put(WriteDisk("raw.txt", std::string("a\nb\0c", 5))));
  EXPECT_TRUE(LoadVar("raw.txt"));
  EXPECT_EQ(Var("[veVazevidVar]"), "a\r\nb\r\n");
}

TEST_F(Actions, StoredNamesWithAFolderPartFail) {
  ASSERT_TRUE(Create());
  for (const std::string name : {"no\\such.txt", "no/such.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(SaveVar(name, "text"));
    EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-002"}}));
  }
  EXPECT_TRUE(List());
  EXPECT_EQ(Var("[veVazevidListDir]"), "");
}

// ---------------------------------------------------------------------------
// Deleting.

TEST_F(Actions, DeleteRemovesAStoredFileAndIgnoresAnAbsentName) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(SaveVar("keep.txt", "k"));
  ASSERT_TRUE(SaveVar("gone.txt", "g"));
  EXPECT_TRUE(Delete("absent.txt"));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-000"}}));
  EXPECT_TRUE(Delete("GONE.TXT"));
  EXPECT_EQ(Error(), "vqST-000");
  EXPECT_FALSE(IsStored("gone.txt"));
  EXPECT_TRUE(IsStored("keep.txt"));
  EXPECT_TRUE(List());
  EXPECT_EQ(Var("[veVazevidListDir]"), "keep.txt\r\n");
  EXPECT_FALSE(Line("gone.txt", "0"));
  EXPECT_EQ(Error(), "vqST-003");
}

// ---------------------------------------------------------------------------
// Storages that cannot be opened.

TEST_F(Actions, AStorageThatCannotBeOpenedGivesEachActionsCode) {
  struct Case {
    int id;
    std::vector<std::string> params;  // storage path is filled in
    std::string code;
  };
  const std::string disk = WriteDisk("a.txt", "new");
  const Case cases[] = {
      {1, {"", disk, "wrong", "0"}, "vqST-005"},
      {2, {"", "a.txt", "wrong", dir_.string(), "0"}, "vqST-005"},
      {3, {"", "wrong", "a.txt", "0", "0"}, "vqST-006"},
      {5, {"", "wrong", "0"}, "vqST-005"},
      {6, {"", "a.txt", "wrong", "0"}, "vqST-005"},
      {7, {"", "a.txt", "wrong", "0"}, "vqST-005"},
      {8, {"", "a.txt", "wrong", "0"}, "vqST-008"},
  };
  // A protected storage holding a.txt, and a file that is no container at all.
  ASSERT_TRUE(Create("secret", "1"));
  ASSERT_TRUE(Put(WriteDisk("a.txt", "old"), "secret"));
  WriteDisk("a.txt", "new");
  const std::string damaged = WriteDisk("damaged.vvs", std::string(10000, '\0'));
  for (const std::string& storage : {store_, damaged}) {
    for (Case c : cases) {
      SCOPED_TRACE(storage + " action " + std::to_string(c.id));
      c.params[0] = storage;
      hostVars = {
          {"[veVazevidListDir]", "keep"}, {"[vqLineFromStorageTXT]", "keep"}, {"[veVazevidVar]", "v"}};
      EXPECT_FALSE(Exec(c.id, c.params));
      Calls expected = {{"[veVazevidError]", ""}, {"[veVazevidError]", c.code}};
      if (c.id == 6) expected.insert(expected.begin() + 1, {"[veVazevidVar]", ""});
      EXPECT_EQ(setCalls, expected);
      EXPECT_EQ(Var("[veVazevidListDir]"), "keep");
      EXPECT_EQ(Var("[vqLineFromStorageTXT]"), "keep");
    }
  }
  // Nothing changed inside, and the right password still opens everything.
  EXPECT_EQ(StoredContent("a.txt", "secret"), "old");
  EXPECT_TRUE(List("secret"));
  EXPECT_EQ(Var("[veVazevidListDir]"), "a.txt\r\n");
  EXPECT_TRUE(Line("a.txt", "0", "secret"));
  EXPECT_EQ(Var("[vqLineFromStorageTXT]"), "old");
}

// ---------------------------------------------------------------------------
// Failures that have no code of their own end in false, never in an exception.

TEST_F(Actions, OutOfMemoryInTheHostEndsInFalse) {
  ASSERT_TRUE(Create());
  // Reading the variable fails: the save reports its stream code.
  getVarThrows = true;
  EXPECT_FALSE(SaveVar("v.txt", "text"));
  EXPECT_EQ(setCalls, (Calls{{"[veVazevidError]", ""}, {"[veVazevidError]", "vqST-002"}}));
  getVarThrows = false;

  EXPECT_FALSE(IsStored("v.txt")) << "the variable is read before the stored file is made";

  // Setting the success code fails after the work was done: the work stays
  // done, the result is false.
  const std::string disk = WriteDisk("a.txt", "a");
  throwOnSetValue = "vqST-000";
  EXPECT_FALSE(Put(disk));
  EXPECT_EQ(StoredContent("a.txt"), "a");
  EXPECT_FALSE(Delete("a.txt"));
  EXPECT_FALSE(IsStored("a.txt"));
  store_ = Path("other.vvs");
  EXPECT_FALSE(Create());
  EXPECT_TRUE(fs::exists(store_));
  throwOnSetValue.clear();

  // Clearing the error variable fails at once.
  hostVars.clear();
  struct ThrowAll {
    static void SetVar(const char*, const char*) { throw std::bad_alloc(); }
  };
  nbRegisterPlugIn(nullptr, nullptr, FakeGetVar, ThrowAll::SetVar);
  for (int id = 1; id <= 8; ++id) EXPECT_FALSE(Exec(id, {store_, "a.txt", "", dir_.string(), "0"})) << id;
}

}  // namespace
