#include "service/ReferenceService.h"

#include <QXmlStreamWriter>

#include <array>
#include <random>

namespace RefService {

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString mediaUrl(const QString &hostPort, const QString &file)
{
    return QStringLiteral("http://%1/media/%2").arg(hostPort, file);
}

} // namespace

QStringList MediaSet::fileNames()
{
    return {QStringLiteral("test.mp4"), QStringLiteral("test-red.mp4"), QStringLiteral("test-blue.mp4"),
            QStringLiteral("tone.mp3"), QStringLiteral("tone.ogg")};
}

QByteArray catalogueDocument(const std::vector<CatalogueEntry> &entries, const CatalogueInfo &info)
{
    QByteArray out;
    out.reserve(qsizetype(entries.size()) * 420 + 512);
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("StreamDatabase"));
    if (info.withInfo) {
        w.writeStartElement(QStringLiteral("Info"));
        if (info.motd)
            w.writeTextElement(QStringLiteral("MOTD"), *info.motd);
        if (info.updateUrl)
            w.writeTextElement(QStringLiteral("UpdateUrl"), *info.updateUrl);
        w.writeEndElement();
    }
    w.writeStartElement(QStringLiteral("Streams"));
    if (info.flush)
        w.writeAttribute(QStringLiteral("flush"), *info.flush);
    for (const CatalogueEntry &e : entries) {
        w.writeStartElement(QStringLiteral("Stream"));
        w.writeAttribute(QStringLiteral("id"), QString::number(e.id));
        w.writeAttribute(QStringLiteral("adult"), boolText(e.adult));
        w.writeAttribute(QStringLiteral("topstream"), boolText(e.topStream));
        w.writeTextElement(QStringLiteral("Name"), e.name);
        w.writeTextElement(QStringLiteral("Language"), e.language);
        w.writeTextElement(QStringLiteral("Country"), e.country);
        w.writeTextElement(QStringLiteral("Bitrate"), QString::number(e.bitrate));
        w.writeTextElement(QStringLiteral("Format"), e.format);
        w.writeTextElement(QStringLiteral("Type"), e.type);
        w.writeTextElement(QStringLiteral("Live"), e.live ? QStringLiteral("True") : QStringLiteral("False"));
        w.writeTextElement(QStringLiteral("Category"), e.category);
        w.writeTextElement(QStringLiteral("Url"), e.url);
        w.writeEndElement();
    }
    w.writeEndElement(); // Streams
    w.writeEndElement(); // root
    w.writeEndDocument();
    return out;
}

CatalogueInfo demoCatalogueInfo()
{
    CatalogueInfo info;
    info.motd = QStringLiteral("Welcome to Quorvantel! This catalogue comes from the local reference service.");
    return info;
}

