#include "check/EntrySources.h"

#include "platform/Console.h"
#include "proxylist/ExtractProxyEntries.h"
#include "text/AnsiText.h"
#include "web/PageText.h"

#include <QFile>

#include <array>
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

namespace {

// Standard input through the C library: QFile over a Windows pipe reports an error once the pipe
// has ended, instead of its end.
std::optional<QByteArray> ReadStandardInput() {
    MakeStandardInputBinary();
    QByteArray bytes;
    std::array<char, 64 * 1024> chunk{};
    std::size_t got = chunk.size();
    while (got == chunk.size() && bytes.size() <= kMaxListFileBytes) {
        got = std::fread(chunk.data(), 1, chunk.size(), stdin);
        bytes.append(chunk.data(), static_cast<qsizetype>(got));
    }
    if (std::ferror(stdin) || bytes.size() > kMaxListFileBytes) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<QByteArray> ReadListFile(const QString& path) {
    if (path == QLatin1String("-")) {
        return ReadStandardInput();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
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
