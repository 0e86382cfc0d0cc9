#include "platform/DesktopServices.h"
#include "tests/support/RecordingDesktop.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace orv {
namespace {

TEST(DesktopServices, WithoutADesktopAddressesArePrintedAndTheDialogIsCancelled) {
    testing::internal::CaptureStderr();
    Desktop().OpenUrl(QStringLiteral("https://wyniki.example.org/42"));
    Desktop().OpenUrl(QString());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "https://wyniki.example.org/42\n");
    EXPECT_TRUE(Desktop()
                    .ChooseSaveFile({QStringLiteral("Zapisz jako"), {}, QStringLiteral("raport"), {}})
                    .isEmpty());
}

TEST(DesktopServices, AnInstalledDesktopServesUntilItsScopeEnds) {
    {
        test::RecordingDesktop desktop;
        Desktop().OpenUrl(QStringLiteral("https://a.example/"));
        Desktop().SetClipboardText(QStringLiteral("tekst"));
        Desktop().Quit();
        EXPECT_EQ(desktop.opened, QStringList{QStringLiteral("https://a.example/")});
        EXPECT_EQ(desktop.clipboard, QStringLiteral("tekst"));
        EXPECT_EQ(desktop.quits, 1);
    }
    testing::internal::CaptureStderr();
    Desktop().OpenUrl(QStringLiteral("https://b.example/"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "https://b.example/\n");
}

TEST(DesktopServices, QuitEndsALoopThatStartsLater) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance())
        own = std::make_unique<QCoreApplication>(argc, argv);
    Desktop().Quit(); // before the loop runs
    bool timedOut = false;
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_FALSE(timedOut);
}

} // namespace
} // namespace orv
