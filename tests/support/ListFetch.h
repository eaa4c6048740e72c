#pragma once

#include <QStringList>

class QWidget;

namespace kestrovan {
class SiteServer;
}

namespace kestrovan::test {

// Fills the window's List1 as its user does: the home site serves a list page of these entries
// and a click on Command1 fetches it. True when the list holds them once the fetch has ended
// and the browser control has been blanked (each within 10 s).
bool FetchListFrom(SiteServer& home, QWidget& window, const QStringList& entries);

} // namespace kestrovan::test
