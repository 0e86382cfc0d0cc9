#include "online/Account.h"
#include "app/Startup.h"
#include "core/MainModel.h"
#include "core/Navigation.h"
#include "core/Sequencer.h"
#include "online/Charset.h"
#include "online/Gateway.h"
#include "online/Online.h"
#include "platform/Registry.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/RecordingDesktop.h"

#include <QFile>
#include <gtest/gtest.h>

namespace orv::test {
namespace {

const QString kLogin = ctl::LoginEdt;
const QString kHaslo = ctl::HasloEdt;

void ClearStore() {
    RegistryKey key(kSettingsKey);
    for (const char* v : {"Login", "Hash", "Id", "Gateway"})
        key.DeleteValue(QString::fromLatin1(v));
}

TEST(Scramble, CyclicBytewiseKey) {
    EXPECT_EQ(ScrambleText("", kScrambleKey, true), QByteArray());
    EXPECT_EQ(ScrambleText("a", kScrambleKey, true), QByteArray("\xB5")); // 0x61 + 'T'
    EXPECT_EQ(ScrambleText("\xFF", "\x02", true), QByteArray("\x01"));    // wraps mod 256
    EXPECT_EQ(ScrambleText("\x01", "\x02", false), QByteArray("\xFF"));
    // The 21st byte uses the key's first character again.
    const QByteArray same(21, 'a');
    const QByteArray enc = ScrambleText(same, kScrambleKey, true);
    EXPECT_EQ(enc.size(), 21);
    EXPECT_EQ(enc[20], enc[0]);
    EXPECT_NE(enc[19], enc[0]);
    for (int n = 0; n <= 32; ++n) {
        QByteArray password;
        for (int i = 0; i < n; ++i)
            password.append(static_cast<char>(33 + (i * 7 + n) % 94));
        EXPECT_EQ(ScrambleText(ScrambleText(password, kScrambleKey, true), kScrambleKey, false), password);
    }
}

class Account : public ::testing::Test {
protected:
    void SetUp() override {
        ClearStore();
        qunsetenv(kGatewayEnv);
        SetMessageBoxes(&boxes);
    }
    void TearDown() override {
        SetMessageBoxes(nullptr);
        qunsetenv(kGatewayEnv);
        ClearStore();
    }
    // A model set up as at start-up, talking to the real gateway through the wire server.
    void StartWithGateway(MainModel& model) {
        wire.ForwardTo(gateway.Port());
        qputenv(kGatewayEnv, wire.Base().toLocal8Bit());
        InitMainModel(model);
    }
    RecordingBoxes boxes{false};
    RecordingDesktop desktop;
    QStringList& opened = desktop.opened;
    GatewayProcess gateway;
    WireServer wire;
};

TEST_F(Account, StoredLoginIsScrambledPrivateAndRestored) {
    MainModel m;
    const QString password = QStringLiteral("Źdźbło-21-znaków-xyzw"); // 21 characters
    ASSERT_EQ(password.size(), 21);
    m.SetText(kLogin, QStringLiteral("ala@example.pl"));
    m.SetText(kHaslo, password);
    ZapiszLogin(m);

    const RegistryKey key(kSettingsKey);
    EXPECT_EQ(key.ReadString(QStringLiteral("Login")), QStringLiteral("ala@example.pl"));
    const QByteArray stored = key.ReadString(QStringLiteral("Hash")).toLatin1();
    EXPECT_EQ(stored, ScrambleText(EncodeCharset(password), kScrambleKey, true));
    QFile file(key.FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.contains("ala@example.pl"));
    EXPECT_FALSE(content.contains("21-znak"));
    const auto isPrivate = [&] {
        return !(QFile::permissions(key.FilePath()) &
                 (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
    };
    EXPECT_TRUE(isPrivate());
    // Later writes by other parts of the program keep the file private.
    RegistryKey(kSettingsKey).WriteInteger(QStringLiteral("wynik1"), 1);
    EXPECT_TRUE(isPrivate());

    MainModel restored;
    restored.AccountId = QStringLiteral("stale");
    WczytajLogin(restored);
    EXPECT_EQ(restored.Text(kLogin), QStringLiteral("ala@example.pl"));
    EXPECT_EQ(restored.Text(kHaslo), password);
    EXPECT_TRUE(restored.AccountId.isEmpty());

    // A byte that scrambles to zero ends the stored text: "Ě" is 0xCC, and 0xCC + '4' wraps to 0.
    m.SetText(kHaslo, QStringLiteral("abĚcd"));
    ZapiszLogin(m);
    WczytajLogin(restored);
    EXPECT_EQ(restored.Text(kHaslo), QStringLiteral("ab"));

    RegistryKey(kSettingsKey).WriteString(QStringLiteral("Id"), QStringLiteral("7"));
    UsunLogin(m);
    for (const char* v : {"Login", "Hash", "Id"})
        EXPECT_FALSE(key.ValueExists(QString::fromLatin1(v))) << v;
}

TEST_F(Account, AccountPageFormsAndLinks) {
    MainModel m;
    qputenv(kGatewayEnv, "https://wyniki.example.org");
    InstallOnline(m);
    ShowAccountPage(m);
    EXPECT_EQ(m.ActivePage(), kAccountPage);
    EXPECT_EQ(m.MainMenuState, 4);
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl1),
              QStringLiteral("Aby gromadzić wyniki z programu Orvanta, zarejestruj się na:"));
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl2), QStringLiteral("https://wyniki.example.org/"));
    EXPECT_TRUE(m.Visible(kLogin));
    EXPECT_TRUE(m.Visible(ctl::Obwodka2));
    EXPECT_EQ(m.Position(ctl::ZalogujBtn), 304);
    EXPECT_EQ(m.Picture(ctl::ZalogujBtn), 15);
    EXPECT_TRUE(MojeKontoLbl2Click(m));
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://wyniki.example.org/")});

