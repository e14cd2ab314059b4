#include "platform/gui/tray.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <map>
#include <memory>
#include <utility>

#include "platform/graphics/icon.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/windows.h"

namespace {

struct TrayEntry {
  std::unique_ptr<QSystemTrayIcon> Icon;
  UINT Callback = 0;
};

std::map<std::pair<HWND, UINT>, TrayEntry>& icons() {
  static std::map<std::pair<HWND, UINT>, TrayEntry> map;
  return map;
}

QString qtText(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

QIcon defaultIcon() {
  QPixmap p(32, 32);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setBrush(QColor(0x20, 0x60, 0xB0));
  g.setPen(Qt::NoPen);
  g.drawRoundedRect(1, 1, 30, 30, 6, 6);
  g.setPen(QPen(Qt::white, 4));
  g.drawLine(8, 9, 24, 9);
  g.drawLine(16, 9, 16, 26);
  return QIcon(p);
}

QIcon toQIcon(const TIcon* icon) {
  if (!icon || icon->Empty()) return defaultIcon();
  TBitmap* b = icon->Bitmap();
  QImage image(b->Width(), b->Height(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < b->Height(); ++y)
    std::memcpy(image.scanLine(y), b->ScanLine(y), size_t(b->Width()) * 4);
  return QIcon(QPixmap::fromImage(image));
}

void apply(QSystemTrayIcon* t, const TNotifyIconData& d) {
  if (d.uFlags & NIF_ICON) t->setIcon(toQIcon(d.hIcon));
  if (d.uFlags & NIF_TIP) t->setToolTip(qtText(d.szTip.substr(0, 127)));
}

void notify(HWND wnd, UINT id, UINT message) {
  auto it = icons().find({wnd, id});
  if (it == icons().end() || !it->second.Callback) return;
  const UINT callback = it->second.Callback;
  SendMessage(wnd, callback, WPARAM(id), LPARAM(message));
}

}  // namespace

bool SystemTrayAvailable() {
  EnsureQtApplication();
  if (IsHeadless()) return false;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool Shell_NotifyIcon(DWORD Message, const TNotifyIconData* Data) {
  if (!Data) return false;
  const auto key = std::make_pair(Data->hWnd, Data->uID);
  auto it = icons().find(key);
  switch (Message) {
    case NIM_ADD: {
      if (it != icons().end() || !SystemTrayAvailable()) return false;
      TrayEntry entry;
      entry.Icon = std::make_unique<QSystemTrayIcon>();
      entry.Callback = (Data->uFlags & NIF_MESSAGE) ? Data->uCallbackMessage : 0;
      QSystemTrayIcon* t = entry.Icon.get();
      apply(t, *Data);
      if (!(Data->uFlags & NIF_ICON)) t->setIcon(defaultIcon());
      const HWND wnd = Data->hWnd;
      const UINT id = Data->uID;
      QObject::connect(t, &QSystemTrayIcon::activated, t, [wnd, id](QSystemTrayIcon::ActivationReason r) {
        switch (r) {
          case QSystemTrayIcon::Trigger:
            notify(wnd, id, WM_LBUTTONDOWN);
            notify(wnd, id, WM_LBUTTONUP);
            break;
          case QSystemTrayIcon::DoubleClick: notify(wnd, id, WM_LBUTTONDBLCLK); break;
          case QSystemTrayIcon::Context:
            notify(wnd, id, WM_RBUTTONDOWN);
            notify(wnd, id, WM_RBUTTONUP);
            break;
          case QSystemTrayIcon::MiddleClick:
            notify(wnd, id, WM_MBUTTONDOWN);
            notify(wnd, id, WM_MBUTTONUP);
            break;
          default: break;
        }
      });
      t->show();
      icons().emplace(key, std::move(entry));
      return true;
    }
    case NIM_MODIFY:
      if (it == icons().end()) return false;
      if (Data->uFlags & NIF_MESSAGE) it->second.Callback = Data->uCallbackMessage;
      apply(it->second.Icon.get(), *Data);
      return true;
    case NIM_DELETE:
      if (it == icons().end()) return false;
      it->second.Icon->hide();
      icons().erase(it);
      return true;
    case NIM_SETVERSION:
      return it != icons().end();
    default:
      return false;
  }
}
