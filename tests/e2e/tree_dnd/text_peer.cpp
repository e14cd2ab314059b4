// Another program for the drag-and-drop end-to-end tests: a plain Qt text
// field (not built on this program's code) that takes dropped text and
// lets its selected text be dragged away. It writes its text and where it
// sits to a file every few milliseconds.
//
//   tamrix-text-peer STATEFILE LEFT TOP TEXT
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 5) return 2;
  const QString stateFile = QString::fromLocal8Bit(argv[1]);
  QLineEdit edit;
  edit.setDragEnabled(true);
  edit.setText(QString::fromUtf8(argv[4]));
  edit.setGeometry(QString(argv[2]).toInt(), QString(argv[3]).toInt(), 300, 30);
  edit.setWindowFlag(Qt::FramelessWindowHint);
  edit.show();
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QFile f(stateFile + ".tmp");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    const QPoint centre = edit.mapToGlobal(edit.rect().center());
    f.write(("text " + edit.text() + "\nat " + QString::number(centre.x()) + " " + QString::number(centre.y()) +
             "\nend\n").toUtf8());
    f.close();
    QFile::remove(stateFile);
    QFile::rename(stateFile + ".tmp", stateFile);
  });
  timer.start(40);
  return app.exec();
}
