#pragma once
// A text dump of a laid-out document: boxes with their positions and sizes,
// text lines with their characters and places, floats, list markers, and
// tables with their column widths and row heights. Layout tests compare it.
#include <string>

class ThtDocument;

std::string DumpLayout(ThtDocument& Document);
