#include "check/EntrySources.h"

#include "proxylist/ExtractProxyEntries.h"
#include "text/AnsiText.h"
#include "web/PageText.h"

#include <QFile>

#include <cstdio>

namespace kestrovan {

std::vector<std::u16string> EntriesOfListFile(const QByteArray& bytes) {
    const QString text = FromAnsi(bytes);
    std::vector<std::u16string> entries;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView entry = line.trimmed();
        if (!entry.isEmpty()) {
            entries.push_back(entry.toString().toStdU16String());
        }
    }
    return entries;
}

std::optional<QByteArray> ReadListFile(const QString& path) {
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        return std::nullopt;
    }
    QByteArray bytes;
    while (bytes.size() <= kMaxListFileBytes) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                return std::nullopt;
            }
            return bytes;
        }
        bytes += chunk;
    }
    return std::nullopt;
}

ListPageEntries EntriesOfListPage(const PageAnswer& answer) {
    if (answer.error != FetchError::None) {
        return {{}, QStringLiteral("连接服务器失败,请稍候重试.")};
    }
    const QString text = AnswerBodyText(answer.body, answer.contentType).value_or(QString());
    if (!text.contains(QStringView(kProxyListMarker))) {
        return {{}, QStringLiteral("代理获取失败,未找到代理列表.")};
    }
    return {ExtractProxyEntries(text.toStdU16String()).entries, {}};
}

} // namespace kestrovan
