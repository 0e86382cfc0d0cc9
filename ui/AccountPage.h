#pragma once

namespace orv {

class TMainFrm;

// Builds the account page (MojeKontoTab, page 8) of the window and wires the account clicks: the log-in
// button, Enter in either edit box, the portal link, and the results on the web from MojeWynikiBtn,
// WynikImg, OgolnyWynikLbl and Label1. The page mirrors its controls' state in the model.
void BuildAccountPage(TMainFrm& frm);

} // namespace orv
