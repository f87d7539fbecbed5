#include "Document.h"

namespace plotrun {

Document withEditsOf(const Document& now, const Document& step)
{
    Document d = step;
    d.picture = now.picture;
    d.hasResult = now.hasResult;
    return d;
}

void DocumentOwner::set(const Document& document)
{
    if (document == value_)
        return;
    value_ = document;
    emit changed();
}

} // namespace plotrun
