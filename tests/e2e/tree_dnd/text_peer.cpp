// Another program for the drag-and-drop end-to-end tests: a plain Qt text
// field (not built on this program's code) that takes dropped text and
// lets its selected text be dragged away. It writes its text, where it
// sits, its window's place on the screen, what is selected, whether it has
// the keyboard, the mouse buttons it has seen held, whether it drags, and
// where a drag over it was last, to a file every few milliseconds.
//
//   tamrix-text-peer STATEFILE LEFT TOP TEXT
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 5) return 2;
  const QString stateFile = QString::fromLocal8Bit(argv[1]);
  // A drag starts when the mouse moves away with the button held, as the
  // tests drive it, never on a timer while the press waits on a busy
  // machine.
  QApplication::setStartDragTime(1000000);
  QLineEdit edit;
  edit.setDragEnabled(true);
  edit.setText(QString::fromUtf8(argv[4]));
  edit.setGeometry(QString(argv[2]).toInt(), QString(argv[3]).toInt(), 300, 30);
  edit.setWindowFlag(Qt::FramelessWindowHint);
  edit.show();
  QPoint over(-1, -1);
  struct Watch : QObject {
    QPoint* Over;
    explicit Watch(QPoint* o) : Over(o) {}
    bool eventFilter(QObject* o, QEvent* e) override {
      if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove)
        *Over = static_cast<QWidget*>(o)->mapToGlobal(static_cast<QDropEvent*>(e)->position().toPoint());
      return false;
    }
  } watch(&over);
  edit.installEventFilter(&watch);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QFile f(stateFile + ".tmp");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    const QPoint centre = edit.mapToGlobal(edit.rect().center());
    // The line edit's drag is a child of it while it runs.
    f.write(("text " + edit.text() + "\nat " + QString::number(centre.x()) + " " + QString::number(centre.y()) +
             "\nwindow " + QString::number(edit.x()) + " " + QString::number(edit.y()) + " " +
             QString::number(edit.width()) + " " + QString::number(edit.height()) + "\nselected " +
             edit.selectedText() + "\nactive " + QString::number(edit.hasFocus() ? 1 : 0) +
             "\nbuttons " + QString::number(int(QGuiApplication::mouseButtons())) + "\ndragging " +
             QString::number(edit.findChild<QDrag*>() ? 1 : 0) + "\nover " + QString::number(over.x()) + " " +
             QString::number(over.y()) + "\nend\n").toUtf8());
    f.close();
    QFile::remove(stateFile);
    QFile::rename(stateFile + ".tmp", stateFile);
  });
  timer.start(40);
  return app.exec();
}
