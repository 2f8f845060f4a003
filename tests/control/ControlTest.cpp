// The application layer without a window or a socket: the salvo book on a
// file of its own, the EDID upload onto a link that keeps what it is given.

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <vector>

#include "../support/SessionSupport.h"
#include "../support/TempDir.h"
#include "base/TextFormat.h"
#include "control/EdidUpload.h"
#include "control/RouteEntry.h"
#include "control/SalvoBook.h"
#include "control/StatusText.h"

namespace corvane {
namespace {

// A connected, polled session whose router routes input o % 16 to output o;
// its link keeps the bytes written and takes at most `take` a write.
class ControlTest : public TempDirTest, public SessionRig, public ByteSink {
protected:
    ControlTest() {
        session.refreshEnabled = false;
        int map[kChannelTableSize] = {};
        for (int o = 1; o <= kChannelCount; ++o)
            map[o] = o % kChannelCount;
        ConnectPolled(session, this, map);
    }
    int Write(const void* bytes, std::size_t length) override {
        length = std::min(length, take);
        written.append(static_cast<const char*>(bytes), length);
        return static_cast<int>(length);
    }
    std::vector<int> Intended() const {
        std::vector<int> inputs;
        for (int o = 1; o <= kChannelCount; ++o)
            inputs.push_back(session.routing.Intended(session.state, o));
        return inputs;
    }

