#include "platform/Registry.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace orv;

TEST(RegistryKey, StringsAndIntegersKeepTheirType) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    EXPECT_TRUE(key.Exists());
    key.WriteString(QStringLiteral("Login"), QStringLiteral("ala@example.pl"));
    key.WriteInteger(QStringLiteral("wynik1"), -2048);
    EXPECT_EQ(key.ReadString(QStringLiteral("Login")), QStringLiteral("ala@example.pl"));
    EXPECT_EQ(key.ReadInteger(QStringLiteral("wynik1")), -2048);
    // An integer is not a string and a string is not an integer.
    EXPECT_EQ(key.ReadString(QStringLiteral("wynik1")), QString());
    EXPECT_EQ(key.ReadInteger(QStringLiteral("Login")), std::nullopt);
    // A string that looks like a number or a tag stays a string.
    key.WriteString(QStringLiteral("Id"), QStringLiteral("dword:00000005"));
    EXPECT_EQ(key.ReadString(QStringLiteral("Id")), QStringLiteral("dword:00000005"));
    EXPECT_EQ(key.ReadInteger(QStringLiteral("Id")), std::nullopt);
}

TEST(RegistryKey, MissingValuesAndDeletion) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    EXPECT_EQ(key.ReadString(QStringLiteral("nothing")), QString());
    EXPECT_FALSE(key.ReadInteger(QStringLiteral("nothing")).has_value());
    EXPECT_FALSE(key.ValueExists(QStringLiteral("nothing")));
    key.DeleteValue(QStringLiteral("nothing")); // no error
    key.WriteInteger(QStringLiteral("wynik3"), 2500);
    EXPECT_TRUE(key.ValueExists(QStringLiteral("wynik3")));
    key.DeleteValue(QStringLiteral("wynik3"));
    EXPECT_FALSE(key.ValueExists(QStringLiteral("wynik3")));
}

TEST(RegistryKey, StringEndsAtFirstZeroAndKeepsPolishLetters) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    key.WriteString(QStringLiteral("Hash"), QStringLiteral("zażółć") + QChar(0) + QStringLiteral("tail"));
    EXPECT_EQ(key.ReadString(QStringLiteral("Hash")), QStringLiteral("zażółć"));
}

TEST(RegistryKey, ValueNamesWithSeparatorsStayDistinct) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    key.WriteString(QStringLiteral("a/b"), QStringLiteral("slash"));
    key.WriteString(QStringLiteral("a\\b"), QStringLiteral("backslash"));
    EXPECT_EQ(key.ReadString(QStringLiteral("a/b")), QStringLiteral("slash"));
    EXPECT_EQ(key.ReadString(QStringLiteral("a\\b")), QStringLiteral("backslash"));
}

TEST(RegistryKey, KeysMapToSeparateFiles) {
    RegistryKey a(QStringLiteral("Software\\Orvanta"));
    RegistryKey b(QStringLiteral("Software\\Brisko"));
    EXPECT_NE(a.FilePath(), b.FilePath());
    EXPECT_TRUE(a.FilePath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    RegistryKey notCreated(QStringLiteral("Software\\Nobody"), false);
    EXPECT_FALSE(notCreated.Exists());
    EXPECT_EQ(notCreated.ReadString(QStringLiteral("x")), QString());
}

TEST(RegistryKey, ValuesWrittenByAnotherProcessAreSeen) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    key.WriteInteger(QStringLiteral("wynik2"), 1);
    EXPECT_EQ(key.ReadInteger(QStringLiteral("wynik2")), 1);
    // Another process rewrites the file, as the disk helper does.
    QFile f(key.FilePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    f.close();
    text.replace("dword:00000001", "dword:00000800");
    QProcess writer;
    writer.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("cat > \"$0\""), key.FilePath()});
    ASSERT_TRUE(writer.waitForStarted());
    writer.write(text);
    writer.closeWriteChannel();
    ASSERT_TRUE(writer.waitForFinished());
    EXPECT_EQ(key.ReadInteger(QStringLiteral("wynik2")), 2048);
}