std::vector<CatalogueEntry> demoCatalogueEntries(const QString &hostPort)
{
    const QString video = mediaUrl(hostPort, QStringLiteral("test.mp4"));
    const QString red = mediaUrl(hostPort, QStringLiteral("test-red.mp4"));
    const QString blue = mediaUrl(hostPort, QStringLiteral("test-blue.mp4"));
    const QString mp3 = mediaUrl(hostPort, QStringLiteral("tone.mp3"));
    const QString ogg = mediaUrl(hostPort, QStringLiteral("tone.ogg"));
    const QString dead = mediaUrl(hostPort, QStringLiteral("missing.mp4"));

    struct Row
    {
        int id;
        const char *name;
        const char *language;
        const char *country;
        int bitrate;
        const char *format;
        const char *type;
        bool live;
        const char *category;
        int media; // 0 video, 1 red, 2 blue, 3 mp3, 4 ogg, 5 missing
        bool adult;
        bool top;
    };
    // clang-format off
    static const Row rows[] = {
        {1001, "Nordic News 24", "English", "United Kingdom", 512, "WMP", "TV", true, "News", 0, false, true},
        {1002, "Søndagsåpent TV", "Norsk", "Norway", 450, "WMP", "TV", true, "Entertainment", 1, false, true},
        {1003, "Fjordkanalen", "Norsk", "Norway", 384, "WMP", "TV", true, "Travel", 2, false, false},
        {1004, "Ærlig Talt Debatt", "Norsk", "Norway", 300, "WMP", "TV", true, "News", 0, false, false},
        {1005, "Rhein Sport", "Deutsch", "Germany", 700, "WMP", "TV", true, "Sports", 1, false, true},
        {1006, "Kinderwelt", "Deutsch", "Germany", 350, "WMP", "TV", true, "Kids", 2, false, false},
        {1007, "Paris Matin", "Français", "France", 400, "WMP", "TV", true, "News", 0, false, false},
        {1008, "Météo Continu", "Français", "France", 128, "WMP", "TV", true, "Weather", 1, false, false},
        {1009, "Canal Solé", "Español", "Spain", 500, "WMP", "TV", true, "Entertainment", 2, false, false},
        {1010, "Göta Nyheter", "Svenska", "Sweden", 420, "WMP", "TV", true, "News", 0, false, false},
        {1011, "Blåbær Radio", "Norsk", "Norway", 128, "WMP", "Radio", true, "Music", 3, false, true},
        {1012, "Østlandssendingen", "Norsk", "Norway", 96, "WMP", "Radio", true, "News", 4, false, false},
        {1013, "Fjære FM", "Norsk", "Norway", 64, "WMP", "Radio", true, "Music", 3, false, false},
        {1014, "London Jazz Line", "English", "United Kingdom", 128, "WMP", "Radio", true, "Music", 4, false, true},
        {1015, "Talk Atlantic", "English", "USA", 48, "WMP", "Radio", true, "Talk", 3, false, false},
        {1016, "Radio Klassik Wien", "Deutsch", "Austria", 192, "WMP", "Radio", true, "Classical", 4, false, false},
        {1017, "København Pop", "Dansk", "Denmark", 128, "WMP", "Radio", true, "Music", 3, false, false},
        {1018, "Roma Notizie", "Italiano", "Italy", 64, "WMP", "Radio", true, "News", 4, false, false},
        {1019, "Radio Flamenco", "Español", "Spain", 128, "WMP", "Radio", true, "Music", 3, false, false},
        {1020, "Video Hits Nonstop", "English", "USA", 600, "WMP", "Videoclip", false, "Music", 1, false, true},
        {1021, "Musikkvideo Ålesund", "Norsk", "Norway", 450, "WMP", "Videoclip", false, "Music", 2, false, false},
        {1022, "Clip Parade", "Français", "France", 400, "WMP", "Videoclip", false, "Music", 0, false, false},
        {1023, "Silent Film Classics", "English", "USA", 700, "WMP", "Movie", false, "Film", 0, false, true},
        {1024, "Nordisk Filmkveld", "Norsk", "Norway", 650, "WMP", "Movie", false, "Film", 1, false, false},
        {1025, "Documentary Hour", "English", "United Kingdom", 550, "WMP", "Movie", false, "Documentary", 2, false, false},
        {1026, "Harbour Cam Bergen", "Norsk", "Norway", 200, "WMP", "Webcam", true, "Nature", 2, false, false},
        {1027, "Alpine Summit Cam", "Deutsch", "Switzerland", 220, "WMP", "Webcam", true, "Nature", 0, false, true},
        {1028, "Times Square Live", "English", "USA", 300, "WMP", "Webcam", true, "Travel", 1, false, false},
        {1029, "Late Night Lounge", "English", "USA", 500, "WMP", "Erotic", true, "Adult", 1, true, false},
        {1030, "Nattkanalen", "Norsk", "Norway", 450, "WMP", "Erotic", true, "Adult", 2, true, true},
        {1031, "Velvet Club", "Français", "France", 400, "WMP", "Erotic", true, "Adult", 0, true, false},
        {1032, "Adult Movie Night", "English", "USA", 600, "WMP", "Movie", false, "Adult", 1, true, false},
        {1033, "Real Radio Archive", "English", "USA", 32, "RM", "Radio", true, "Music", 3, false, false},
        {1034, "RealVideo Legacy", "English", "USA", 220, "RM", "TV", true, "Entertainment", 0, false, false},
        {1035, "QuickTime Trailers", "English", "USA", 800, "QT", "Movie", false, "Film", 1, false, false},
        {1036, "QT Nature Show", "Deutsch", "Germany", 500, "QT", "TV", true, "Nature", 2, false, false},
        {1037, "Lower Case Channel", "English", "United Kingdom", 300, "wmp", "TV", true, "News", 0, false, false},
        {1038, "Dead Channel", "English", "United Kingdom", 256, "WMP", "TV", true, "Entertainment", 5, false, false},
        {1039, "Rock & Roll Radio", "English", "USA", 128, "WMP", "Radio", true, "Music", 4, false, false},
        {1040, "Trøndelag Lokal-TV", "Norsk", "Norway", 350, "WMP", "TV", true, "Local", 0, false, false},
    };
    // clang-format on
    const std::array<QString, 6> urls = {video, red, blue, mp3, ogg, dead};
    std::vector<CatalogueEntry> out;
    for (const Row &r : rows) {
        CatalogueEntry e;
        e.id = r.id;
        e.name = QString::fromUtf8(r.name);
        e.language = QString::fromUtf8(r.language);
        e.country = QString::fromUtf8(r.country);
        e.bitrate = r.bitrate;
        e.format = QString::fromLatin1(r.format);
        e.type = QString::fromLatin1(r.type);
        e.live = r.live;
        e.category = QString::fromUtf8(r.category);
        e.url = urls[size_t(r.media)];
        e.adult = r.adult;
        e.topStream = r.top;
        out.push_back(std::move(e));
    }
    return out;
}

