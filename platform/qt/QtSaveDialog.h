#pragma once

#include "platform/SaveDialog.h"

namespace kestrovan {

// The save dialog on Qt's own file dialog; it remembers the last chosen name for the run.
class QtSaveDialog final : public SaveDialog {
public:
    QtSaveDialog() = default;
    std::optional<QString> ShowSave(const SaveDialogOptions& options) override;

    // "Desc|pattern|Desc|pattern" as Qt name filters, e.g. "Desc (pattern)".
    static QStringList NameFilters(const QString& filter);

private:
    QString fileName_;
};

} // namespace kestrovan
