#include "catalogue/XmlOuterText.h"

#include <cstring>

OuterTextProblem findOuterTextProblem(const QByteArray &body)
{
    const char *begin = body.constData();
    const char *end = begin + body.size();
    if (end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
        begin += 3;
    if (end - begin >= 2 && (begin[0] == 0 || begin[1] == 0 || uchar(begin[0]) >= 0xFE))
        return OuterTextProblem::None;
    // XML has no NUL character; the parser would take one for the end of
    // the text and could accept a document cut short by it.
    if (std::memchr(begin, 0, size_t(end - begin)))
        return OuterTextProblem::NulCharacter;
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (begin < end && space(*begin))
        ++begin;
    while (end > begin && space(end[-1]))
        --end;
    if (begin < end && (*begin != '<' || end[-1] != '>'))
        return OuterTextProblem::TextOutsideRoot;
    return OuterTextProblem::None;
}
