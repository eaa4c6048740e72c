#include "text/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kestrovan {

QByteArray ToAnsiBytes(QStringView text) {
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(text);
}

std::string ToAnsi(QStringView text) {
    const QByteArray bytes = ToAnsiBytes(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromAnsi(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(bytes);
}

} // namespace kestrovan
