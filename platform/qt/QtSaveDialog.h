#pragma once

#include "platform/SaveDialog.h"
#include "platform/qt/DialogOwner.h"

#include <memory>

namespace kestrovan {

// The save dialog on Qt's own file dialog; it remembers the last chosen name for the run.
class QtSaveDialog final : public SaveDialog {
public:
    explicit QtSaveDialog(std::shared_ptr<const DialogOwner> owner) : owner_(std::move(owner)) {}
    std::optional<QString> ShowSave(const SaveDialogOptions& options) override;

    // "Desc|pattern|Desc|pattern" as Qt name filters, e.g. "Desc (pattern)".
    static QStringList NameFilters(const QString& filter);

private:
    std::shared_ptr<const DialogOwner> owner_;
    QString fileName_;
};

} // namespace kestrovan
