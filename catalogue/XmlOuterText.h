#pragma once

#include <QByteArray>

// The XML parser silently drops text outside the root element and stops at
// a NUL byte, so such documents would pass for well-formed. This finds them
// in 8-bit text (after a UTF-8 byte order mark); UTF-16 and UTF-32 text is
// left to the parser.
enum class OuterTextProblem {
    None,
    NulCharacter, // a NUL byte anywhere in the document
    TextOutsideRoot, // beside blanks, the first or last character is not markup
};

OuterTextProblem findOuterTextProblem(const QByteArray &body);
