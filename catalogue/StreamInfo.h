#pragma once

#include <QString>
#include <memory>
#include <vector>

class StreamsFetcher;

// One stream of the directory: a catalogue channel, an Icecast directory
// entry or a record filled by the stream-suggestion form. Records are shared
// (std::shared_ptr), never copied, between the manager, views, favourites,
// tables and the player; they are filled on the thread that creates them and
// read-only once published.
class StreamInfo
{
public:
    StreamInfo() = default;
    virtual ~StreamInfo() = default;
    StreamInfo(const StreamInfo &) = delete;
    StreamInfo &operator=(const StreamInfo &) = delete;

    virtual void setUrl(const QString &url) { m_url = url; }
    virtual void setType(const QString &type) { m_type = type; }
    virtual void setName(const QString &name);
    virtual void setLive(bool live) { m_live = live; }
    virtual void setLanguage(const QString &language) { m_language = language; }
    virtual void setId(int id) { m_id = id; }
    virtual void setHomepageUrl(const QString &homepage) { m_homepage = homepage; }
    virtual void setFormat(const QString &format) { m_format = format; }
    virtual void setCountry(const QString &country);
    virtual void setCategory(const QString &category);
    virtual void setBitrate(int bitrate) { m_bitrate = bitrate; }
    virtual void setAdult(bool adult) { m_adult = adult; }

    // The catalogue views' filter test: category number, country number,
    // type ("ALL" matches every type), then the query against name,
    // category and country. A null query matches everything.
    virtual bool matchQueryCountry(const QString &type, int categoryId, int countryId, const QString &query) const;
    // Name-only search of the Icecast and pay-per-view views.
    virtual bool matchQuery(const QString &query) const;

    virtual QString getUrl() const { return m_url; }
    virtual QString getType() const { return m_type; }
    virtual int getRating() const { return 0; }
    virtual QString getName() const { return m_name; }
    virtual bool getLive() const { return m_live; }
    virtual int getLanguageId() const { return m_languageId; }
    virtual QString getLanguage() const { return m_language; }
    virtual int getId() const { return m_id; }
    virtual QString getHomepageUrl() const { return m_homepage; }
    virtual QString getFormat() const { return m_format; }
    virtual int getCountryId() const { return m_countryId; }
    virtual QString getCountry() const { return m_country; }
    virtual int getCategoryId() const { return m_categoryId; }
    virtual QString getCategory() const { return m_category; }
    virtual int getBitrate() const { return m_bitrate; }
    virtual bool getAdult() const { return m_adult; }
    bool getTopStream() const { return m_topStream; }

    // Natural order: by name, ignoring case.
    virtual int compareTo(const StreamInfo &other) const;

    // Index numbers and the top-stream mark are written by the catalogue
    // reader only.
    void setIndexIds(int categoryId, int languageId, int countryId)
    {
        m_categoryId = categoryId;
        m_languageId = languageId;
        m_countryId = countryId;
    }
    void setTopStream(bool topStream) { m_topStream = topStream; }

private:
    int m_id = 0;
    QString m_name;
    int m_bitrate = 0;
    QString m_url;
    QString m_category;
    QString m_language;
    QString m_country;
    QString m_type;
    QString m_format;
    QString m_homepage;
    int m_categoryId = 0;
    int m_languageId = 0;
    int m_countryId = 0;
    bool m_live = false;
    bool m_adult = false;
    bool m_topStream = false;
    // Upper-cased search forms, kept so that a search over a large catalogue
    // does not case-convert every record on every keystroke.
    QString m_nameUpper;
    QString m_categoryUpper;
    QString m_countryUpper;
};

// A pay-per-view movie: running time and remaining rental time in seconds.
class PPVStreamInfo : public StreamInfo
{
public:
    PPVStreamInfo() = default;

    // A negative rental time counts as no time left.
    virtual void setTimeLeft(int seconds) { m_timeLeft = seconds < 0 ? 0 : seconds; }
    virtual void setLength(int seconds) { m_length = seconds; }
    virtual QString getZeroTimeLeft() const { return QStringLiteral("Dager: 0--00:00:00"); }
    virtual int getTimeLeftInt() const { return m_timeLeft; }
    // "Dager: D--HH:MM:SS"
    virtual QString getTimeLeft() const;
    // "HH:MM:SS", whole days dropped.
    virtual QString getLength() const;
    int getLengthInt() const { return m_length; }

private:
    int m_length = 0;
    int m_timeLeft = 0;
};

// One entry of a category, language or country selector; number 0 is "all".
class StreamFilter
{
public:
    StreamFilter(int id, const QString &text) : m_id(id), m_text(text) {}
    virtual ~StreamFilter() = default;

    virtual QString getText() const { return m_text; }
    virtual int getId() const { return m_id; }
    // The selector order: number 0 ("all") comes before every other entry,
    // the rest by text ignoring case. An entry that is number 0 answers -1
    // whatever it is compared with, even another number 0, so the order is
    // not antisymmetric there: sort with selectorLess.
    virtual int compareTo(const StreamFilter &other) const;

    // A strict weak ordering giving the same order, safe for std::sort:
    // number 0 first, the rest by text ignoring case.
    static bool selectorLess(const StreamFilter &a, const StreamFilter &b);

private:
    int m_id;
    QString m_text;
};

using StreamInfoPtr = std::shared_ptr<StreamInfo>;
using PPVStreamInfoPtr = std::shared_ptr<PPVStreamInfo>;
using StreamFilterPtr = std::shared_ptr<StreamFilter>;
using StreamList = std::vector<StreamInfoPtr>;

// Sorts selector entries with the selector order (stable: entries that
// compare equal keep their input order).
void sortSelectorEntries(std::vector<StreamFilterPtr> &entries);

// Case-insensitive comparison used across the catalogue (Unicode case
// folding; an unset text compares as the empty text).
int compareIgnoreCase(const QString &a, const QString &b);
