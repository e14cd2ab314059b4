#pragma once
// A text dump of what a viewer shows: its size, scroll range and document
// height, then every laid-out item with its position (blocks with their
// content boxes, text sections line by line with the characters of each
// line, tables cell by cell). Tests and the render tool compare dumps.
#include <string>

class THtmlView;

std::string DumpViewerLayout(THtmlView& View);
