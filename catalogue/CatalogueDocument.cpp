#include "catalogue/CatalogueDocument.h"

#include "catalogue/XmlEncoding.h"
#include "catalogue/XmlOuterText.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Refuses a document with text outside its root element or a NUL byte.
void checkNoOuterText(const QByteArray &body)
{
    switch (findOuterTextProblem(body)) {
    case OuterTextProblem::None: return;
    case OuterTextProblem::NulCharacter: throw std::runtime_error("A NUL character in the document");
    case OuterTextProblem::TextOutsideRoot: throw std::runtime_error("Text outside the root element");
    }
}

} // namespace

std::shared_ptr<CatalogueDocument> CatalogueDocument::parse(QByteArray body, bool inPlace)
{
    checkNoOuterText(body);
    // A document in an encoding the parser does not decode itself is parsed
    // from its UTF-8 form, which is ours to parse in place.
    pugi::xml_encoding encoding = pugi::encoding_auto;
    if (std::optional<QByteArray> converted = utf8FromDeclaredEncoding(body)) {
        body = std::move(*converted);
        inPlace = true;
        encoding = pugi::encoding_utf8;
    }
    auto document = std::make_shared<CatalogueDocument>();
    pugi::xml_parse_result result;
    if (inPlace) {
        document->buffer = std::move(body);
        document->buffer.detach();
        result = document->doc.load_buffer_inplace(document->buffer.data(), size_t(document->buffer.size()),
                                                    pugi::parse_default, encoding);
    } else {
        result = document->doc.load_buffer(body.constData(), size_t(body.size()), pugi::parse_default, encoding);
    }
    if (!result)
        throw std::runtime_error(std::string(result.description()) + " at offset " + std::to_string(result.offset));
    // The parser accepts fragments; a document has exactly one root element
    // and no text beside it.
    int elements = 0;
    for (pugi::xml_node child = document->doc.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
        case pugi::node_element:
            ++elements;
            document->root = child;
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            for (const char *p = child.value(); *p; ++p)
                if (uchar(*p) > ' ')
                    throw std::runtime_error("Text outside the root element");
            break;
        default:
            break;
        }
    }
    if (elements != 1)
        throw std::runtime_error(elements == 0 ? "No root element" : "More than one root element");
    document->streams = document->root.child("Streams");
    return document;
}
