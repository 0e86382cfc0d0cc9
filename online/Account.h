#pragma once
#include "core/Catalogue.h"

#include <QByteArray>
#include <QString>

namespace orv {

class MainModel;
class DataPoster;

// Key of the stored password's scrambling: bytewise, cyclic from its first character.
inline const QByteArray kScrambleKey = QByteArrayLiteral("T#4kP!9wZ^2mQ&7vX@5c");

inline constexpr int kAccountPage = static_cast<int>(Page::MojeKontoTab);
inline constexpr int kAccountMenuItem = 4;
inline constexpr int kResultsMenuItem = 2;
inline constexpr int kLoginButtonTopLoggedOut = 304;
inline constexpr int kLoginButtonTopLoggedIn = 146;
inline constexpr int kLoginMaxLength = 66;
inline constexpr int kPasswordMaxLength = 32;

// Encoding adds the key byte to each byte (mod 256), decoding subtracts it. Same length as the input.
QByteArray ScrambleText(const QByteArray& text, const QByteArray& key, bool encode);

// The stored login in "Software\Orvanta": "Login" (as typed), "Hash" (the password scrambled) and
// "Id" (never written, deleted on log-out). The settings file is kept readable by its owner only.
void ZapiszLogin(MainModel& m);
void WczytajLogin(MainModel& m);
void UsunLogin(MainModel& m);

// The gateway client of the main window (made by InstallOnline, or here when missing).
DataPoster& PosterOf(MainModel& m);

// Account page, page 8: the texts and controls for the current state. ZalogujBtn's top is kept in its
// position field.
void FillAccountPage(MainModel& m);
// The whole click action of MojeKontoBtn: fill, menu item 4 selected, page 8 shown, tab row cleared.
void ShowAccountPage(MainModel& m);
// Log out when logged in; otherwise ping ("Brak połączenia z Internetem." when it fails) and log in
// with the two edit boxes.
void ZalogujBtnClick(MainModel& m);
// The second line: opens the portal only while logged out. True when it opened something.
bool MojeKontoLbl2Click(MainModel& m);

} // namespace orv
