#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace kestrovan {

// The certificate blocks of a PEM file, read before any check: libcurl would meet a broken block
// only in each TLS handshake and fail every tunnel test for it, whatever the proxy did.
struct PemCertificates {
    QByteArray pem;      // the certificates alone, each block in its canonical form
    int count = 0;       // certificates read
    int brokenBlock = 0; // the first block (from 1) that holds no certificate; 0 when none does
};

// Reads each "-----BEGIN CERTIFICATE-----" block of text: strict base64, and DER whose structure is
// an X.509 certificate's. Text outside the blocks is skipped, as libcurl skips it.
PemCertificates ReadPemCertificates(QByteArrayView text);

} // namespace kestrovan
