#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>
#include <csignal>
#endif

#include "../support/TempDir.h"
#include "settings/AppConfig.h"
#include "settings/IniFile.h"
#include "settings/SalvoFile.h"

namespace corvane {
namespace {

using namespace std::string_literals;

using SettingsTest = TempDirTest;

TEST_F(SettingsTest, IniReadsStringsAndNumbersLikeThePlatformReader) {
    const std::string basic = "[Net]\nHost=alpha\n", huge(1 << 20, 'x');
    auto read = [&](const std::string& file, const char* section = "Net", const char* key = "Host",
                    std::size_t size = 16) {
        return ReadProfileString(section, key, "dflt", size, Write("t.ini", file));
    };
    // Names in any case; the default is cut by the buffer as well.
    EXPECT_EQ(read(basic, "NET", "hOST") + "|" + read(basic, "Other") + "|" +
                  read(basic, "Net", "Port", 3) + "|" + read(basic, "Net", "Host", 0),
              "alpha|dflt|df|");
    // file, its [Net] Host
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"  [ Net ] \n Host = \t alpha beta \t\n", "alpha beta"},
        {"[Net]\nHost=   \n", ""},  // empty is not missing
        {"[Net]\nHost=0123456789abcdefXYZ\n", "0123456789abcde"},
        {"[Net]\nHost=one\nHost=two\n", "one"},
        {"[Net]\nA=1\n[net]\nHost=two\n", "dflt"},  // first section only
        {"[Net]\r\nHost=a=b\r\n", "a=b"}, {"[X]\rHost=x\r[Net]\rHost=mac\r", "mac"},
        {"\xEF\xBB\xBF[Net]\nHost=alpha", "alpha"}, {"[Net]\nHost=al\0pha\n"s, "al"},
        {"\x01\xFF]]==[[\n[Net]\nHost=\xE4\xA0\n\x80=\x82\n", "\xE4\xA0"},
        {"[" + huge + "]\n[Net]\nHost=h\n", "h"},  // lines of any length
        {"[Net]\nx=" + huge + "\nHost=h\n", "h"},
        // One pair of surrounding quotes is dropped, and only a matching one.
        {"[Net]\nHost= \"RS232\" \n", "RS232"}, {"[Net]\nHost=''a b''\n", "'a b'"},
        {"[Net]\nHost=\"a'\n", "\"a'"}, {"[Net]\nHost=\"\n", "\""}};
    // clang-format on
    for (const auto& [file, expected] : cases)
        EXPECT_EQ(read(file), expected) << file.substr(0, 40);
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, PathOf("absent.ini")), "dflt");
    EXPECT_EQ(ReadProfileString("A", "b", "dflt", 16, dir.string()), "dflt");
    // Numbers as base's LeadingInt reads them (tests/base); an empty value counts as absent.
    const std::string path = Write("t.ini", "[G]\na=  -7  \nc=abc\ng=\n");
    std::vector<int> got;
    for (const char* key : {"a", "c", "g", "absent"})
        got.push_back(ReadProfileInt("g", key, 99, path));
    got.push_back(ReadProfileInt("G", "a", 99, PathOf("absent.ini")));
    EXPECT_EQ(got, (std::vector<int>{-7, 0, 99, 99, 99}));
}

