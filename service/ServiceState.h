#pragma once

#include "service/ReferenceService.h"

#include <QHash>

#include <map>
#include <mutex>

namespace RefService {

// A document kept with its encoded forms, so that a large catalogue is
// compressed once and not on every request.
struct EncodedDocument
{
    QByteArray plain;
    std::map<Encoding, QByteArray> encoded;
    void clear()
    {
        plain.clear();
        encoded.clear();
    }
};

// What the service answers from: the documents, the pay-per-view movies and
// rentals, the program update and the HTTP port the documents name. Every
// member is guarded by mutex; the functions named ...Locked expect it held.
struct ServiceState
{
    mutable std::mutex mutex;
    int port = 0;

    QByteArray revision;
    QByteArray catalogueOverride; // null: demo catalogue
    std::optional<QString> updateUrl;
    std::optional<QString> motd;
    Encoding catalogueEncoding = Encoding::Gzip;
    EncodedDocument catalogueCache;

    std::vector<PpvMovie> movies = demoPpvMovies();
    QHash<QString, std::vector<PpvRental>> rentalsBySerial;
    std::vector<PpvRental> globalRentals = {{501, 93784}, {507, 3600}};
    int orderRentalSeconds = 172800;
    QByteArray ppvOverride;
    Encoding ppvEncoding = Encoding::Gzip;
    bool ppvShowRequiresRental = false;

    QByteArray directoryOverride;
    int directoryCount = -1;
    Encoding directoryEncoding = Encoding::Gzip;
    EncodedDocument directoryCache;

    QString updatePath;
    QByteArray updateBody = defaultUpdateBody();
    UpdateMode updateMode = UpdateMode::Normal;
    qint64 partialBytes = -1;

    QString hostPortLocked() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    QString baseUrlLocked() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QByteArray catalogueDocumentLocked() const;
    QByteArray directoryDocumentLocked() const;
    std::vector<PpvRental> rentalsLocked(const QString &serial) const;
    const PpvMovie *movieLocked(int id) const;
};

} // namespace RefService
