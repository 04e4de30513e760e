#include "service/ReferenceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>

namespace RefService {

namespace {

QString ffmpegPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

// Input and output arguments of ffmpeg for each demo file, in the order of
// MediaSet::fileNames().
QStringList mediaArguments(int index, int seconds, const QString &output)
{
    const QString d = QString::number(seconds);
    const QString video = QStringLiteral("testsrc2=size=640x360:rate=25:duration=%1").arg(d);
    auto tone = [&d](int frequency) {
        return QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2").arg(frequency).arg(d);
    };
    const QStringList h264 = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                              QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                              QStringLiteral("-g"), QStringLiteral("25"), QStringLiteral("-b:v"), QStringLiteral("400k"),
                              QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("96k"),
                              QStringLiteral("-movflags"), QStringLiteral("+faststart"), QStringLiteral("-shortest"),
                              QStringLiteral("-f"), QStringLiteral("mp4")};
    QStringList args = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                        QStringLiteral("-nostdin"), QStringLiteral("-y")};
    switch (index) {
    case 0:
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << video
             << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone(440) << h264;
        break;
    case 1:
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << video
             << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone(660)
             << QStringLiteral("-vf") << QStringLiteral("colorchannelmixer=rr=1:gg=0.25:bb=0.25") << h264;
        break;
    case 2:
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << video
             << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone(880)
             << QStringLiteral("-vf") << QStringLiteral("colorchannelmixer=rr=0.25:gg=0.25:bb=1") << h264;
        break;
    case 3:
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone(440)
             << QStringLiteral("-c:a") << QStringLiteral("libmp3lame") << QStringLiteral("-b:a")
             << QStringLiteral("128k") << QStringLiteral("-f") << QStringLiteral("mp3");
        break;
    default:
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << tone(440)
             << QStringLiteral("-c:a") << QStringLiteral("libvorbis") << QStringLiteral("-q:a")
             << QStringLiteral("4") << QStringLiteral("-f") << QStringLiteral("ogg");
        break;
    }
    args << output;
    return args;
}

void fill(MediaSet &set, const QString &dir)
{
    set.dir = QDir(dir).absolutePath();
    const QStringList names = MediaSet::fileNames();
    QString *fields[] = {&set.video, &set.videoRed, &set.videoBlue, &set.audioMp3, &set.audioOgg};
    bool all = true;
    for (int i = 0; i < names.size(); ++i) {
        const QFileInfo info(set.dir + QLatin1Char('/') + names[i]);
        if (info.isFile() && info.size() > 0) {
            *fields[i] = info.absoluteFilePath();
        } else {
            fields[i]->clear();
            all = false;
        }
    }
    set.ok = all;
}

} // namespace

QString defaultDataDir()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/quorvantel-service");
}

bool ffmpegAvailable()
{
    return !ffmpegPath().isEmpty();
}

MediaSet existingMedia(const QString &dir)
{
    MediaSet set;
    fill(set, dir);
    return set;
}

MediaSet ensureMedia(const QString &dir, int seconds)
{
    MediaSet set = existingMedia(dir);
    if (set.ok)
        return set;
    seconds = qBound(1, seconds, 600);
    if (!QDir().mkpath(dir)) {
        set.error = QStringLiteral("cannot create the media directory %1").arg(dir);
        return set;
    }
    const QString ffmpeg = ffmpegPath();
    if (ffmpeg.isEmpty()) {
        set.error = QStringLiteral("ffmpeg is not installed: no demo media made");
        return set;
    }
    // Several processes may start at once (parallel tests): one generates,
    // the others wait for it and then find the files.
    QLockFile lock(QDir(dir).absoluteFilePath(QStringLiteral(".generate.lock")));
    lock.setStaleLockTime(300000);
    if (!lock.tryLock(300000)) {
        set.error = QStringLiteral("cannot lock %1 for media generation").arg(dir);
        return set;
    }
    const QStringList names = MediaSet::fileNames();
    QStringList failures;
    for (int i = 0; i < names.size(); ++i) {
        const QString target = QDir(dir).absoluteFilePath(names[i]);
        if (QFileInfo(target).isFile() && QFileInfo(target).size() > 0)
            continue;
        const QString partial = QDir(dir).absoluteFilePath(
            QStringLiteral(".%1.%2.partial").arg(names[i]).arg(QCoreApplication::applicationPid()));
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(ffmpeg, mediaArguments(i, seconds, partial));
        const bool finished = process.waitForStarted(10000) && process.waitForFinished(300000);
        if (!finished) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
            && QFileInfo(partial).size() > 0) {
            QFile::remove(target);
            if (QFile::rename(partial, target))
                continue;
        }
        QFile::remove(partial);
        failures << QStringLiteral("%1: %2").arg(names[i], QString::fromLocal8Bit(process.readAll()).trimmed());
    }
    lock.unlock();
    fill(set, dir);
    if (!failures.isEmpty())
        set.error = QStringLiteral("ffmpeg failed: ") + failures.join(QStringLiteral("; "));
    return set;
}

} // namespace RefService
