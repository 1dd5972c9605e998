// The one conversion between the GUI's strings and the client layer's UTF-8 strings.
#pragma once

#include <string>
#include <string_view>

#include <QString>

// Decodes UTF-8 from the client layer; each ill-formed sequence becomes one U+FFFD, by the rule the
// client layer measures column widths with.
QString FromClientString(std::string_view text);
// Encodes text for the client layer as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToClientString(const QString& text);
