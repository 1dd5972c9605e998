#include "ClientStrings.h"

#include "Utf8.h"

QString FromClientString(std::string_view text)
{
    // No byte gives more than one unit: the text is decoded once, into its string, which gives back
    // what it did not need when the text was not ASCII.
    QString units(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
    const std::size_t written = DecodeUtf8(text, reinterpret_cast<char16_t*>(units.data()));
    if (written != text.size()) {
        units.resize(static_cast<qsizetype>(written));
        units.squeeze();
    }
    return units;
}

std::string ToClientString(const QString& text)
{
    return EncodeUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size())),
        TLoneSurrogate::Replace);
}