    // Logged out, the results items lead to the account page.
    m.SetActivePage(0);
    MojeWynikiBtnClick(m);
    EXPECT_EQ(m.ActivePage(), kAccountPage);
    EXPECT_EQ(m.MainMenuState, 4);

    m.LoggedIn = true;
    m.AccountEmail = QStringLiteral("ala@example.pl");
    m.AccountId = QStringLiteral("42");
    m.SetText(kLogin, QStringLiteral("kept"));
    FillAccountPage(m);
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl1), QStringLiteral("Aktualnie jesteś zalogowany jako:"));
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl2), QStringLiteral("ala@example.pl"));
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl3), QStringLiteral("Aby wylogować się, naciśnij poniższy przycisk"));
    EXPECT_FALSE(m.Visible(kLogin));
    EXPECT_FALSE(m.Visible(ctl::HasloLbl));
    EXPECT_EQ(m.Text(kLogin), QStringLiteral("kept"));
    EXPECT_EQ(m.Position(ctl::ZalogujBtn), 146);
    EXPECT_EQ(m.Picture(ctl::ZalogujBtn), 16);
    opened.clear();
    EXPECT_FALSE(MojeKontoLbl2Click(m));
    EXPECT_TRUE(opened.isEmpty());

    // Logged in: the browser opens the account's results; the page stays, item 2 is selected.
    m.SetActivePage(6);
    MojeWynikiBtnClick(m);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://wyniki.example.org/api/gateway/results/42/") +
                                  Md5Hex(QStringLiteral("42Kd7Rw2Qx"))});
    EXPECT_EQ(m.ActivePage(), 6);
    EXPECT_EQ(m.MainMenuState, 2);
    EXPECT_EQ(m.Picture(ctl::MojeWynikiBtn), 11);
}

TEST_F(Account, LoginButtonWithoutGatewaySaysThereIsNoConnection) {
    MainModel m;
    InitMainModel(m);
    ZalogujBtnClick(m);
    EXPECT_EQ(boxes.infos, QStringList{QStringLiteral("Brak połączenia z Internetem.")});
    EXPECT_FALSE(m.LoggedIn);
}

