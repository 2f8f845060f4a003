// User EDID files of the wrong size or unreadable: the user is told, and not a
// byte goes to the router or the log.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "settings/EventLog.h"
#include "transport/Connection.h"
#include "ui/EdidDialog.h"

namespace corvane {
namespace {

struct CountingLink : Link {
    void Close() override {}
    bool IsOpen() const override { return true; }
    int Write(const void*, std::size_t length) override {
        ++writes;
        return static_cast<int>(length);
    }
    int writes = 0;
};

TEST(EdidFiles, OfTheWrongSizeOrUnreadableAreRefused) {
    struct Case {
        long long size;  // -1: no such file, -2: a directory
        const char* message;
    };
    const Case cases[] = {{0, "File Format Error!"},   {255, "File Format Error!"},
                          {257, "File Format Error!"}, {10LL << 20, "File Format Error!"},
                          {-1, "File Open Fail!"},     {-2, "File Open Fail!"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("user.bin"));
        if (c.size == -2) {
            ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("user.bin")));
        } else if (c.size >= 0) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_TRUE(file.resize(c.size));
        }

        EventLog log(dir.path().toStdString());
        ScreenLog screen;
        log.screen = &screen;
        log.screenLogEnabled = true;
        RouterSession session(log);
        AppConfig config;
        Connection connection(session, config);
        CountingLink link;
        session.connectionStatus = kConnected;
        session.activeLink = &link;

        EdidDialog dialog(connection);
        std::vector<std::string> shown;
        dialog.showMessage = [&](const QString& text) { shown.push_back(text.toStdString()); };
        userEdidPath = path;
        dialog.UploadUserEdid();
        userEdidPath.clear();

        EXPECT_EQ(shown, std::vector<std::string>{c.message});
        EXPECT_EQ(link.writes, 0);
        EXPECT_TRUE(screen.lines.empty());
    }
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
