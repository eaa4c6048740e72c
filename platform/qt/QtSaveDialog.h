#pragma once

#include "platform/SaveDialog.h"
#include "platform/qt/DialogOwner.h"

#include <memory>

namespace kestrovan {

// Which file dialog the save dialog shows.
enum class FileDialogKind {
    Platform, // the system's own, where Qt has one
    QtOwn,    // Qt's, which speaks the program's language rather than the desktop's
};

// The save dialog through Qt's file dialog; it remembers the last chosen name for the run.
class QtSaveDialog final : public SaveDialog {
public:
    QtSaveDialog(std::shared_ptr<const DialogOwner> owner, FileDialogKind kind)
        : owner_(std::move(owner)), kind_(kind) {}
    std::optional<QString> ShowSave(const SaveDialogOptions& options) override;

    // "Desc|pattern|Desc|pattern" as Qt name filters, e.g. "Desc (pattern)".
    static QStringList NameFilters(const QString& filter);

private:
    std::shared_ptr<const DialogOwner> owner_;
    FileDialogKind kind_;
    QString fileName_;
};

} // namespace kestrovan
