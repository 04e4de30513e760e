#pragma once

// Test media for the player tests: a short generated clip served over HTTP
// on 127.0.0.1 with byte ranges.

#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <thread>

namespace TestMedia {

// Writes a clip of the given length (test picture and a tone): H.264/AAC in
// MP4, or MPEG-2/MP2 in a transport stream where libx264 is missing.
// Returns the file name inside dir, or an empty text.
inline QString makeClip(const QString &dir, double seconds = 2.0)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return QString();
    const QString length = QString::number(seconds);
    const QStringList inputs = {
        QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
        QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc2=size=320x240:rate=25"),
        QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=frequency=440"),
        QStringLiteral("-t"), length};
    struct Variant
    {
        QString name;
        QStringList codec;
    };
    const Variant variants[] = {
        {QStringLiteral("clip.mp4"),
         {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
          QStringLiteral("-c:a"), QStringLiteral("aac")}},
        {QStringLiteral("clip.ts"),
         {QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-c:a"), QStringLiteral("mp2")}},
    };
    for (const Variant &variant : variants) {
        QProcess process;
        process.start(ffmpeg, inputs + variant.codec + QStringList{QDir(dir).filePath(variant.name)});
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
            && QFile(QDir(dir).filePath(variant.name)).size() > 0)
            return variant.name;
    }
    return QString();
}

// Serves a directory under /media/ on a free loopback port; every other
// path answers 404. Records the request targets it received.
class Server
{
public:
    Server() = default;
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;
    ~Server() { stop(); }

    bool start(const QString &dir)
    {
        if (!m_server.set_mount_point("/media", QDir(dir).absolutePath().toStdString()))
            return false;
        m_server.set_logger([this](const httplib::Request &request, const httplib::Response &) {
            QMutexLocker lock(&m_mutex);
            m_targets.append(QString::fromStdString(request.target));
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        return true;
    }

    void stop()
    {
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    int port() const { return m_port; }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }
    QStringList targets()
    {
        QMutexLocker lock(&m_mutex);
        return m_targets;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    QMutex m_mutex;
    QStringList m_targets;
};

// True when some pixel is clearly not black.
inline bool hasPicture(const QImage &image)
{
    if (image.isNull())
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); y += 3) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); x += 3) {
            if (qRed(line[x]) + qGreen(line[x]) + qBlue(line[x]) > 90)
                return true;
        }
    }
    return false;
}

} // namespace TestMedia
