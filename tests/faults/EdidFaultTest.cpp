// User EDID files of the wrong size or unreadable: the user is told, and not a
// byte goes to the router; only a file of exactly 256 bytes is sent, whole.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/Commands.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "ui/EdidDialog.h"

namespace corvane {
namespace {

class RecordingLink : public Link {
public:
    int Write(const void* bytes, std::size_t length) override {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        writes.emplace_back(p, p + length);
        return static_cast<int>(length);
    }
    std::vector<std::vector<std::uint8_t>> writes;
};

struct EdidCase {
    const char* name;
    long long size;       // -1: no such file, -2: a directory
    const char* message;  // what the user is shown; empty: nothing
};

void PrintTo(const EdidCase& c, std::ostream* os) {
    *os << c.name;
}

class EdidFiles : public ::testing::TestWithParam<EdidCase> {};

TEST_P(EdidFiles, OnlyExactly256BytesReachTheRouter) {
    const EdidCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("user.bin"));
    if (c.size == -2) {
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("user.bin")));
    } else if (c.size >= 0) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // "!" bytes inside: they must not cut the frame.
        QByteArray block(64 * 1024, '!');
        for (int i = 0; i < block.size(); i += 3)
            block[i] = static_cast<char>(i);
        for (long long left = c.size; left > 0; left -= block.size())
            file.write(block.constData(), std::min<long long>(left, block.size()));
    }

    EventLog log(dir.path().toStdString());
    ScreenLog screen;
    log.screen = &screen;
    log.screenLogEnabled = true;
    RouterSession session(log);
    AppConfig config;
    Connection connection(session, config);
    RecordingLink link;
    session.connectionStatus = kConnected;
    session.activeLink = &link;

    EdidDialog dialog(connection);
    std::vector<std::string> shown;
    dialog.showMessage = [&](const QString& text) { shown.push_back(text.toStdString()); };
    userEdidPath = path;
    dialog.UploadUserEdid();
    userEdidPath.clear();

    if (c.message[0] == '\0') {
        EXPECT_TRUE(shown.empty());
        ASSERT_EQ(link.writes.size(), 1u);
        const std::vector<std::uint8_t>& frame = link.writes[0];
        ASSERT_EQ(frame.size(), kEdidFrameSize);
        EXPECT_EQ(std::string(frame.begin(), frame.begin() + 5), "EDIT=");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(std::equal(frame.begin() + 5, frame.end() - 1,
                               reinterpret_cast<const std::uint8_t*>(bytes.constData())));
        EXPECT_EQ(frame.back(), '!');
        EXPECT_EQ(screen.lines.size(), 6u);  // the frame as six log lines
    } else {
        EXPECT_EQ(shown, std::vector<std::string>{c.message});
        EXPECT_TRUE(link.writes.empty());
        EXPECT_TRUE(screen.lines.empty());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sizes, EdidFiles, ::testing::Values(
    EdidCase{"Empty", 0, "File Format Error!"},
    EdidCase{"OneShort", 255, "File Format Error!"},
    EdidCase{"Exact", 256, ""},
    EdidCase{"OneOver", 257, "File Format Error!"},
    EdidCase{"TenMegabytes", 10LL << 20, "File Format Error!"},
    EdidCase{"Missing", -1, "File Open Fail!"},
    EdidCase{"Directory", -2, "File Open Fail!"}));
// clang-format on

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