    std::string written;
    std::size_t take = 1 << 20;
};

TEST_F(ControlTest, SalvosAreStoredRecalledRenamedAndRemovedThroughTheFile) {
    SalvoBook book(session, PathOf("salvos.ini"));
    ASSERT_TRUE(book.Load());
    const std::vector<int> stored = Intended();
    EXPECT_EQ(book.Store("Studio A"), SalvoBook::kSaved);
    EXPECT_EQ(book.Protect(2, true), SalvoBook::kSaved);

    // Another program's book sees both; a name taken or not storable is declined.
    RouterSession other(log);
    SalvoBook second(other, book.path);
    ASSERT_TRUE(second.Load());
    EXPECT_TRUE(second.file.Find("Studio A") && other.routing.Protected(2));
    EXPECT_EQ(second.Store("Studio B"), SalvoBook::kSaved);
    EXPECT_EQ(book.Rename("Studio A", "Studio B"), SalvoBook::kDeclined);
    EXPECT_EQ(book.Rename("Studio A", "a=b"), SalvoBook::kDeclined);
    EXPECT_EQ(book.Rename("Studio A", "Live"), SalvoBook::kSaved);
    EXPECT_TRUE(book.file.Find("Studio B")) << "a rename keeps what others saved";
    EXPECT_EQ(book.Remove("Studio B"), SalvoBook::kSaved);
    EXPECT_EQ(book.Remove("Studio B"), SalvoBook::kDeclined);
    EXPECT_TRUE(second.ChangedOnDisk());

    // Recall asks for every route of the salvo; the protected output keeps its own.
    session.ClearAllLinks();
    EXPECT_FALSE(book.Recall("Studio A"));
    ASSERT_TRUE(book.Recall("Live"));
    std::vector<int> expected(kChannelCount, 0);
    for (int o = 1; o <= kChannelCount; ++o)
        expected[o - 1] = o == 2 ? 2 : stored[o - 1];
    EXPECT_EQ(Intended(), expected);
    EXPECT_EQ(screen.lines.back(),
              "[1970/01/01 00:00:00]Output 02 is protected, route not changed");

    // Released in the file and live; the file is read afresh for every change.
    EXPECT_EQ(book.Protect(2, false), SalvoBook::kSaved);
    ASSERT_TRUE(second.Load());
    EXPECT_FALSE(other.routing.Protected(2) || session.routing.Protected(2));
    EXPECT_EQ(Slurp(book.path).find("Studio B"), std::string::npos);

    // A file that cannot be read is never replaced; protect is live all the same.
    std::filesystem::remove(book.path);
    std::filesystem::create_directory(book.path);
    EXPECT_EQ(book.Store("Lost"), SalvoBook::kFailed);
    EXPECT_EQ(book.Protect(4, true), SalvoBook::kFailed);
    EXPECT_TRUE(session.routing.Protected(4) && !book.problem.empty());
}

// The upload's verdicts in the order the dialog and corvanectl meet them;
// only a sound file reaches the link, as one frame.
TEST_F(ControlTest, EdidUploadSendsOnlyAValidFileOverAnOpenLink) {
    const std::string sample = std::string(CORVANE_EDID_SAMPLES) + "/04-AOC-AOC2281.bin";
    const EdidFileCheck good = CheckEdidFile(sample);
    ASSERT_TRUE(good.Valid());
    EdidBytes bad = good.bytes;
    bad[20] ^= 1;  // the base block's checksum no longer holds
    WriteEdidFile(PathOf("bad.bin"), bad);
    TempDirTest::Write("text.bin", "not an EDID");

    TempDirTest::Write("big.txt", std::string(100000, '0'));
    // A pipe or a folder chosen as the file is refused at once, never waited on.
    std::vector<std::pair<std::string, EdidUpload>> cases = {
        {"", EdidUpload::NoFile},
        {PathOf("absent.bin"), EdidUpload::OpenFailed},
        {path, EdidUpload::OpenFailed},
        {PathOf("text.bin"), EdidUpload::FormatError},
        {PathOf("big.txt"), EdidUpload::FormatError},
        {PathOf("bad.bin"), EdidUpload::Invalid},
        {sample, EdidUpload::Sent},
    };
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo(PathOf("pipe.bin").c_str(), 0600), 0);
    cases.insert(cases.begin(), {PathOf("pipe.bin"), EdidUpload::OpenFailed});
#endif
    for (const auto& [file, result] : cases) {
        std::string refusal;
        EXPECT_EQ(UploadEdidFile(session, file, &refusal), result) << file;
        EXPECT_EQ(refusal.empty(), result != EdidUpload::Invalid) << refusal;
    }
    // Logged as the router got it: the bytes in hex, 64 a line.
    std::string hex;
    for (std::uint8_t byte : good.bytes)
        hex += Format("%02x", byte);
    EXPECT_EQ(screen.lines.back(), "[1970/01/01 00:00:00]-->     !]");
    EXPECT_EQ(screen.lines[screen.lines.size() - 2],
              "[1970/01/01 00:00:00]-->     " + hex.substr(192 * 2));
    ASSERT_EQ(written.size(), kEdidFrameSize);
    EXPECT_EQ(written.substr(0, 5) + written.back(), "EDIT=!");
    EXPECT_EQ(
        written.compare(5, kEdidSize, reinterpret_cast<const char*>(good.bytes.data()), kEdidSize),
        0);

