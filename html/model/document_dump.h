#pragma once
// A text dump of a built document: the tree of items with the properties
// that matter for layout (blocks, text with its font runs and links, list
// numbers, tables with their grid), and the document's lists. Tests and
// tools compare dumps.
#include <string>

class ThtDocument;

std::string DumpDocument(ThtDocument& Document);
