// The drag of a control onto another control of this program. While it
// runs, the mouse and Escape belong to the drag: moves tell the control
// under the mouse (CM_DRAG), a release drops, Escape cancels.
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdlib>
#include <memory>

#include "platform/gui/controls.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/windows.h"

// Lets the drag tell a control that its drag ended.
struct TDragAccess {
  static void EndOf(TControl* source, TObject* target, int x, int y) { source->DoEndDrag(target, x, y); }
};

namespace {

class TDragFilter;

struct TDragSession {
  TControl* Source = nullptr;
  std::weak_ptr<TControlPrivate> SourceRef;
  bool Started = false;
  TPoint StartPos;
  int Threshold = 5;
  std::unique_ptr<TDragControlObject> OwnObject;
  TDragObject* Object = nullptr;
  TControl* Target = nullptr;
  std::weak_ptr<TControlPrivate> TargetRef;
  bool Accepted = false;
  bool CursorSet = false;
  std::unique_ptr<TDragFilter> Filter;
};

std::unique_ptr<TDragSession> gSession;

LRESULT sendDrag(TControl* control, TDragMessage kind, TPoint pos) {
  TDragRec rec;
  rec.Pos = pos;
  rec.Source = gSession->Object;
  rec.Target = control;
  if (gSession->Object) gSession->Object->DragPos = pos;
  return control->Perform(CM_DRAG, WPARAM(kind), LPARAM(&rec));
}

// The control that takes the drag at a screen point.
TControl* findTarget(TPoint pos) {
  HWND wnd = WindowFromPoint(pos);
  TControl* control = wnd ? FindControl(wnd) : nullptr;
  if (!control) return nullptr;
  auto* found = reinterpret_cast<TControl*>(sendDrag(control, dmFindTarget, pos));
  return found ? found : control;
}

void showCursor(bool accepted) {
  QCursor shape = CursorShape(accepted ? crDrag : crNoDrop);
  if (gSession->CursorSet) {
    QApplication::changeOverrideCursor(shape);
  } else {
    QApplication::setOverrideCursor(shape);
    gSession->CursorSet = true;
  }
}

void leaveTarget(TPoint pos) {
  if (gSession->Target && ControlLives(gSession->TargetRef)) {
    sendDrag(gSession->Target, dmDragLeave, pos);
    // The handler's work may have ended the drag (the control dragged went).
    if (!gSession) return;
  }
  gSession->Target = nullptr;
  gSession->TargetRef.reset();
  gSession->Accepted = false;
}

void finish(TControl* target, TPoint pos);

void moveTo(TPoint pos) {
  if (!gSession->Started) {
    if (std::abs(pos.x - gSession->StartPos.x) < gSession->Threshold &&
        std::abs(pos.y - gSession->StartPos.y) < gSession->Threshold)
      return;
    gSession->Started = true;
  }
  TControl* target = findTarget(pos);
  if (!gSession) return;
  if (target != gSession->Target || !ControlLives(gSession->TargetRef)) {
    leaveTarget(pos);
    if (!gSession) return;
    if (target) {
      gSession->Target = target;
      gSession->TargetRef = target->PrivateRef();
      sendDrag(target, dmDragEnter, pos);
      if (!gSession) return;
    }
  }
  if (gSession->Target && ControlLives(gSession->TargetRef)) {
    const bool accepted = sendDrag(gSession->Target, dmDragMove, pos) != 0;
    if (!gSession) return;
    gSession->Accepted = accepted;
  }
  showCursor(gSession->Accepted);
}

void drop(TPoint pos) {
  if (!gSession->Started) {
    finish(nullptr, pos);
    return;
  }
  moveTo(pos);
  if (!gSession) return;
  TControl* target = gSession->Target;
  if (target && ControlLives(gSession->TargetRef) && gSession->Accepted) {
    sendDrag(target, dmDragDrop, pos);
    if (!gSession) return;
    finish(ControlLives(gSession->TargetRef) ? target : nullptr, pos);
    return;
  }
  leaveTarget(pos);
  if (gSession) finish(nullptr, pos);
}

// A handler of the drag's own messages may free the control that started
// the drag: the drag then ends with the next event. The target hears the
// drag leave with no source, since the drag object may name the freed
// control.
bool endOrphanedDrag() {
  if (!gSession || ControlLives(gSession->SourceRef)) return false;
  const TPoint pos = GetMessagePoint();
  gSession->Object = nullptr;
  leaveTarget(pos);
  if (gSession) finish(nullptr, pos);
  return true;
}

class TDragFilter : public QObject {
protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!gSession || endOrphanedDrag()) return QObject::eventFilter(watched, e);
    switch (e->type()) {
      case QEvent::MouseMove: {
        QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        moveTo({g.x(), g.y()});
        return true;
      }
      case QEvent::MouseButtonRelease: {
        QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        drop({g.x(), g.y()});
        return true;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        return true;
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
          const TPoint pos = GetMessagePoint();
          leaveTarget(pos);
          if (gSession) finish(nullptr, pos);
        }
        return true;
      case QEvent::KeyRelease:
        return true;
      default:
        return QObject::eventFilter(watched, e);
    }
  }
};

