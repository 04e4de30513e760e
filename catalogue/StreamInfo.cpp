#include "catalogue/StreamInfo.h"

#include <algorithm>

int compareIgnoreCase(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive);
}

void StreamInfo::setName(const QString &name)
{
    m_name = name;
    m_nameUpper = name.toUpper();
}

void StreamInfo::setCountry(const QString &country)
{
    m_country = country;
    m_countryUpper = country.toUpper();
}

void StreamInfo::setCategory(const QString &category)
{
    m_category = category;
    m_categoryUpper = category.toUpper();
}

bool StreamInfo::matchQueryCountry(const QString &type, int categoryId, int countryId, const QString &query) const
{
    if (categoryId != 0 && categoryId != m_categoryId)
        return false;
    if (countryId != 0 && countryId != m_countryId)
        return false;
    const bool typeMatches = (!m_type.isNull() && !type.isNull() && compareIgnoreCase(type, m_type) == 0)
        || type == QLatin1String("ALL");
    if (!typeMatches)
        return false;
    if (query.isNull())
        return true;
    const QString q = query.toUpper();
    return m_nameUpper.contains(q) || m_categoryUpper.contains(q) || m_countryUpper.contains(q);
}

bool StreamInfo::matchQuery(const QString &query) const
{
    if (query.isNull())
        return true;
    return m_nameUpper.contains(query.toUpper());
}

int StreamInfo::compareTo(const StreamInfo &other) const
{
    return compareIgnoreCase(m_name, other.m_name);
}

namespace {
QString twoDigits(int n)
{
    return n < 10 ? QStringLiteral("0") + QString::number(n) : QString::number(n);
}

QString clock(int s)
{
    const int h = (s % 86400) / 3600;
    const int m = (s % 3600) / 60;
    const int c = s % 60;
    return twoDigits(h) + QLatin1Char(':') + twoDigits(m) + QLatin1Char(':') + twoDigits(c);
}
} // namespace

QString PPVStreamInfo::getTimeLeft() const
{
    return QStringLiteral("Dager: ") + QString::number(m_timeLeft / 86400) + QStringLiteral("--") + clock(m_timeLeft);
}

QString PPVStreamInfo::getLength() const
{
    return clock(m_length);
}

int StreamFilter::compareTo(const StreamFilter &other) const
{
    if (m_id == 0)
        return -1;
    if (other.getId() == 0)
        return 1;
    return compareIgnoreCase(m_text, other.getText());
}

bool StreamFilter::selectorLess(const StreamFilter &a, const StreamFilter &b)
{
    if (a.getId() == 0)
        return b.getId() != 0;
    if (b.getId() == 0)
        return false;
    return compareIgnoreCase(a.getText(), b.getText()) < 0;
}

void sortSelectorEntries(std::vector<StreamFilterPtr> &entries)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const StreamFilterPtr &a, const StreamFilterPtr &b) { return StreamFilter::selectorLess(*a, *b); });
}