QByteArray demoCatalogue(const QString &hostPort, const CatalogueInfo &info)
{
    return catalogueDocument(demoCatalogueEntries(hostPort), info);
}

std::vector<CatalogueEntry> generateCatalogueEntries(int count, const QString &hostPort, quint32 seed)
{
    static const char *const languages[] = {"English", "Norsk", "Deutsch", "Français", "Español", "Svenska", "Dansk", "Italiano"};
    static const char *const countries[] = {"United Kingdom", "Norway", "Germany", "France", "Spain", "Sweden", "Denmark", "Italy", "USA", "Austria", "Switzerland", "Canada"};
    static const char *const categories[] = {"News", "Music", "Sports", "Entertainment", "Documentary", "Kids", "Weather", "Film", "Travel", "Nature", "Talk", "Local"};
    static const char *const types[] = {"TV", "Radio", "Videoclip", "Erotic", "Movie", "Webcam"};
    static const char *const words[] = {"Nordlys", "Fjord", "Blåbær", "Aurora", "Harbour", "Summit", "Metro", "Coast", "Valley", "Øya", "Delta", "Pulse", "Echo", "Zenith", "Ærfugl"};
    static const char *const videoFiles[] = {"test.mp4", "test-red.mp4", "test-blue.mp4"};
    static const char *const audioFiles[] = {"tone.mp3", "tone.ogg"};

    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return int(rng() % quint32(n)); };
    std::vector<CatalogueEntry> out;
    out.reserve(size_t(qMax(0, count)));
    for (int i = 1; i <= count; ++i) {
        CatalogueEntry e;
        e.id = i;
        e.type = QString::fromLatin1(types[pick(6)]);
        e.adult = e.type == QLatin1String("Erotic") || pick(50) == 0;
        e.name = QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(words[pick(15)]), e.type).arg(i);
        e.language = QString::fromUtf8(languages[pick(8)]);
        e.country = QString::fromUtf8(countries[pick(12)]);
        e.category = e.adult ? QStringLiteral("Adult") : QString::fromUtf8(categories[pick(12)]);
        e.bitrate = 32 + pick(800);
        const int f = pick(100);
        e.format = f < 96 ? QStringLiteral("WMP") : f < 98 ? QStringLiteral("RM") : QStringLiteral("QT");
        e.live = e.type != QLatin1String("Movie") && e.type != QLatin1String("Videoclip");
        e.topStream = pick(20) == 0;
        const bool audio = e.type == QLatin1String("Radio");
        e.url = mediaUrl(hostPort, QString::fromLatin1(audio ? audioFiles[pick(2)] : videoFiles[pick(3)]));
        out.push_back(std::move(e));
    }
    return out;
}

