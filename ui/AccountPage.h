#pragma once

namespace orv {

class TMainFrm;

// Builds the account page (MojeKontoTab, page 8): its captions, the portal link line, both edit boxes
// (Enter logs in) and the log-in button. The page mirrors its controls' state in the model.
void BuildAccountPage(TMainFrm& frm);

} // namespace orv
