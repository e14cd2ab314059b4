// Message pumping costs. The search and completion loops call
// ProcessMessages once per result row, so an idle call must cost next to
// nothing; a posted message must still arrive at once.
#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/gui/forms.h"
#include "platform/gui/windows.h"

namespace {

double nsPer(std::chrono::steady_clock::duration d, long n) {
  return double(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / double(n);
}

template <class F>
double timeIt(long n, F f) {
  auto t0 = std::chrono::steady_clock::now();
  for (long i = 0; i < n; ++i) f();
  return nsPer(std::chrono::steady_clock::now() - t0, n);
}

// The peer's posted event: a plain Qt event to a plain object.
class Sink : public QObject {
public:
  long Count = 0;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) {
      ++Count;
      return true;
    }
    return QObject::event(e);
  }
};

}  // namespace

int main(int argc, char** argv) {
  long millions = argc > 1 ? std::atol(argv[1]) : 10;
  if (millions <= 0) millions = 10;
  Application->Initialize();
  TForm form(nullptr);
  form.Show();
  Application->HandleMessage();

  // Idle pumping.
  const long idleCalls = millions * 1000000;
  double ours = timeIt(idleCalls, [] { Application->ProcessMessages(); });
  const long qtCalls = 200000;
  double qt = timeIt(qtCalls, [] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  std::printf("idle ProcessMessages:        %8.1f ns/call (%ld calls)\n", ours, idleCalls);
  std::printf("idle Qt processEvents:       %8.1f ns/call (%ld calls)\n", qt, qtCalls);
  std::printf("ratio Qt / ours:             %8.1f x\n", qt / ours);

  // Posted message round trip: post, then pump until it has been handled.
  long delivered = 0;
  HWND wnd = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER) ++delivered;
  });
  const long trips = 200000;
  double post = timeIt(trips, [&] {
    long before = delivered;
    PostMessage(wnd, WM_USER, 0, 0);
    while (delivered == before) Application->ProcessMessages();
  });
  Sink sink;
  double qtPost = timeIt(trips, [&] {
    long before = sink.Count;
    QCoreApplication::postEvent(&sink, new QEvent(QEvent::User));
    while (sink.Count == before) QCoreApplication::processEvents(QEventLoop::AllEvents);
  });
  // Events that are not posted messages (input, timers) wait for the next
  // real pump: measure how long, while a loop calls ProcessMessages per row.
  double worstUs = 0, totalUs = 0;
  const int samples = 200;
  for (int i = 0; i < samples; ++i) {
    bool ran = false;
    auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point at;
    QTimer::singleShot(0, [&] {
      ran = true;
      at = std::chrono::steady_clock::now();
    });
    while (!ran) Application->ProcessMessages();
    double us = std::chrono::duration<double, std::micro>(at - start).count();
    worstUs = std::max(worstUs, us);
    totalUs += us;
  }
  DeallocateHWnd(wnd);
  std::printf("posted message round trip:   %8.1f ns/message (%ld messages)\n", post, trips);
  std::printf("Qt posted event round trip:  %8.1f ns/event\n", qtPost);
  std::printf("ratio ours / Qt:             %8.2f x\n", post / qtPost);
  std::printf("other event delay in a pumping loop: %.0f us average, %.0f us worst (%d events)\n",
              totalUs / samples, worstUs, samples);
  return 0;
}
