#include "ClientStrings.h"

#include "Utf8.h"

QString FromClientString(std::string_view text)
{
    const std::u16string units = DecodeUtf8(text);
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

std::string ToClientString(const QString& text)
{
    return EncodeUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}
