#pragma once

#include <QString>

// Escaping of text placed into, and read back from, HTML attribute values.
namespace HtmlText {

// Escapes & " ' < > so that the text stays one attribute value and adds no
// markup.
QString escape(const QString &text);

// Replaces the character references &amp; &quot; &apos; &lt; &gt; &nbsp;,
// &#NNN; and &#xHHH; by their characters. A reference the function does not
// know, or one without its closing semicolon, stays as it is; a numeric
// reference to no valid character becomes U+FFFD.
QString unescape(const QString &text);

} // namespace HtmlText
