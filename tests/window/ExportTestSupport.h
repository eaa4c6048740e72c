#pragma once

#include "tests/window/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrovan::test {

inline const QString kExportFailed = QStringLiteral("代理导出失败,无法写入文件.");

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class ExportTest : public StartedWindowTest {
protected:
    QString Target(const QString& name = QStringLiteral("proxies.txt")) const { return dir.filePath(name); }
    QStringList DirEntries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
};

} // namespace kestrovan::test