QByteArray generateCatalogue(int count, const QString &hostPort, quint32 seed)
{
    CatalogueInfo info;
    info.motd = QStringLiteral("Generated catalogue of %1 streams").arg(count);
    return catalogueDocument(generateCatalogueEntries(count, hostPort, seed), info);
}

QByteArray directoryDocument(const std::vector<DirectoryEntry> &entries)
{
    QByteArray out;
    out.reserve(qsizetype(entries.size()) * 300 + 128);
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("directory"));
    for (const DirectoryEntry &e : entries) {
        w.writeStartElement(QStringLiteral("entry"));
        w.writeTextElement(QStringLiteral("server_name"), e.serverName);
        w.writeTextElement(QStringLiteral("listen_url"), e.listenUrl);
        w.writeTextElement(QStringLiteral("server_type"),
                           e.listenUrl.endsWith(QLatin1String(".ogg")) ? QStringLiteral("application/ogg") : QStringLiteral("audio/mpeg"));
        w.writeTextElement(QStringLiteral("bitrate"), e.bitrate);
        w.writeTextElement(QStringLiteral("channels"), QStringLiteral("2"));
        w.writeTextElement(QStringLiteral("samplerate"), QStringLiteral("44100"));
        w.writeTextElement(QStringLiteral("genre"), e.genre);
        w.writeTextElement(QStringLiteral("current_song"), QStringLiteral("Test tone - 440 Hz"));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

std::vector<DirectoryEntry> demoDirectoryEntries(const QString &hostPort)
{
    static const char *const names[] = {
        "Radio Paradise Test", "Ambient Drift", "Chillout Lounge", "Oslo Indie Radio", "Bergen Bølge",
        "Metal Forge", "Jazz Corner", "Classic Rock 101", "Deep House Nation", "Folk Fireside",
        "Techno Bunker", "Reggae Roots", "Blues Highway", "Piano Solo", "Lo-Fi Beats",
        "Country Roads", "Opera Gala", "Drum & Bass Depot", "Synthwave City", "Celtic Harp",
        "Soul Kitchen", "Hip Hop Central", "Baroque Hall", "Surf Rock Shack", "Tromsø Nordlys FM",
        "World Music Bazaar", "Retro 80s", "Ska Parade", "Punk Garage", "Gospel Sunrise"};
    static const char *const genres[] = {
        "Eclectic", "Ambient", "Chillout", "Indie", "Pop", "Metal", "Jazz", "Rock", "House", "Folk",
        "Techno", "Reggae", "Blues", "Classical", "Lo-Fi", "Country", "Opera", "Drum and Bass", "Synthwave", "Celtic",
        "Soul", "Hip Hop", "Classical", "Surf", "Pop", "World", "80s", "Ska", "Punk", "Gospel"};
    static const char *const bitrates[] = {"128", "64", "192", "128", "96", "320", "128", "128", "256", "64",
                                           "1000", "128", "1001", "160", "N/A", "128", "-1", "192", "128", "112",
                                           "128", "96", "128", "64", "128", "128", "56", "128", "64", "24"};
    std::vector<DirectoryEntry> out;
    for (int i = 0; i < 30; ++i) {
        DirectoryEntry e;
        e.serverName = QString::fromUtf8(names[i]);
        e.genre = QString::fromUtf8(genres[i]);
        e.bitrate = QString::fromLatin1(bitrates[i]);
        e.listenUrl = mediaUrl(hostPort, i % 2 ? QStringLiteral("tone.ogg") : QStringLiteral("tone.mp3"));
        out.push_back(std::move(e));
    }
    return out;
}

QByteArray demoDirectory(const QString &hostPort)
{
    return directoryDocument(demoDirectoryEntries(hostPort));
}

QByteArray generateDirectory(int count, const QString &hostPort)
{
    static const char *const genres[] = {"Rock", "Pop", "Jazz", "Classical", "Electronic", "Folk", "News", "Talk"};
    std::vector<DirectoryEntry> out;
    out.reserve(size_t(qMax(0, count)));
    for (int i = 1; i <= count; ++i) {
        DirectoryEntry e;
        e.serverName = QStringLiteral("Icecast Station %1").arg(i);
        e.genre = QString::fromLatin1(genres[i % 8]);
        e.bitrate = QString::number(32 * (1 + i % 10));
        e.listenUrl = hostPort.isEmpty() ? QStringLiteral("http://127.0.0.1:9/stream%1.mp3").arg(i)
                                         : mediaUrl(hostPort, i % 2 ? QStringLiteral("tone.ogg") : QStringLiteral("tone.mp3"));
        out.push_back(std::move(e));
    }
    return directoryDocument(out);
}

QByteArray ppvDocument(const std::vector<PpvMovie> &movies, const std::vector<PpvRental> &rentals)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("PPVResponse"));
    w.writeStartElement(QStringLiteral("PPV"));
    w.writeStartElement(QStringLiteral("Catalog"));
    for (const PpvMovie &m : movies) {
        w.writeStartElement(QStringLiteral("Entry"));
        w.writeAttribute(QStringLiteral("id"), QString::number(m.id));
        w.writeAttribute(QStringLiteral("adult"), boolText(m.adult));
        w.writeTextElement(QStringLiteral("Name"), m.name);
        w.writeTextElement(QStringLiteral("Bitrate"), QString::number(m.bitrate));
        w.writeTextElement(QStringLiteral("Category"), m.category);
        w.writeTextElement(QStringLiteral("Length"), QString::number(m.length));
        w.writeEndElement();
    }
    w.writeEndElement(); // Catalog
    w.writeStartElement(QStringLiteral("Inventory"));
    for (const PpvRental &r : rentals) {
        w.writeStartElement(QStringLiteral("Purchased"));
        w.writeAttribute(QStringLiteral("videoid"), QString::number(r.videoId));
        w.writeAttribute(QStringLiteral("timeleft"), QString::number(r.timeLeft));
        w.writeEndElement();
    }
    w.writeEndElement(); // Inventory
    w.writeEndElement(); // PPV
    w.writeEndElement(); // root
    w.writeEndDocument();
    return out;
}

