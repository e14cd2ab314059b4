// Character classes by the Unicode tables.
#include <QChar>

#include "platform/core/strings.h"

bool IsCharAlphaNumeric(char16_t c) { return QChar(c).isLetterOrNumber(); }
