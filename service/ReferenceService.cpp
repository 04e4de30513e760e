#include "service/ReferenceService.h"

#include "service/ServiceImpl.h"

#include <QDir>

using namespace RefService;

// --- ReferenceService ---------------------------------------------------------

ReferenceService::ReferenceService() : ReferenceService(Config()) {}

ReferenceService::ReferenceService(const Config &config) : d(std::make_unique<Impl>())
{
    d->config = config;
    d->dataDir = config.dataDir.isEmpty() ? defaultDataDir() : QDir(config.dataDir).absolutePath();
    d->state.revision = revisionBody(config.revision);
    if (!config.updateUrl.isEmpty())
        d->state.updateUrl = config.updateUrl;
    d->state.motd = demoCatalogueInfo().motd;
    d->state.updatePath = config.updatePath.isEmpty() ? QStringLiteral("/update/latest.bin") : config.updatePath;
}

ReferenceService::~ReferenceService()
{
    stop();
}

int ReferenceService::port() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.port;
}

QString ReferenceService::hostPort() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.hostPortLocked();
}

QString ReferenceService::baseUrl() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.baseUrlLocked();
}

QString ReferenceService::dataDir() const
{
    return d->dataDir;
}

bool ReferenceService::httpsRunning() const
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    return d->running && d->tlsPort > 0;
}

int ReferenceService::httpsPort() const
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    return d->tlsPort;
}

QString ReferenceService::httpsHostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(httpsPort());
}

QString ReferenceService::httpsBaseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(httpsPort());
}

QString ReferenceService::certificatePath() const
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    return d->certPath;
}

QString ReferenceService::certificateKeyPath() const
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    return d->keyPath;
}

void ReferenceService::setRevision(int revision)
{
    setRevisionBody(revisionBody(revision));
}

void ReferenceService::setRevisionBody(const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.revision = body;
}

void ReferenceService::setCatalogue(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.catalogueOverride = xml;
    d->state.catalogueCache.clear();
}

QByteArray ReferenceService::catalogue() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.catalogueDocumentLocked();
}

void ReferenceService::setCatalogueEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.catalogueEncoding = encoding;
}

void ReferenceService::setUpdateUrl(const QString &url)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.updateUrl = url.isEmpty() ? std::nullopt : std::optional<QString>(url);
    d->state.catalogueCache.clear();
}

void ReferenceService::setMotd(const QString &motd)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.motd = motd;
    d->state.catalogueCache.clear();
}

void ReferenceService::setPpvMovies(const std::vector<PpvMovie> &movies)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.movies = movies;
}

std::vector<PpvMovie> ReferenceService::ppvMovies() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.movies;
}

void ReferenceService::setRental(const QString &serial, int videoId, int timeLeft)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    std::vector<PpvRental> &list = d->state.rentalsBySerial[serial];
    for (PpvRental &r : list) {
        if (r.videoId == videoId) {
            r.timeLeft = timeLeft;
            return;
        }
    }
    list.push_back({videoId, timeLeft});
}

void ReferenceService::setGlobalRental(int videoId, int timeLeft)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    for (PpvRental &r : d->state.globalRentals) {
        if (r.videoId == videoId) {
            r.timeLeft = timeLeft;
            return;
        }
    }
    d->state.globalRentals.push_back({videoId, timeLeft});
}

void ReferenceService::clearRentals()
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.globalRentals.clear();
    d->state.rentalsBySerial.clear();
}

std::vector<PpvRental> ReferenceService::rentals(const QString &serial) const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.rentalsLocked(serial);
}

void ReferenceService::setOrderRentalSeconds(int seconds)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.orderRentalSeconds = seconds;
}

void ReferenceService::setPpvDocument(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.ppvOverride = xml;
}

void ReferenceService::setPpvEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.ppvEncoding = encoding;
}

void ReferenceService::setPpvShowRequiresRental(bool required)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.ppvShowRequiresRental = required;
}

void ReferenceService::setDirectory(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.directoryOverride = xml;
    d->state.directoryCache.clear();
}

void ReferenceService::setDirectoryCount(int count)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.directoryOverride = QByteArray();
    d->state.directoryCount = count;
    d->state.directoryCache.clear();
}

void ReferenceService::setDirectoryEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.directoryEncoding = encoding;
}

void ReferenceService::setUpdatePath(const QString &path)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.updatePath = path;
}

QString ReferenceService::updatePath() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.updatePath;
}

QString ReferenceService::updateFileUrl() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.baseUrlLocked() + d->state.updatePath;
}

void ReferenceService::setUpdateBody(const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.updateBody = body;
}

void ReferenceService::setUpdateMode(UpdateMode mode, qint64 partialBytes)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.updateMode = mode;
    d->state.partialBytes = partialBytes;
}

MediaSet ReferenceService::ensureMedia()
{
    return RefService::ensureMedia(d->dataDir + QStringLiteral("/media"), d->config.mediaSeconds);
}

MediaSet ReferenceService::media() const
{
    return existingMedia(d->dataDir + QStringLiteral("/media"));
}

QString ReferenceService::mediaUrl(const QString &fileName) const
{
    return baseUrl() + QStringLiteral("/media/") + fileName;
}

void ReferenceService::setStatus(const QString &path, int status)
{
    d->switches.setStatus(path, status);
}

void ReferenceService::setDelay(const QString &path, int milliseconds)
{
    d->switches.setDelay(path, milliseconds);
}

void ReferenceService::holdReplies(const QString &path)
{
    d->switches.hold(path);
}

void ReferenceService::releaseReplies(const QString &path, bool keepHolding)
{
    d->switches.release(path, keepHolding);
}

int ReferenceService::heldRequestCount(const QString &path) const
{
    return d->switches.heldCount(path);
}

bool ReferenceService::waitForHeldRequest(const QString &path, int timeoutMs) const
{
    return d->switches.waitForHeld(path, timeoutMs);
}

void ReferenceService::setReply(const QString &path, const QByteArray &body)
{
    d->switches.setReply(path, body);
}

void ReferenceService::setSplitReply(const QString &path, const QByteArray &first, const QByteArray &second, int pauseMs)
{
    d->switches.setSplitReply(path, first, second, pauseMs);
}

void ReferenceService::setHeader(const QString &path, const QByteArray &name, const QByteArray &value)
{
    d->switches.addHeader(path, name, value);
}

void ReferenceService::clearSwitches()
{
    d->switches.clear();
}

std::vector<LoggedRequest> ReferenceService::requests() const
{
    return d->log.all();
}

std::vector<LoggedRequest> ReferenceService::requests(const QString &path) const
{
    return d->log.forPath(path);
}

int ReferenceService::requestCount(const QString &path) const
{
    return int(requests(path).size());
}

void ReferenceService::clearRequests()
{
    d->log.clear();
}
