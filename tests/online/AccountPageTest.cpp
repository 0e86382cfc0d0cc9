#include "app/Startup.h"
#include "core/MainModel.h"
#include "online/Account.h"
#include "online/Gateway.h"
#include "platform/Registry.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/RecordingDesktop.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace orv::test {
namespace {

class AccountPage : public ::testing::Test {
protected:
    void SetUp() override {
        RegistryKey key(kSettingsKey);
        for (const char* v : {"Login", "Hash", "Id"})
            key.DeleteValue(QString::fromLatin1(v));
        SetMessageBoxes(&boxes);
        ASSERT_TRUE(gateway.Start());
        ASSERT_TRUE(gateway.Register(QStringLiteral("ola@example.pl"), kPassword));
        qputenv(kGatewayEnv, gateway.Base().toLocal8Bit());
    }
    void TearDown() override {
        SetMessageBoxes(nullptr);
        qunsetenv(kGatewayEnv);
    }
    std::unique_ptr<TMainFrm> Window(MainModel& m) {
        InitMainModel(m);
        auto frm = std::make_unique<TMainFrm>(m);
        frm->FormCloseAction = {};
        frm->show();
        return frm;
    }
    template <class T> T* Find(TMainFrm& frm, const char* name) {
        T* w = frm.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << qPrintable(name);
        return w;
    }
    // Types like a keyboard, Polish letters included.
    void Type(QWidget* w, const QString& text) {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    // Delivered at once: a moved system pointer reports back only when the display server gets to it.
    static void Hover(QWidget* w, QPoint p) {
        QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(w, &move);
    }

    // 21 characters: the 21st byte is scrambled with the key's first character again.
    const QString kPassword = QStringLiteral("Gęś-ćma-żółw-2024-xyz");
    RecordingBoxes boxes{false};
    RecordingDesktop desktop;
    QStringList& opened = desktop.opened;
    GatewayProcess gateway;
};

TEST_F(AccountPage, TypeLogInLogOutAndEnterActsAsTheButton) {
    ASSERT_EQ(kPassword.size(), 21);
    MainModel m;
    auto frm = Window(m);
    Click(frm->Button(ctl::MojeKontoBtn));
    EXPECT_EQ(m.ActivePage(), kAccountPage);
    auto* login = Find<QLineEdit>(*frm, "LoginEdt");
    auto* haslo = Find<QLineEdit>(*frm, "HasloEdt");
    auto* button = Find<TPictureButton>(*frm, "ZalogujBtn");
    ASSERT_TRUE(login && haslo && button);
    EXPECT_TRUE(login->isVisible());
    EXPECT_EQ(haslo->echoMode(), QLineEdit::Password);
    EXPECT_EQ(login->maxLength(), 66);
    EXPECT_EQ(haslo->maxLength(), 32);
    EXPECT_EQ(button->y(), 304);

    QTest::keyClicks(login, QStringLiteral("ola@example.pl"));
    QTest::keyClicks(haslo, QStringLiteral("zle"));
    QTest::keyClick(haslo, Qt::Key_Return);
    EXPECT_EQ(boxes.infos, QStringList{QStringLiteral("Niepoprawne dane!")});
    EXPECT_FALSE(m.LoggedIn);
    EXPECT_EQ(login->text(), QStringLiteral("ola@example.pl"));

    haslo->clear();
    Type(haslo, kPassword);
    Click(button);
    EXPECT_EQ(boxes.infos.last(), QStringLiteral("Zalogowano pomyślnie."));
    ASSERT_TRUE(m.LoggedIn);
    EXPECT_FALSE(login->isVisible());
    EXPECT_FALSE(haslo->isVisible());
    EXPECT_EQ(button->y(), 146);
    EXPECT_EQ(Find<QLabel>(*frm, "MojeKontoLbl2")->text(), QStringLiteral("ola@example.pl"));

    // The stored login comes back scrambled-and-restored in a new window.
    {
        MainModel again;
        auto second = Window(again);
        EXPECT_EQ(Find<QLineEdit>(*second, "HasloEdt")->text(), kPassword);
        EXPECT_EQ(Find<QLineEdit>(*second, "LoginEdt")->text(), QStringLiteral("ola@example.pl"));
    }

    Click(button); // log out
    EXPECT_FALSE(m.LoggedIn);
    EXPECT_TRUE(login->isVisible());
    EXPECT_TRUE(login->text().isEmpty());
    EXPECT_TRUE(haslo->text().isEmpty());
    const RegistryKey key(kSettingsKey);
    for (const char* v : {"Login", "Hash", "Id"})
        EXPECT_FALSE(key.ValueExists(QString::fromLatin1(v))) << v;

    // Enter in the e-mail box logs in too.
    QTest::keyClicks(login, QStringLiteral("ola@example.pl"));
    Type(haslo, kPassword);
    QTest::keyClick(login, Qt::Key_Enter);
    EXPECT_TRUE(m.LoggedIn);
}

TEST_F(AccountPage, ResultsControlsOpenTheWebOrTheAccountPage) {
    MainModel m;
    auto frm = Window(m);
    m.SetActivePage(6);
    Click(frm->ControlWidget(ctl::OgolnyWynikLbl));
    EXPECT_EQ(m.ActivePage(), kAccountPage);
    EXPECT_EQ(m.MainMenuState, 4);
    EXPECT_TRUE(opened.isEmpty());

    // The portal link works only while logged out; its pointer says so.
    QLabel* link = Find<QLabel>(*frm, "MojeKontoLbl2");
    Hover(link, link->rect().center());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    Click(link);
    EXPECT_EQ(opened, QStringList{gateway.Base() + QStringLiteral("/")});

    Find<QLineEdit>(*frm, "LoginEdt")->setText(QStringLiteral("ola@example.pl"));
    m.SetText(ctl::LoginEdt, QStringLiteral("ola@example.pl"));
    m.SetText(ctl::HasloEdt, kPassword);
    ZalogujBtnClick(m);
    ASSERT_TRUE(m.LoggedIn);
    opened.clear();
    Hover(link, link->rect().center() + QPoint(3, 0));
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
    Click(link);
    EXPECT_TRUE(opened.isEmpty());

    m.SetActivePage(6);
    const QString results = PosterOf(m).ResultsAddress(m.AccountId);
    for (const QString& name : {ctl::Label1, ctl::WynikImg, ctl::MojeWynikiBtn}) {
        opened.clear();
        Click(frm->ControlWidget(name));
        EXPECT_EQ(opened, QStringList{results}) << qPrintable(name);
        EXPECT_EQ(m.ActivePage(), 6) << qPrintable(name);
        EXPECT_EQ(m.MainMenuState, 2) << qPrintable(name);
    }
    QByteArray page;
    EXPECT_EQ(gateway.Get(QUrl(results).path(QUrl::FullyEncoded), &page), 200);
}

} // namespace
} // namespace orv::test
