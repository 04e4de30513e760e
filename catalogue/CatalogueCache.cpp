#include "catalogue/CatalogueCache.h"

#include "catalogue/CatalogueRecords.h"
#include "catalogue/Zlib.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <unistd.h>

namespace CatalogueCache {

namespace {

// Writes data to a new file beside path, named path + "." + random letters,
// and syncs it to the disk. The file is created here (never an existing file
// or a link put in its place) with the permissions of the file at path when
// that is a file of its own. Returns the problem, null when written; name
// gets the new file's name as soon as it exists.
QString writeBeside(const QString &path, const QByteArray &data, QString &name)
{
    QFile file;
    for (int attempt = 0;; ++attempt) {
        const QString candidate =
            path + u'.' + QString::number(QRandomGenerator::global()->generate64() >> 16, 36);
        file.setFileName(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        const QFileInfo taken(candidate);
        if ((!taken.exists() && !taken.isSymLink()) || attempt == 16)
            return file.errorString();
    }
    name = file.fileName();
    const QFileInfo existing(path);
    if (existing.isFile() && !existing.isSymLink())
        file.setPermissions(existing.permissions());
    // The flush is checked: a write that fails while the buffer is flushed
    // (a full disk, a file size limit) would leave the file cut short.
    if (file.write(data) != data.size() || !file.flush())
        return file.errorString();
    ::fsync(file.handle()); // where the file system cannot sync, it is written all the same
    file.close();
    return QString();
}

} // namespace

bool write(const QString &cacheFile, const QByteArray &body,
           std::future<std::shared_ptr<const CatalogueDocument>> *parsed)
{
    // The new cache is written to a temporary file beside the cache file
    // and renamed over it, so an interrupted write never leaves a broken
    // cache, and a symbolic link in its place is replaced rather than
    // written through. The rename waits until the body has loaded (parsed
    // and passed the catalogue's rules); a body that does not load leaves
    // the cache file as it was.
    QString temporary;
    QString problem;
    try {
        problem = writeBeside(cacheFile, Zlib::gzipCompress(body), temporary);
    } catch (const std::exception &e) {
        problem = QString::fromLocal8Bit(e.what());
    }
    bool keep = true;
    if (parsed) {
        // The rules are checked here, beside the records being built on the
        // worker thread from the same document (both only read it).
        try {
            const std::shared_ptr<const CatalogueDocument> document = parsed->get();
            keep = document && followsRules(*document);
        } catch (const std::future_error &) {
            keep = false; // the load ended without a document
        }
    }
    if (keep && problem.isNull()) {
        std::error_code error;
        std::filesystem::rename(QFile::encodeName(temporary).toStdString(), QFile::encodeName(cacheFile).toStdString(),
                                error);
        if (!error)
            return true;
        problem = QString::fromLocal8Bit(error.message().c_str());
    }
    if (!temporary.isEmpty())
        QFile::remove(temporary);
    if (keep)
        std::cerr << "Cannot write the catalogue cache " << cacheFile.toLocal8Bit().constData() << ": "
                  << problem.toLocal8Bit().constData() << std::endl;
    return false;
}

QByteArray read(const QString &path, qint64 maxBytes)
{
    // Only a file is read: a device or a named pipe in the cache's place
    // (or a link to one) could give endless data or block the open.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw std::runtime_error("Not a file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    // Compressed data is never larger than what it holds by more than
    // a little: a bigger file is no cache of ours.
    if (file.size() > maxBytes + (maxBytes >> 6) + 4096)
        throw std::runtime_error("The file is larger than a catalogue can be");
    const QByteArray compressed = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(file.errorString().toStdString());
    file.close();
    return Zlib::gzipDecompress(compressed, maxBytes);
}

} // namespace CatalogueCache
