#include "catalogue/NameIndex.h"

#include <memory>

NameIndex::NameIndex(const QString &allText)
{
    if (!allText.isNull())
        m_all = std::make_shared<StreamFilter>(0, allText);
}

int NameIndex::add(const QString &name)
{
    const auto found = m_numbers.constFind(name);
    if (found != m_numbers.constEnd())
        return found.value();
    const int number = int(m_names.size()) + 1;
    m_numbers.insert(name, number);
    m_names.push_back(std::make_shared<StreamFilter>(number, name));
    return number;
}

int NameIndex::number(const QString &name) const
{
    return m_numbers.value(name, -1);
}

void NameIndex::clear()
{
    m_numbers.clear();
    m_names.clear();
}

std::vector<StreamFilterPtr> NameIndex::entries() const
{
    std::vector<StreamFilterPtr> result;
    result.reserve(m_names.size() + 1);
    if (m_all)
        result.push_back(m_all);
    result.insert(result.end(), m_names.begin(), m_names.end());
    return result;
}
