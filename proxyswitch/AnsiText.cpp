#include "proxyswitch/AnsiText.h"

#include <QByteArray>
#include <QStringEncoder>

namespace kestrovan {

std::string ToAnsi(const QString& text) {
    QStringEncoder encoder(QStringEncoder::System);
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace kestrovan