std::vector<PpvMovie> demoPpvMovies()
{
    auto movie = [](int id, const char *name, int bitrate, const char *category, int length, bool adult,
                    const char *description, const char *file) {
        PpvMovie m;
        m.id = id;
        m.name = QString::fromUtf8(name);
        m.bitrate = bitrate;
        m.category = QString::fromUtf8(category);
        m.length = length;
        m.adult = adult;
        m.description = QString::fromUtf8(description);
        m.mediaFile = QString::fromLatin1(file);
        return m;
    };
    return {
        movie(501, "The Lighthouse Keeper", 700, "Drama", 5580, false,
              "A keeper on a northern rock waits out the winter storms.", "test.mp4"),
        movie(502, "Fjellets Hemmelighet", 650, "Adventure", 6120, false,
              "Tre venner leter etter en forsvunnet hytte i fjellet. Norsk tale.", "test-red.mp4"),
        movie(503, "Space Freight", 800, "Science Fiction", 7260, false,
              "A cargo pilot finds something that should not be in the hold.", "test-blue.mp4"),
        movie(504, "Laughing Matters", 600, "Comedy", 5400, false,
              "A stand-up comedian loses her voice the night before the big show.", "test.mp4"),
        movie(505, "Midnight Desires", 600, "Adult", 4500, true, "Adults only.", "test-red.mp4"),
        movie(506, "Velvet Nights", 550, "Adult", 3900, true, "Adults only.", "test-blue.mp4"),
        movie(507, "Nature's Year", 720, "Documentary", 3000, false,
              "Twelve months in a Norwegian forest, season by season.", "test.mp4"),
        movie(508, "Ørneredet", 640, "Thriller", 6480, false, "En journalist kommer for nær sannheten.", "test-red.mp4"),
    };
}

QByteArray revisionBody(int revision)
{
    return QByteArray::number(revision) + '\n';
}

QByteArray defaultUpdateBody(qint64 size)
{
    QByteArray body("#!/bin/sh\nexit 0\n#");
    if (size <= body.size())
        return body.left(qsizetype(qMax<qint64>(0, size)));
    const qsizetype padding = qsizetype(size) - body.size() - 1;
    body.append(padding, 'x');
    body.append('\n');
    return body;
}

} // namespace RefService
