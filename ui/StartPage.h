#pragma once
#include <QWidget>

namespace orv {

class TMainFrm;

// The start page: five component pictures around the description header and its four lines. The
// pictures show the hand pointer and take over the description panel when the pointer moves onto
// them; presses on any of them move the window like the page itself.
void BuildStartPage(TMainFrm& frm, QWidget* page);

} // namespace orv
