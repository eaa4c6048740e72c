#include "platform/qt/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace kestrovan {

bool InstallQtTranslation() {
    auto translator = std::make_unique<QTranslator>();
    // A build that carries the file with it (Windows) has it among its resources.
    const QString folders[] = {QStringLiteral(":/kestrovan/translations"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
            QCoreApplication::installTranslator(translator.get());
            translator.release()->setParent(QCoreApplication::instance()); // the application owns it now
            return true;
        }
    }
    return false;
}

} // namespace kestrovan
