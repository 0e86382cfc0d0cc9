#include "online/Account.h"

#include "core/MainModel.h"
#include "online/Charset.h"
#include "online/Gateway.h"
#include "platform/DesktopServices.h"
#include "platform/MessageBoxes.h"
#include "platform/Registry.h"

#include <QFile>

namespace orv {

namespace {

const QString kLoginValue = QStringLiteral("Login");
const QString kHashValue = QStringLiteral("Hash");
const QString kIdValue = QStringLiteral("Id");

// The stored password is a secret even scrambled: nobody but the owner reads the settings file.
void KeepPrivate(const RegistryKey& key) {
    QFile::setPermissions(key.FilePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Settings strings end at their first zero byte, as registry strings do.
QString BytesAsStored(const QByteArray& bytes) {
    const qsizetype zero = bytes.indexOf('\0');
    return QString::fromLatin1(zero >= 0 ? bytes.left(zero) : bytes);
}

} // namespace

QByteArray ScrambleText(const QByteArray& text, const QByteArray& key, bool encode) {
    if (key.isEmpty())
        return text;
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto k = static_cast<unsigned char>(key[i % key.size()]);
        out[i] = static_cast<char>(static_cast<unsigned char>(encode ? c + k : c - k));
    }
    return out;
}

void ZapiszLogin(MainModel& m) {
    RegistryKey key(kSettingsKey);
    if (!key.Exists())
        return;
    KeepPrivate(key);
    key.WriteString(kLoginValue, m.Text(ctl::LoginEdt));
    const QByteArray password = EncodeCharset(m.Text(ctl::HasloEdt));
    key.WriteString(kHashValue, BytesAsStored(ScrambleText(password, kScrambleKey, true)));
    KeepPrivate(key);
}

void WczytajLogin(MainModel& m) {
    const RegistryKey key(kSettingsKey);
    if (key.Exists()) {
        KeepPrivate(key);
        m.SetText(ctl::LoginEdt, key.ReadString(kLoginValue));
        const QByteArray stored = key.ReadString(kHashValue).toLatin1();
        m.SetText(ctl::HasloEdt,
                  DecodeCharset(ScrambleText(stored, kScrambleKey, false), kSingleByteCharset));
    }
    m.AccountId.clear();
}

void UsunLogin(MainModel& m) {
    (void)m;
    RegistryKey key(kSettingsKey);
    if (!key.Exists())
        return;
    key.DeleteValue(kLoginValue);
    key.DeleteValue(kHashValue);
    key.DeleteValue(kIdValue);
    KeepPrivate(key);
}

DataPoster& PosterOf(MainModel& m) {
    if (!m.Poster)
        m.Poster = new DataPoster(&m);
    return *m.Poster;
}

void FillAccountPage(MainModel& m) {
    const bool in = m.LoggedIn;
    if (in) {
        m.SetText(ctl::MojeKontoLbl1, QStringLiteral("Aktualnie jesteś zalogowany jako:"));
        m.SetText(ctl::MojeKontoLbl2, m.AccountEmail);
        m.SetText(ctl::MojeKontoLbl3, QStringLiteral("Aby wylogować się, naciśnij poniższy przycisk"));
    } else {
        const QString portal = PosterOf(m).PortalAddress();
        m.SetText(ctl::MojeKontoLbl1,
                  QStringLiteral("Aby gromadzić wyniki z programu Orvanta, zarejestruj się na:"));
        m.SetText(ctl::MojeKontoLbl2,
                  portal.isEmpty() ? QStringLiteral("(adres portalu nie jest ustawiony)") : portal);
        m.SetText(ctl::MojeKontoLbl3,
                  QStringLiteral("Aby się zalogować, wpisz poniżej adres e-mail i hasło swojego konta."));
    }
    m.SetText(ctl::LoginLbl, QStringLiteral("adres e-mail"));
    m.SetText(ctl::HasloLbl, QStringLiteral("hasło"));
    for (const QString& name :
         {ctl::LoginLbl, ctl::HasloLbl, ctl::LoginEdt, ctl::HasloEdt, ctl::Obwodka1, ctl::Obwodka2})
        m.SetVisible(name, !in);
    m.SetPosition(ctl::ZalogujBtn, in ? kLoginButtonTopLoggedIn : kLoginButtonTopLoggedOut);
    m.SetPicture(ctl::ZalogujBtn, in ? kImageLogOut : kImageLogIn);
}

void ShowAccountPage(MainModel& m) {
    FillAccountPage(m);
    m.MainMenuState = kAccountMenuItem;
    m.SetActivePage(kAccountPage);
    m.OdswiezStanMenu(kAccountMenuItem);
    m.WyczyscMenuGorne();
}

void ZalogujBtnClick(MainModel& m) {
    if (m.LoggedIn) {
        m.LoggedIn = false;
        UsunLogin(m);
        WczytajLogin(m);
        ShowAccountPage(m);
        return;
    }
    DataPoster& poster = PosterOf(m);
    if (!PostPing(poster)) {
        Boxes().Information(QStringLiteral("Brak połączenia z Internetem."));
        return;
    }
    PostLogin(m, poster, m.Text(ctl::LoginEdt), m.Text(ctl::HasloEdt));
    if (m.AccountId.isEmpty())
        return;
    m.LoggedIn = true;
    ZapiszLogin(m);
    ShowAccountPage(m);
}

bool MojeKontoLbl2Click(MainModel& m) {
    if (m.LoggedIn)
        return false;
    const QString portal = PosterOf(m).PortalAddress();
    if (portal.isEmpty())
        return false;
    Desktop().OpenUrl(portal);
    return true;
}

} // namespace orv