TEST_F(Account, LogInOutAndInAgainWithAWrongPassword) {
    ASSERT_TRUE(gateway.Start());
    ASSERT_TRUE(gateway.Register(QStringLiteral("ola@example.pl"), QStringLiteral("Zażółć gęślą jaźń 123")));
    MainModel m;
    StartWithGateway(m);
    m.SetText(kLogin, QStringLiteral("ola@example.pl"));
    m.SetText(kHaslo, QStringLiteral("Zażółć gęślą jaźń 123"));
    ZalogujBtnClick(m);
    EXPECT_EQ(boxes.infos, QStringList{QStringLiteral("Zalogowano pomyślnie.")});
    EXPECT_TRUE(m.LoggedIn);
    EXPECT_EQ(m.AccountEmail, QStringLiteral("ola@example.pl"));
    EXPECT_EQ(m.ActivePage(), kAccountPage);
    EXPECT_EQ(m.Text(ctl::MojeKontoLbl2), QStringLiteral("ola@example.pl"));
    // Ping first, then the login.
    ASSERT_GE(wire.requests.size(), 2);
    EXPECT_EQ(wire.requests[wire.requests.size() - 2].body, QByteArray("action=ping"));
    const RegistryKey key(kSettingsKey);
    EXPECT_EQ(key.ReadString(QStringLiteral("Login")), QStringLiteral("ola@example.pl"));

    ZalogujBtnClick(m); // log out
    EXPECT_FALSE(m.LoggedIn);
    EXPECT_TRUE(m.AccountId.isEmpty());
    EXPECT_TRUE(m.Text(kLogin).isEmpty());
    EXPECT_TRUE(m.Text(kHaslo).isEmpty());
    for (const char* v : {"Login", "Hash", "Id"})
        EXPECT_FALSE(key.ValueExists(QString::fromLatin1(v))) << v;
    EXPECT_TRUE(m.Visible(kLogin));

    m.SetText(kLogin, QStringLiteral("ola@example.pl"));
    m.SetText(kHaslo, QStringLiteral("zle"));
    ZalogujBtnClick(m);
    EXPECT_EQ(boxes.infos.last(), QStringLiteral("Niepoprawne dane!"));
    EXPECT_FALSE(m.LoggedIn);
    EXPECT_EQ(m.Text(kHaslo), QStringLiteral("zle"));
    EXPECT_FALSE(key.ValueExists(QStringLiteral("Login")));
}

TEST_F(Account, SilentLoginAtStartAndUploadAtTheEndOfARun) {
    ASSERT_TRUE(gateway.Start());
    ASSERT_TRUE(gateway.Register(QStringLiteral("jan@example.pl"), QStringLiteral("haslo")));

    // First start without a stored login: the login is still sent, empty, and changes nothing.
    {
        MainModel m;
        StartWithGateway(m);
        Start1(m);
        EXPECT_FALSE(m.LoggedIn);
        EXPECT_EQ(wire.requests.last().body,
                  QByteArray("action=login&email=&password=") + Md5Hex(kSalt).toLatin1());
        Start2(m);
        EXPECT_TRUE(boxes.infos.isEmpty());
        EXPECT_TRUE(boxes.questions.isEmpty()); // the gateway's version is ours
    }

    RegistryKey key(kSettingsKey);
    MainModel stored;
    stored.SetText(kLogin, QStringLiteral("jan@example.pl"));
    stored.SetText(kHaslo, QStringLiteral("haslo"));
    ZapiszLogin(stored);

    MainModel m;
    StartWithGateway(m);
    EXPECT_EQ(m.Text(kHaslo), QStringLiteral("haslo")); // restored at creation
    Start1(m);
    EXPECT_TRUE(m.LoggedIn);
    EXPECT_EQ(m.AccountId.size(), 18);
    EXPECT_TRUE(boxes.infos.isEmpty());

    for (int i = 0; i < 26; ++i)
        m.Scores.ScoreTable[static_cast<std::size_t>(i)] = 5000;
    m.CpuInfo = QStringLiteral("CPU X");
    const qsizetype before = wire.requests.size();
    EndTests(m);
    ASSERT_EQ(wire.requests.size(), before + 2);
    EXPECT_EQ(wire.requests[before].body, QByteArray("action=ping"));
    EXPECT_TRUE(wire.requests[before + 1].body.startsWith("action=save&user=" + m.AccountId.toLatin1() +
                                                          "&cpu=5000"));
    EXPECT_TRUE(m.ResultsUploaded);
    EXPECT_TRUE(m.Visible(ctl::PrzypisanoWynikiLbl));

    // Logged out, the end of a run pings but sends no save.
    m.LoggedIn = false;
    m.ResultsUploaded = false;
    const qsizetype again = wire.requests.size();
    EndTests(m);
    ASSERT_EQ(wire.requests.size(), again + 1);
    EXPECT_EQ(wire.requests.last().body, QByteArray("action=ping"));
}

} // namespace
} // namespace orv::test