    take = 100;  // a link that takes part of the frame and then nothing more
    EXPECT_EQ(UploadEdidFile(session, sample), EdidUpload::Sent);
    take = 0;
    EXPECT_EQ(UploadEdidFile(session, sample), EdidUpload::NotSent);
    session.OnLinkClosed();
    EXPECT_EQ(UploadEdidFile(session, sample), EdidUpload::NotConnected);
}

TEST(RouteEntry, ReadsInputSeparatorOutput) {
    const std::pair<const char*, RouteChange> good[] = {
        {"3.5", {5, 3}}, {"16>16", {16, 16}}, {" 0 12 ", {12, 0}}, {"3-5", {5, 3}}};
    for (const auto& [text, change] : good)
        EXPECT_EQ(ParseRouteEntry(text), change) << text;
    for (const char* text : {"35", "3.", "17.1", "1.0", "1.17", "a.b", "1.2.3", ""})
        EXPECT_EQ(ParseRouteEntry(text), std::nullopt) << text;
}

// The five panels from the settings and the model, "?" for what the router
// has not sent; while a link is open, how long ago it answered.
TEST(StatusPanels, ShowWhatIsKnownAndHowTheLinkFares) {
    AppConfig config;
    config.ipAddress = "127.0.0.1";
    config.udpPort = 47000;
    config.comName = "COM7";
    config.baudRate = 9600;
    RouterState s;
    auto texts = [&](int status, LinkHealth health = {}) {  // one text, readable failures
        const StatusPanelTexts t = BuildStatusPanelTexts(config, s, status, -1, health);
        return t.connection + '|' + t.generator + '|' + t.monitoring + '|' + t.lock + '|' +
               t.network;
    };
    const std::tuple<int, LinkHealth, std::string, std::string> links[] = {
        {0, {}, "Disconnect", ""},
        {1, {}, "Connecting", "\n   Last answer : none yet"},
        {3, {true, 2400, false}, "Connected", "\n   Last answer : 2 s ago"},
        {3, {false, 7000, false}, "Connected", "\n   Router not answering for 7 s"},
        {2, {true, -1, true}, "Connection Failed", "\n   Retrying every 3 s"},
        {9, {true, 500, false}, "Connection Failed", ""}};
    for (const auto& [status, health, word, more] : links) {
        const std::string text = texts(status, health);
        EXPECT_EQ(text.substr(0, text.find('|')),
                  "   Status : " + word + "\n   Ethernet IP : 127.0.0.1\n   Port : 47000 " + more);
    }
    const std::string unknown = texts(0);
    EXPECT_EQ(unknown.substr(unknown.find('|') + 1),
              "   Resolution : ?\n   Pattern : \n    - ?|   Channel : ?|"
              "   Web Control : ?\n   Data Control : ?\n   Key Control : ?|"
              "   RS232  Baudrate : ?\n   IP : ?   Port : ?\n   Gateway : ? \n"
              "   Subnet Mask : ? \n   MAC Address : ? \n \n \n \n \n");
    for (bool* flag :
         {&s.known.generatorResolution, &s.known.generatorPattern, &s.known.monitoringChannel,
          &s.known.webLock, &s.known.dataLock, &s.known.keyLock, &s.known.routerIp,
          &s.known.routerSubnetMask, &s.known.routerGateway, &s.known.routerMac,
          &s.known.routerPort, &s.known.routerBaudRate})
        *flag = true;
    s.generatorResolution = 10;  // beyond the tables
    s.generatorPattern = -1;
    EXPECT_NE(texts(0).find("|   Resolution : \n   Pattern : \n    - |   Channel : Input 00|"),
              std::string::npos);

    config.useSerial = true;
    s.generatorResolution = 9;
    s.generatorPattern = 14;
    s.webLock = s.keyLock = 1;
    s.dataLock = 2;  // only 1 locks
    s.routerBaudRate = 115200;
    s.routerIp = "127.0.0.1";
    s.routerPort = "3000";
    s.routerGateway = "127.0.0.254";
    s.routerSubnetMask = "255.255.255.0";
    s.routerMac = "00:1C:91:03:5E:2A";
    EXPECT_EQ(texts(0),
              "   Status : Disconnect\n   RS232 PORT : COM7\n   Baudrate : 9600 |"
              "   Resolution : 1920x1080p@60Hz\n   Pattern : \n    - Full Gray|"
              "   Channel : Input 00|"
              "   Web Control : Lock\n   Data Control : Unlock\n   Key Control : Lock|"
              "   RS232  Baudrate : 115200 Bps\n   IP : 127.0.0.1   Port : 3000\n"
              "   Gateway : 127.0.0.254 \n   Subnet Mask : 255.255.255.0 \n"
              "   MAC Address : 00:1C:91:03:5E:2A \n \n \n \n \n");
}

}  // namespace
}  // namespace corvane
