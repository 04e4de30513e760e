#pragma once

#include "catalogue/StreamInfo.h"

#include <QHash>
#include <QString>
#include <vector>

// One name index of the catalogue: each category (language, country) text
// with its number. Names count from 1 in the order of first registration.
// Number 0 means "all": the category and language indexes hold an "all"
// entry under that number, which is never handed out for a name, so a real
// category or language never gets 0, also after a flush.
class NameIndex
{
public:
    // allText: text of the "all" entry; a null text gives an index without
    // one (the countries).
    explicit NameIndex(const QString &allText = QString());

    // The number of name, registering it when new.
    int add(const QString &name);
    // The number of name, or -1 when it is not registered.
    int number(const QString &name) const;
    // Forgets every name; the "all" entry stays.
    void clear();
    // The entries in number order, the "all" entry first when there is one.
    std::vector<StreamFilterPtr> entries() const;
    // Registered names, the "all" entry not counted.
    int count() const { return int(m_names.size()); }

private:
    StreamFilterPtr m_all;
    QHash<QString, int> m_numbers;
    std::vector<StreamFilterPtr> m_names;
};

// The three indexes a catalogue load registers its records in.
struct CatalogueIndexes
{
    NameIndex categories;
    NameIndex languages;
    NameIndex countries;
};
