#pragma once
// The demo dictionary: a few dozen articles that show pictures of every
// supported format, a sound, cross-references, text for additional-word
// searches and every tag of the article markup.
#include <string>

namespace dictbuilder {

void BuildDemoDictionary(const std::string& path);

}  // namespace dictbuilder
