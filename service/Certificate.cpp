#include "service/Certificate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>

namespace RefService {

CertificateFiles certificateFiles(const QString &dataDir)
{
    const QString dir = dataDir + QStringLiteral("/tls");
    return {dir, dir + QStringLiteral("/cert.pem"), dir + QStringLiteral("/key.pem")};
}

bool makeCertificate(const CertificateFiles &files, QString *error)
{
    const QString &certPath = files.cert;
    const QString &keyPath = files.key;
    const QString &dir = files.dir;
    auto present = [&] {
        return QFileInfo(certPath).size() > 0 && QFileInfo(keyPath).size() > 0;
    };
    if (present())
        return true;
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *error = QStringLiteral("the openssl command is not installed");
        return false;
    }
    QLockFile lock(dir + QStringLiteral("/.generate.lock"));
    if (!lock.tryLock(60000)) {
        *error = QStringLiteral("cannot lock %1").arg(dir);
        return false;
    }
    if (present())
        return true;
    const QString partialCert = certPath + QStringLiteral(".partial");
    const QString partialKey = keyPath + QStringLiteral(".partial");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                            QStringLiteral("-keyout"), partialKey, QStringLiteral("-out"), partialCert,
                            QStringLiteral("-days"), QStringLiteral("3650"), QStringLiteral("-subj"),
                            QStringLiteral("/CN=127.0.0.1/O=Quorvantel reference service"), QStringLiteral("-addext"),
                            QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(60000);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(process.readAll()).trimmed();
        QFile::remove(partialCert);
        QFile::remove(partialKey);
        return false;
    }
    QFile::remove(certPath);
    QFile::remove(keyPath);
    if (!QFile::rename(partialKey, keyPath) || !QFile::rename(partialCert, certPath)) {
        *error = QStringLiteral("cannot store the certificate in %1").arg(dir);
        return false;
    }
    return true;
}

} // namespace RefService
