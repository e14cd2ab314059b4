// Screen readers ask the toolkit's accessibility for a window's object. For
// a window of ours the window itself is asked first (WM_GETOBJECT); an
// object it hands out answers through an adapter, and a window that answers
// 0 is described by the toolkit's default for its widget.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>

#include <map>
#include <mutex>

#include "platform/gui/accessibility.h"
#include "platform/gui/controls.h"
#include "platform/gui/gui_private.h"
#include "platform/gui/windows.h"

namespace {

// Objects handed out by LresultFromObject until the asker takes them.
std::map<LRESULT, PAccessible>& handedOut() {
  static std::map<LRESULT, PAccessible> objects;
  return objects;
}
LRESULT gNextToken = 1;

PAccessible takeHandedOut(LRESULT token) {
  auto& objects = handedOut();
  auto it = objects.find(token);
  if (it == objects.end()) return nullptr;
  PAccessible object = std::move(it->second);
  objects.erase(it);
  return object;
}

QString qs(const String& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

QAccessible::Role qtRole(TAccessibleRole role) {
  switch (role) {
    case arOutline: return QAccessible::Tree;
    case arOutlineItem: return QAccessible::TreeItem;
    case arList: return QAccessible::List;
    case arListItem: return QAccessible::ListItem;
    case arText: return QAccessible::StaticText;
    default: return QAccessible::Client;
  }
}

// One of our accessible objects as the toolkit's.
class TAccessibleAdapter : public QAccessibleInterface {
public:
  TAccessibleAdapter(PAccessible object, QWidget* widget, QAccessibleInterface* parent)
      : FObject(std::move(object)), FWidget(widget), FParent(parent) {}

  bool isValid() const override { return FObject && (!FWidget.isNull() || FParent); }
  QObject* object() const override { return FParent ? nullptr : FWidget.data(); }
  QWindow* window() const override {
    return FWidget ? FWidget->window()->windowHandle() : (FParent ? FParent->window() : nullptr);
  }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    if (FParent) return FParent;
    return FWidget && FWidget->parentWidget() ? QAccessible::queryAccessibleInterface(FWidget->parentWidget())
                                              : nullptr;
  }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = FChildren.find(index);
    if (it != FChildren.end()) return QAccessible::accessibleInterface(it->second);
    PAccessible c = FObject->Child(index);
    if (!c) return nullptr;
    auto* iface = new TAccessibleAdapter(c, nullptr, const_cast<TAccessibleAdapter*>(this));
    FChildren[index] = QAccessible::registerAccessibleInterface(iface);
    return iface;
  }
  int childCount() const override { return FObject ? FObject->ChildCount() : 0; }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (auto& [index, id] : FChildren)
      if (QAccessible::accessibleInterface(id) == child) return index;
    return -1;
  }
  QString text(QAccessible::Text t) const override {
    if (!FObject) return {};
    switch (t) {
      case QAccessible::Name: return qs(FObject->Name());
      case QAccessible::Value: return qs(FObject->Value());
      case QAccessible::Description: return qs(FObject->Description());
      default: return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!FObject) return {};
    TRect r = FObject->Location();
    return {r.Left, r.Top, r.Width(), r.Height()};
  }
  QAccessible::Role role() const override { return FObject ? qtRole(FObject->Role()) : QAccessible::NoRole; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!FObject) return s;
    const TAccessibleStates st = FObject->States();
    s.focusable = st.Contains(asFocusable);
    s.focused = st.Contains(asFocused);
    s.selectable = st.Contains(asSelectable);
    s.selected = st.Contains(asSelected);
    s.expandable = st.Contains(asExpandable);
    s.expanded = st.Contains(asExpanded);
    s.collapsed = st.Contains(asCollapsed);
    s.checkable = st.Contains(asCheckable);
    s.checked = st.Contains(asChecked);
    s.invisible = st.Contains(asInvisible);
    s.disabled = st.Contains(asUnavailable);
    return s;
  }
  ~TAccessibleAdapter() override {
    for (auto& [index, id] : FChildren) QAccessible::deleteAccessibleInterface(id);
  }

private:
  PAccessible FObject;
  QPointer<QWidget> FWidget;
  QAccessibleInterface* FParent;
  mutable std::map<int, QAccessible::Id> FChildren;
};

// The toolkit asks for an object's accessible interface: a window of ours
// is asked first; nullptr leaves the toolkit's own default.
QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) return nullptr;
  TControl* control = OwningControl(widget);
  auto* wc = dynamic_cast<TWinControl*>(control);
  if (!wc || !wc->HandleAllocated() || wc->Private()->Widget.data() != widget) return nullptr;
  LRESULT token = SendMessage(wc->Handle(), WM_GETOBJECT, 0, OBJID_CLIENT);
  PAccessible answer = token ? takeHandedOut(token) : nullptr;
  if (!answer) return nullptr;
  return new TAccessibleAdapter(std::move(answer), widget, nullptr);
}

}  // namespace

LRESULT LresultFromObject(const PAccessible& Object) {
  if (!Object) return 0;
  LRESULT token = gNextToken++;
  handedOut()[token] = Object;
  return token;
}

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(accessibleFactory);
}

bool QueryAccessible(TWinControl* Control, String& Name, int& ChildCount) {
  if (!Control || !Control->HandleAllocated()) return false;
  QWidget* w = Control->Private()->Widget.data();
  if (!w) return false;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
  if (!iface) return false;
  QString n = iface->text(QAccessible::Name);
  Name = String(reinterpret_cast<const char16_t*>(n.utf16()), size_t(n.size()));
  ChildCount = iface->childCount();
  return true;
}
