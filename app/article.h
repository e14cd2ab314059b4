#pragma once
// Article pages: the dictionaries' numbered markup turned into HTML, the
// page around an article, the about page of a dictionary, the colours in
// HTML form and the help style sheet.
#include <vector>

#include "app/app_state.h"
#include "platform/core/types.h"

// Text made safe inside HTML text and double-quoted attribute values.
String EscapeHtml(const String& Text);

// "#RRGGBB" of a colour (system colours resolved first).
String ColorToHtml(TColor Color);

// Converts the markup of an article of dictionary DictIndex into HTML,
// highlighting the additional words in the shown text only: each match is
// marked as the article spells it.
String ConvertArticleMarkup(const String& Text, int DictIndex, const std::vector<String>& AdditionalWords);

// The whole page around a body: the heading (escaped) and the body in the
// user's colours and font.
String BuildPage(const String& Caption, const String& Body, TColor BgColor, TColor TextColor,
                 const String& FontName, int FontSize);

// The about page body of a dictionary from the template's lines.
String BuildAboutBody(const std::vector<String>& TemplateLines, const DictRecordType& Record);

// Lines of a UTF-8 text file (at most MaxLines). Raises EInOutError, naming
// the file, when it cannot be opened.
std::vector<String> ReadTemplateLines(const String& FileName, size_t MaxLines = size_t(-1));

// Text as one double-quoted CSS string.
String CssString(const String& Text);

// Copies the help style sheet template to its target, filling the colour,
// font size and font name placeholders (the first of each per line; the
// name as a CSS string), and
// writes it through WriteFileReplacing. Raises EInOutError, naming the
// file, when one cannot be read or written.
void WriteHelpStyleSheet(const String& TemplateFile, const String& TargetFile, TColor BgColor,
                         TColor TextColor, int FontSize, const String& FontName);