TEST_F(SettingsTest, IniWritesInPlaceAndLeavesEveryOtherByte) {
    const std::string lf = "; c\n[A]\nx = 1  \ny=2\n\n[B]\nx=3\n";
    const std::string crlf = "; c\r\n[A]\r\nx = 1  \r\ny=2\r\n\r\n[B]\r\nx=3\r\n";
    const std::string huge(1 << 20, 'x');
    // the file, what is written where, the file then
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, std::string>>
        cases = {
            {lf, "a", "X", "99", "; c\n[A]\nx = 99  \ny=2\n\n[B]\nx=3\n"},
            {crlf, "B", "x", "long value",
             "; c\r\n[A]\r\nx = 1  \r\ny=2\r\n\r\n[B]\r\nx=long value\r\n"},
            {crlf, "A", "z", "new", "; c\r\n[A]\r\nx = 1  \r\ny=2\r\nz=new\r\n\r\n[B]\r\nx=3\r\n"},
            {crlf, "C", "k", "v", crlf + "\r\n[C]\r\nk=v\r\n"},
            {"[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
            {"[A]\nx=1", "A", "x", "2", "[A]\nx=2"},
            {"[A]\nx=   \nx=2\n", "A", "x", "5", "[A]\nx=5\nx=2\n"},
            {"[A]\nx=1\n[a]\nx=2\n", "A", "x", "", "[A]\nx=\n[a]\nx=2\n"},
            {"[A]\nx=1\n", "A", "x", "a\nb\r\n[Z]\0c"s,
             "[A]\nx=a b  [Z] c\n"},                      // no line injection
            {"", "A", "k", "v", NewLines("[A]\nk=v\n")},  // a new file
            // Old Mac files end lines with a lone CR; they keep it.
            {"[S]\rp=5\r[X]\rp=6\r", "S", "p", "4321", "[S]\rp=4321\r[X]\rp=6\r"},
            {"[S]\rq=5\r[X]\rp=6\r", "S", "p", "7", "[S]\rq=5\rp=7\r[X]\rp=6\r"},
            {"[S]\rp=5\r", "T", "k", "v", "[S]\rp=5\r\r[T]\rk=v\r"},
            // Lines of any length.
            {"[A]\nhuge=" + huge + "\n", "A", "k", "v", "[A]\nhuge=" + huge + "\nk=v\n"},
            {"[" + huge + "]\nk=1\n", "A", "k", "v", "[" + huge + "]\nk=1\n\n[A]\nk=v\n"},
        };
    for (const auto& [before, section, key, value, after] : cases) {
        SCOPED_TRACE(before.substr(0, 40) + " <- " + key);
        std::string path = Write("t.ini", before);
        ASSERT_TRUE(WriteProfileString(section, key, value, path));
        EXPECT_EQ(Slurp(path), after);
    }
    // Every write went through a temporary file that is gone again.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(SettingsTest, IniRefusesWhatItCannotWriteAndKeepsTheFile) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"", "k"},    {"A", "  "},    {"A]B", "k"}, {"A\nB", "k"},
        {"A", "k=v"}, {"A", "k\0z"s}, {"A", "[B]"},
    };
    for (const auto& [section, key] : names) {
        SCOPED_TRACE(section + "/" + key);
        std::string path = Write("t.ini", "[A]\nx=1\n");
        EXPECT_FALSE(WriteProfileString(section, key, "v", path));
        EXPECT_EQ(Slurp(path), "[A]\nx=1\n");
    }
    EXPECT_FALSE(WriteProfileString("A", "k", "v", PathOf("no/such/dir/t.ini")));
    EXPECT_FALSE(WriteProfileString("A", "k", "v", dir.string()));
    // A batch with one bad key writes none of it.
    std::string path = Write("t.ini", "[A]\nx=1\n");
    EXPECT_FALSE(WriteProfileStrings("A", {{"x", "5"}, {"bad=key", "6"}}, path));
    EXPECT_EQ(Slurp(path), "[A]\nx=1\n");
}

