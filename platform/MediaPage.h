#pragma once

#include <QList>
#include <QPair>
#include <QString>

// What the embedded browser reads from a page: the first Windows Media
// Player object (by its class id, any case) with its parameters, and how the
// page's script sizes it.
struct MediaObject
{
    static constexpr const char *CLASS_ID = "CLSID:6BF52A52-394A-11d3-B153-00C04F79FAA6";

    QString id;      // the object's id attribute
    QString classId; // as written in the page
    int width = -1;  // width and height attributes, -1 when absent
    int height = -1;
    // The parameters in page order: names as written, values with their
    // character references replaced.
    QList<QPair<QString, QString>> params;

    // The first parameter of this name (any case); a null text when absent.
    QString param(const QString &name) const;
    bool hasParam(const QString &name) const;

    // The player's settings, with the player's defaults for absent or
    // unreadable values.
    QString url() const;         // "url", else "FileName", else "src"
    bool autoStart() const;      // default true
    QString uiMode() const;      // lower case; default "full"
    bool stretchToFit() const;   // default false
    int playCount() const;       // default 1, at least 1
};

struct MediaPage
{
    bool hasPlayer = false;
    MediaObject player;
    // The script sets the player to the page's size less these many pixels
    // (-1: the page does not size it).
    int shrinkWidth = -1;
    int shrinkHeight = -1;
};

// Reads a page. Comments are skipped; attribute values may be double
// quoted, single quoted or bare.
MediaPage parseMediaPage(const QString &html);

// "true", "yes", "1", "-1" -> true; "false", "no", "0" -> false (any case,
// blanks ignored); anything else -> fallback.
bool parseHtmlBoolean(const QString &text, bool fallback);
