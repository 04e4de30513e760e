// What the tests of the program's close share: the settings and the cached
// catalogue an earlier run left in the working directory, and plain file
// reading and writing.
#pragma once

#include "service/ReferenceService.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

namespace closetest {

// Full mode, account key KEY-4711, cache revision 7, one favourite (stream 11).
inline const char SETTINGS[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Settings><Options><Serial>KEY-4711</Serial><UpdateEnabled>false</UpdateEnabled><Mode>true</Mode>"
    "<UserWizardEnabled>false</UserWizardEnabled><CacheRevision>7</CacheRevision><Password>101</Password>"
    "<Language>en</Language></Options><Favorites><Entry index=\"0\" format=\"WMP\"><StreamId>11</StreamId>"
    "<Name>Bravo News</Name><Adult>false</Adult></Entry></Favorites></Settings>\n";

// A catalogue of streams 11 to 40, each with this bit rate.
inline QByteArray catalogue(int bitrate)
{
    std::vector<RefService::CatalogueEntry> entries;
    for (int id = 11; id <= 40; ++id) {
        RefService::CatalogueEntry e;
        e.id = id;
        e.name = QStringLiteral("Stream %1").arg(id);
        e.language = QStringLiteral("English");
        e.country = QStringLiteral("Norway");
        e.category = QStringLiteral("News");
        e.bitrate = bitrate;
        e.url = QStringLiteral("http://127.0.0.1:9/media/test.mp4");
        entries.push_back(e);
    }
    return RefService::catalogueDocument(entries);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace closetest
