#pragma once
// Helpers shared by the stock controls' source files (not part of the
// layer's interface).
#include <QString>
#include <QPointer>

#include "platform/gui/gui_private.h"
#include "platform/gui/stdctrls.h"

namespace stdctrls_detail {

inline QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
inline String ss(const QString& s) {
  return String(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

template <class W>
W* widgetAs(const TControl* c) {
  return c->Private() ? qobject_cast<W*>(c->Private()->Widget.data()) : nullptr;
}

// Click events come from the widget's own signal, not from mouse messages.
inline TControlStyle withoutClicks(TControlStyle s) {
  s.Exclude(csClickEvents);
  return s;
}

}  // namespace stdctrls_detail
