#include "check/PemCertificates.h"

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace kestrovan {
namespace {

constexpr QByteArrayView kBegin("-----BEGIN CERTIFICATE-----");
constexpr QByteArrayView kEnd("-----END CERTIFICATE-----");

// One DER element: its tag, its contents and what follows it.
struct DerElement {
    std::uint8_t tag = 0;
    QByteArrayView contents;
    QByteArrayView rest;
};

std::optional<DerElement> ReadDer(QByteArrayView in) {
    if (in.size() < 2) {
        return std::nullopt;
    }
    const auto tag = static_cast<std::uint8_t>(in[0]);
    const auto first = static_cast<std::uint8_t>(in[1]);
    qsizetype at = 2;
    qint64 length = first;
    if (first >= 0x80) {
        const int octets = first & 0x7f;
        if (octets == 0 || octets > 4 || in.size() < at + octets) {
            return std::nullopt;
        }
        length = 0;
        for (int i = 0; i < octets; ++i) {
            length = length << 8 | static_cast<std::uint8_t>(in[at++]);
        }
    }
    if (length > in.size() - at) {
        return std::nullopt;
    }
    return DerElement{tag, in.sliced(at, static_cast<qsizetype>(length)),
                      in.sliced(at + static_cast<qsizetype>(length))};
}

// Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signatureValue BIT STRING }, and
// tbsCertificate starts [0] version (optional), serial, signature, issuer, validity, subject, key.
bool IsCertificate(QByteArrayView der) {
    constexpr std::uint8_t kSequence = 0x30;
    const auto certificate = ReadDer(der);
    if (!certificate || certificate->tag != kSequence || !certificate->rest.isEmpty()) {
        return false;
    }
    const auto tbs = ReadDer(certificate->contents);
    const auto algorithm = tbs ? ReadDer(tbs->rest) : std::nullopt;
    const auto signature = algorithm ? ReadDer(algorithm->rest) : std::nullopt;
    if (!signature || tbs->tag != kSequence || algorithm->tag != kSequence || signature->tag != 0x03 ||
        !signature->rest.isEmpty()) {
        return false;
    }
    QByteArrayView fields = tbs->contents;
    if (const auto version = ReadDer(fields); version && version->tag == 0xa0) {
        fields = version->rest;
    }
    for (const std::uint8_t tag : {0x02, 0x30, 0x30, 0x30, 0x30, 0x30}) {
        const auto field = ReadDer(fields);
        if (!field || field->tag != tag) {
            return false;
        }
        fields = field->rest;
    }
    return true;
}

std::optional<QByteArray> CertificateOfBlock(QByteArrayView body) {
    QByteArray base64;
    for (const char c : body) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            base64 += c;
        }
    }
    const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || !IsCertificate(decoded.decoded)) {
        return std::nullopt;
    }
    QByteArray pem = kBegin.toByteArray() + '\n';
    const QByteArray encoded = decoded.decoded.toBase64();
    for (qsizetype at = 0; at < encoded.size(); at += 64) {
        pem += encoded.mid(at, 64) + '\n';
    }
    return pem + kEnd.toByteArray() + '\n';
}

} // namespace

PemCertificates ReadPemCertificates(QByteArrayView text) {
    PemCertificates read;
    qsizetype at = 0;
    while ((at = text.indexOf(kBegin, at)) >= 0) {
        const qsizetype bodyAt = at + kBegin.size();
        const qsizetype end = text.indexOf(kEnd, bodyAt);
        const auto certificate =
            end < 0 ? std::nullopt : CertificateOfBlock(text.sliced(bodyAt, end - bodyAt));
        if (!certificate) {
            read.brokenBlock = read.count + 1;
            return read;
        }
        read.pem += *certificate;
        ++read.count;
        at = end + kEnd.size();
    }
    return read;
}

} // namespace kestrovan
