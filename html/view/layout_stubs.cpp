// Placeholder bodies of the layout, drawing and position-query methods of
// the document model. The layout code replaces this file with its own.
#include "html/view/block.h"
#include "html/view/document.h"
#include "html/view/rule_page.h"
#include "html/view/section.h"
#include "html/view/table.h"

// Blocks.

// Rules and page breaks.

// Tables.
// Panels.
void TPanelObj::Draw(TCanvas*, int, int) {}
