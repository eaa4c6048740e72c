#include "web/CharsetDecoder.h"

#include <QStringDecoder>

namespace kestrovan {

std::optional<QByteArray> PlatformCharsetName(QByteArrayView lowerLabel) {
    const QStringDecoder decoder(lowerLabel.toByteArray().constData());
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    return QByteArray(decoder.name());
}

QString DecodeCharset(QByteArrayView bytes, QByteArrayView canonical) {
    QStringDecoder decoder(canonical.toByteArray().constData());
    if (!decoder.isValid()) {
        decoder = QStringDecoder(QStringDecoder::Utf8);
    }
    return decoder.decode(bytes);
}

} // namespace kestrovan