#if !defined(_WIN32)
// A save through a chain of links writes the file at its end and keeps every
// link. A folder that refuses new files (0555; root saves as nobody) gets its
// writable file rewritten in place. A save cut short by a file-size limit
// leaves the old file whole either way, and every save keeps the file's mode.
TEST_F(SettingsTest, IniSavesThroughLinksAndReadOnlyFoldersAndACutSaveLeavesTheOldFile) {
    namespace fs = std::filesystem;
    const std::string real = Write("real.ini", "[A]\nx=1\n");
    fs::create_symlink("real.ini", PathOf("middle.ini"));
    fs::create_symlink(PathOf("middle.ini"), PathOf("first.ini"));
    fs::create_symlink("loop.ini", PathOf("loop.ini"));
    ASSERT_TRUE(WriteProfileString("A", "x", "2", PathOf("first.ini")));
    EXPECT_EQ(Slurp(real), "[A]\nx=2\n");
    EXPECT_TRUE(fs::is_symlink(PathOf("middle.ini")) && fs::is_symlink(PathOf("first.ini")));
    EXPECT_FALSE(WriteProfileString("A", "x", "3", PathOf("loop.ini")));

    fs::create_directory(PathOf("ro"));
    const std::string old = "[A]\nx=1\ny=long enough to shrink\n";
    for (const std::string& path : {PathOf("ro/config.ini"), PathOf("config.ini")}) {
        const bool readOnly = path.find("/ro/") != std::string::npos;
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(path + (cut ? " cut" : ""));
            Write(path.substr(dir.string().size() + 1), old);
            fs::permissions(path, fs::perms(0646));
            fs::permissions(PathOf("ro"), fs::perms(readOnly ? 0555 : 0755));
            const pid_t child = fork();
            if (child == 0) {
                const rlimit limit{4096, 4096};
                signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
                if ((cut && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
                    (readOnly && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
                    _exit(2);
                const std::string x = cut ? std::string(100000, 'v') : "22";
                _exit(WriteProfileStrings("A", {{"x", x}, {"y", "2"}}, path) ? 0 : 1);
            }
            int status = -1;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            fs::permissions(PathOf("ro"), fs::perms(0755));
            EXPECT_EQ(status, cut ? 1 << 8 : 0);
            EXPECT_EQ(Slurp(path), cut ? old : "[A]\nx=22\ny=2\n");
            EXPECT_EQ(fs::status(path).permissions(), fs::perms(0646));
            for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
                EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos);
        }
    }
}
#endif

TEST_F(SettingsTest, ConfigLoadsHandEditedValuesAsTheyStand) {
    AppConfig config;
    RouterState state;
    LoadConfig(
        config, state,
        Write("config.ini",
              "[CHANNELNAME]\nInputChannel03=Camera one left side\noutputchannel16=  Beamer \n"
              "[SETCOMMCONFIG]\nUDPPort=port\nBaudrate=9600 baud\nCommType= RS232 \n"
              "IpAddress=127.000.000.001.99\nCOMName=/dev/serial/by-id/usb\n"
              "[VIDEOGENERATOR]\nResolution=42\nPattern=-3\n[MONITORINGPORT]\nChannel=99\n"));
    EXPECT_EQ(std::tuple(config.inputNames[3], config.outputNames[16], config.udpPort,
                         config.baudRate, config.useSerial),
              std::tuple("Camera one left", "Beamer", 0, 9600, true));
    // Link texts are cut by their buffers too.
    EXPECT_EQ(config.ipAddress + " " + config.comName, "127.000.000.001 /dev/serial/by-");
    EXPECT_EQ(
        std::tuple(state.generatorResolution, state.generatorPattern, state.monitoringChannel),
        std::tuple(42, -3, 99));
    // The title: absent, trimmed, cut to 31 characters.
    EXPECT_EQ(ReadWindowTitle(PathOf("logo.txt")), kDefaultWindowTitle);
    EXPECT_EQ(ReadWindowTitle(Write("logo.txt", "[title]\ntitle= " + std::string(40, 'T'))),
              std::string(31, 'T'));
    // Only "RS232" as written selects the serial link.
    for (std::string type : {"rs232", "RS232C"}) {
        LoadConfig(config, state, Write("config.ini", "[SETCOMMCONFIG]\nCommType=" + type + "\n"));
        EXPECT_FALSE(config.useSerial) << type;
    }
#if !defined(_WIN32)
    // One that exists but cannot be read (a pipe, a folder, a dangling link):
    // never waited on, and no address to connect to.
    const std::string path = PathOf("config.ini");
    for (int kind = 0; kind < 3; ++kind) {
        std::filesystem::remove(path);
        ASSERT_EQ(kind == 0   ? mkfifo(path.c_str(), 0600)
                  : kind == 1 ? mkdir(path.c_str(), 0700)
                              : symlink("nowhere", path.c_str()),
                  0);
        EXPECT_FALSE(LoadConfig(config, state, path)) << kind;
        EXPECT_EQ(config.ipAddress + config.comName + config.inputNames[1], "InputChannel01");
        std::filesystem::remove(path);
    }
#endif
}

// The defaults, as the savers then write them into a new file in its key order.
TEST_F(SettingsTest, ConfigNoFileGivesDefaultsThatSaveInKeyOrderThenInPlace) {
    AppConfig config;
    config.useSerial = true;
    RouterState state;
    state.monitoringChannel = 9;
    const std::string path = PathOf("config.ini");
    LoadConfig(config, state, path);
    EXPECT_EQ(
        std::tuple(state.generatorResolution, state.generatorPattern, state.monitoringChannel),
        std::tuple(1, 1, 0));
    SaveChannelNames(config, path);
    SaveLinkSettings(config, path);

    std::string expected = "[CHANNELNAME]\n";
    for (int n = 1; n <= kChannelCount; ++n) {
        const std::string two = (n < 10 ? "0" : "") + std::to_string(n);
        expected += "InputChannel" + two + "=InputChannel" + two + "\n";
        expected += "OutputChannel" + two + "=OutputChannel" + two + "\n";
    }
    expected += "\n[SETCOMMCONFIG]\nCOMName=COM1\nBaudrate=115200\nIpAddress=" +
                std::string(kFactoryIpAddress) + "\nUDPPort=3000\nCommType=UDP\n";
    EXPECT_EQ(Slurp(path), NewLines(expected));

    config.useSerial = true;
    config.outputNames[16] = "A rather long camera name";  // written whole
    SaveLinkSettings(config, path);
    SaveChannelNames(config, path);
    expected.replace(expected.find("=OutputChannel16\n"), 17, "=A rather long camera name\n");
    EXPECT_EQ(Slurp(path), NewLines(expected.substr(0, expected.size() - 4) + "RS232\n"));
}

TEST_F(SettingsTest, SalvosReadBackAndADamagedFileKeepsWhatReadsWellAndEveryCopy) {
    const std::string path = PathOf("salvos.ini");
    SalvoFile file;
    int map[kChannelTableSize] = {};
    for (int n = 0; n < 64; ++n) {
        map[1 + n % 16] = n % 17;
        ASSERT_TRUE(file.Store("Salvo " + std::to_string(n), map));
    }
    EXPECT_TRUE(file.Rename("Salvo 0", "Studio A \xe9") && file.Remove("Salvo 5"));
    EXPECT_FALSE(file.Rename("Salvo 1", "Salvo 2") || file.Store("a=b", map) ||
                 file.Store(" a", map));
    file.protectedOutput[2] = file.protectedOutput[16] = true;
    ASSERT_TRUE(file.Save(path));
    SalvoFile back;
    std::string problem;
    ASSERT_TRUE(back.Load(path, problem)) << problem;
    ASSERT_EQ(back.salvos.size(), 63u);
    EXPECT_EQ(back.salvos[0].name, "Studio A \xe9");
    EXPECT_TRUE(back.protectedOutput[16] && !back.protectedOutput[3]);
    EXPECT_EQ(back.Matching(map) ? back.Matching(map)->name : "", "Salvo 63");
    // Inputs out of range are stored as none; the list ends at kMaxSalvos.
    map[1] = 17;
    map[2] = -1;
    ASSERT_TRUE(back.Store("odd", map));
    EXPECT_EQ(back.Find("odd")->map[1] + back.Find("odd")->map[2], 0);
    for (int n = 0; n < kMaxSalvos; ++n)
        back.Store("fill " + std::to_string(n), map);
    EXPECT_EQ(back.salvos.size(), std::size_t(kMaxSalvos));

    // file text, the salvos and protected outputs read from it, the damage
    const std::string good = "=01,02,03,04,05,06,07,08,09,10,11,12,13,14,15,16";
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"[PROTECT]\nOutputs=3\n[SALVO]\nA" + good + "\nB=01,02\nC" + good, "A C", "3",
         "line 5 not understood"},
        {"[SALVO]\nA" + good + ",17\n[PROTECT]\nOutputs=2,x,16\n", "", "2 16",
         "line 2 and 1 more not understood"},
        {"[PROTECT]\nOutput=4\n[SALVO]\nno equals sign\nB" + good, "B", "4", "line 2 and 1 more"},
        {"[PROTECT]\nOutputs=0,5\r\n[SALVO]\r\n[A" + good, "", "5", "line 2 not"},
        {"[SALVO]\nA" + good + "\nA=00" + good.substr(3) + "\n\x01" + good, "A", "", "line 3"},
    };
    for (const auto& [text, names, outputs, damage] : cases) {
        SCOPED_TRACE(text);
        Write("salvos.ini", text);
        EXPECT_FALSE(back.Load(path, problem));
        std::string read, kept;
        for (const Salvo& salvo : back.salvos)
            read += (read.empty() ? "" : " ") + salvo.name;
        for (int o = 1; o <= kChannelCount; ++o)
            kept += back.protectedOutput[o] ? (kept.empty() ? "" : " ") + std::to_string(o) : "";
        EXPECT_EQ(read + "|" + kept, names + "|" + outputs);
        EXPECT_TRUE(back.damage.starts_with(damage) && problem == back.damage) << back.damage;
        EXPECT_EQ(Slurp(back.damagedCopy), text);
    }
    EXPECT_EQ(back.salvos.at(0).map[1], 1);  // the first of two of a name
    // One copy each, under names that never replace an earlier one; the same
    // damage read again adds none.
    EXPECT_FALSE(back.Load(path, problem));
    EXPECT_EQ(back.damagedCopy, path + ".bad.4");
    for (const char* copy : {".bad", ".bad.1", ".bad.2", ".bad.3"})
        EXPECT_EQ(Slurp(path + copy).find('\x01'), std::string::npos) << copy;
    EXPECT_FALSE(std::filesystem::exists(path + ".bad.5"));

    // A change saves what was kept plus the change, and the file reads clean again.
    Write("salvos.ini", std::get<0>(cases[0]));
    ASSERT_TRUE(back.Update(
        path, [&](SalvoFile& f) { return f.Store("D", map); }, problem));
    EXPECT_TRUE(back.damage.empty() && back.damagedCopy.empty() && !back.ChangedOnDisk(path));
    ASSERT_TRUE(back.Load(path, problem)) << problem;
    EXPECT_TRUE(back.Find("A") && back.Find("C") && back.Find("D") && back.protectedOutput[3]);
    // A change refused by its function saves nothing; a file that exists but
    // cannot be read is never replaced.
    EXPECT_FALSE(back.Update(
        path, [](SalvoFile& f) { return f.Remove("nobody"); }, problem));
    EXPECT_TRUE(problem.empty() && !back.ChangedOnDisk(path));
    std::filesystem::remove(path);
