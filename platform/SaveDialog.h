#pragma once

#include <QString>

#include <optional>

namespace kestrovan {

struct SaveDialogOptions {
    QString title;
    // Description and pattern pairs separated by "|", e.g. "Text (*.txt)|*.txt|Word (*.doc)|*.doc".
    QString filter;
    bool overwritePrompt = false;
};

// The common save dialog. Like the dialog control it stands for, it keeps the name chosen last
// and offers it again at the next showing.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    SaveDialog(const SaveDialog&) = delete;
    SaveDialog& operator=(const SaveDialog&) = delete;

    // Shows the modal dialog; the chosen path, or nullopt when the user cancelled.
    virtual std::optional<QString> ShowSave(const SaveDialogOptions& options) = 0;

protected:
    SaveDialog() = default;
};

} // namespace kestrovan