void finish(TControl* target, TPoint pos) {
  std::unique_ptr<TDragSession> session = std::move(gSession);
  if (session->CursorSet) QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(session->Filter.get());
  // The filter may be running this very call: let it go later.
  session->Filter.release()->deleteLater();
  ::ReleaseCapture();
  if (!ControlLives(session->SourceRef)) return;
  TPoint local = target ? target->ScreenToClient(pos) : pos;
  TDragAccess::EndOf(session->Source, target, local.x, local.y);
}

}  // namespace

void TControl::BeginDrag(bool Immediate, int Threshold) {
  endOrphanedDrag();
  if (gSession) return;
  EnsureQtApplication();
  TDragObject* object = nullptr;
  // The start handler may free the control, or start a drag of its own.
  const std::weak_ptr<TControlPrivate> self = FPrivate;
  DoStartDrag(object);
  if (!ControlLives(self) || gSession) return;
  gSession = std::make_unique<TDragSession>();
  gSession->Source = this;
  gSession->SourceRef = FPrivate;
  gSession->StartPos = GetMessagePoint();
  gSession->Threshold = Threshold >= 0 ? Threshold : GetSystemMetrics(SM_CXDRAG);
  if (!object) {
    gSession->OwnObject = std::make_unique<TDragControlObject>(this);
    object = gSession->OwnObject.get();
  }
  gSession->Object = object;
  gSession->Filter = std::make_unique<TDragFilter>();
  qApp->installEventFilter(gSession->Filter.get());
  if (Immediate) {
    gSession->Started = true;
    moveTo(gSession->StartPos);
  }
}

void TControl::EndDrag(bool Drop) {
  if (endOrphanedDrag() || !gSession || gSession->Source != this) return;
  const TPoint pos = GetMessagePoint();
  if (Drop) {
    drop(pos);
    return;
  }
  leaveTarget(pos);
  if (gSession) finish(nullptr, pos);
}

bool TControl::Dragging() const { return gSession && gSession->Source == this && ControlLives(gSession->SourceRef); }

void TControl::DoStartDrag(TDragObject*& DragObject) {
  if (OnStartDrag) OnStartDrag(this, DragObject);
}

void TControl::DoEndDrag(TObject* Target, int X, int Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

void TControl::DefaultDragMessage(TMessage& Message) {
  auto* rec = reinterpret_cast<TDragRec*>(Message.LParam);
  if (!rec) return;
  // The handlers see the dragged control itself, not what carries it.
  TObject* source = rec->Source;
  if (auto* carrier = dynamic_cast<TDragControlObject*>(rec->Source)) source = carrier->Control();
  TPoint local = ScreenToClient(rec->Pos);
  switch (TDragMessage(Message.WParam)) {
    case dmDragEnter:
    case dmDragLeave:
    case dmDragMove: {
      bool accept = false;
      DragOver(source, local.x, local.y, TDragState(Message.WParam), accept);
      Message.Result = accept ? 1 : 0;
      return;
    }
    case dmDragDrop:
      DragDrop(source, local.x, local.y);
      return;
    case dmFindTarget:
      Message.Result = LRESULT(this);
      return;
    case dmDragCancel:
      return;
  }
}