#if defined(_WIN32)
    std::filesystem::create_directory(path);
#else
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
#endif
    EXPECT_FALSE(back.Update(
        path, [](SalvoFile&) { return true; }, problem));
    EXPECT_TRUE(back.unreadable && !std::filesystem::is_regular_file(path));
    std::filesystem::remove(path);
    EXPECT_TRUE(SalvoFile().Load(path, problem));  // missing: empty, no error
}

#if !defined(_WIN32)
// Processes changing the file at once: every change lands, and a delete is
// never undone by a save that read the file before it.
TEST_F(SettingsTest, SalvoChangesFromManyProcessesAllLand) {
    const std::string path = PathOf("salvos.ini");
    constexpr int kProcesses = 4, kChanges = 25;
    int map[kChannelTableSize] = {};
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            SalvoFile file;
            std::string problem;
            bool ok = true;
            for (int n = 0; n < kChanges; ++n) {
                const std::string name = std::to_string(p) + "-" + std::to_string(n);
                ok = file.Update(
                         path, [&](SalvoFile& f) { return f.Store(name, map); }, problem) &&
                     ok;
                if (n % 5 == 4)  // and delete one of its own again
                    ok = file.Update(
                             path, [&](SalvoFile& f) { return f.Remove(name); }, problem) &&
                         ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0);
    }
    SalvoFile file;
    std::string problem;
    ASSERT_TRUE(file.Load(path, problem)) << problem;
    EXPECT_EQ(file.salvos.size(), std::size_t(kProcesses * kChanges * 4 / 5));
    EXPECT_EQ(file.Find("0-4"), nullptr);
}
#endif

}  // namespace
}  // namespace corvane
