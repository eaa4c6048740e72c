#include "platform/CharsetDecoder.h"

#include <QStringDecoder>

namespace kestrovan {

std::optional<QByteArray> PlatformCharsetName(QByteArrayView lowerLabel) {
    const QStringDecoder decoder(lowerLabel.toByteArray().constData());
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    return QByteArray(decoder.name());
}

QString DecodeCharset(QByteArrayView bytes, QByteArrayView canonical, CharsetBom bom) {
    const QStringDecoder::Flags flags =
        bom == CharsetBom::Keep ? QStringDecoder::Flag::ConvertInitialBom : QStringDecoder::Flag::Default;
    QStringDecoder decoder(canonical.toByteArray().constData(), flags);
    if (!decoder.isValid()) {
        decoder = QStringDecoder(QStringDecoder::Utf8, flags);
    }
    return decoder.decode(bytes);
}

} // namespace kestrovan
