#pragma once

namespace orv {

class TMainFrm;

// Builds the account page (MojeKontoTab, page 8): its captions, the portal link line, both edit boxes
// (Enter logs in) and the log-in button. The page mirrors its controls' state in the model.
void BuildAccountPage(TMainFrm& frm);

// Wires the window's account clicks that live outside the page: MojeKontoBtn fills the page, and
// MojeWynikiBtn, WynikImg, OgolnyWynikLbl and Label1 open the results on the web (or the account page
// when logged out). For a window whose own navigation already does this, leave it out.
void ConnectAccountClicks(TMainFrm& frm);

} // namespace orv
