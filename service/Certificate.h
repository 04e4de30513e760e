#pragma once

#include <QString>

namespace RefService {

// The PEM files of the HTTPS listener's certificate, in <dataDir>/tls.
struct CertificateFiles
{
    QString dir;
    QString cert;
    QString key;
};

CertificateFiles certificateFiles(const QString &dataDir);

// Makes a self-signed certificate (CN and SAN 127.0.0.1, localhost) with the
// openssl command when the files are missing (safe when several processes do
// it at once); false with the reason in error when that fails.
bool makeCertificate(const CertificateFiles &files, QString *error);

} // namespace RefService
