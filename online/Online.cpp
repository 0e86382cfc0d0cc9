#include "online/Online.h"

#include "core/MainModel.h"
#include "online/Account.h"
#include "online/Gateway.h"

namespace orv {

void InstallOnline(MainModel& main) {
    DataPoster* poster = &PosterOf(main);
    poster->setObjectName(QStringLiteral("DataPoster"));
    main.Hooks.PostPing = [poster](MainModel&) { return PostPing(*poster); };
    main.Hooks.PostTest = [poster](MainModel& m) { PostTest(m, *poster, UploadOfModel(m)); };
    main.Hooks.PostLoginSilent = [poster](MainModel& m) {
        PostLoginSilent(m, *poster, m.Text(ctl::LoginEdt), m.Text(ctl::HasloEdt));
        return m.AccountId;
    };
    main.Hooks.ZapiszLogin = [](MainModel& m) { ZapiszLogin(m); };
    main.Hooks.SprawdzWersje = [poster](MainModel&) { SprawdzWersje(*poster, ProgramVersion()); };
    // The main menu and the results page reach the account through the navigation hooks.
    main.Nav.FillAccountPage = [](MainModel& m) { FillAccountPage(m); };
    main.Nav.ResultsAddress = [](MainModel& m) { return PosterOf(m).ResultsAddress(m.AccountId); };
    WczytajLogin(main);
    FillAccountPage(main);
}

} // namespace orv
