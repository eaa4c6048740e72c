#pragma once

class QAbstractItemView;

namespace kestrovan {

// Shows the tooltips of the view's items as the plain text they hold. QToolTip guesses rich text
// from the text itself, so a verdict or an entry from a remote list could otherwise bring markup
// and images with it. The items' tooltip data stays exact.
void ShowToolTipsAsPlainText(QAbstractItemView& view);

} // namespace kestrovan
