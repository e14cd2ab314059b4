#pragma once
// Shared pieces of the GUI tests: a control that records its messages, a
// form fixture, and pumping with a deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/gui/forms.h"
#include "platform/gui/testing.h"
#include "platform/gui/windows.h"

namespace guitest {

class Recorder : public TCustomControl {
public:
  explicit Recorder(TComponent* owner) : TCustomControl(owner) {}
  std::vector<TMessage> Seen;
  std::vector<UINT> Watch;
  std::function<void(TMessage&)> OnMessage;
  int Paints = 0;

  void Record(std::vector<UINT> which) {
    Watch = std::move(which);
    Seen.clear();
  }
  void Dispatch(TMessage& m) override {
    if (Watch.empty() || std::find(Watch.begin(), Watch.end(), m.Msg) != Watch.end()) Seen.push_back(m);
    if (OnMessage) OnMessage(m);
    TCustomControl::Dispatch(m);
  }
  void Paint() override { ++Paints; }
  std::vector<TMessage> Of(UINT msg) const {
    std::vector<TMessage> r;
    for (const TMessage& m : Seen)
      if (m.Msg == msg) r.push_back(m);
    return r;
  }
  std::vector<UINT> Messages() const {
    std::vector<UINT> r;
    for (const TMessage& m : Seen) r.push_back(m.Msg);
    return r;
  }
};

template <class Pred>
bool pumpUntil(Pred pred, int ms = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Application->HandleMessage();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline void pump(int times = 3) {
  for (int i = 0; i < times; ++i) Application->HandleMessage();
}

struct FormFixture : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    Form = new TForm(nullptr);
    Form->SetBounds(10, 10, 400, 300);
    Ctl = new Recorder(Form);
    Ctl->SetParent(Form);
    Ctl->SetBounds(20, 30, 200, 100);
    Form->Show();
    pump();
  }
  void TearDown() override {
    ReleaseCapture();
    delete Form;
  }
  TForm* Form = nullptr;
  Recorder* Ctl = nullptr;
};

// Whether a component that may have been freed still lives.
using TLife = std::shared_ptr<bool>;
inline bool lives(const TLife& Life) { return Life && *Life; }

// A component that says whether it still lives once it may have been freed.
template <class Base>
class Watched : public Base {
public:
  using Base::Base;
  ~Watched() override { *Alive = false; }
  const TLife Alive = std::make_shared<bool>(true);
};

// A control that tells of each message once its own handling is done.
template <class Base>
class Told : public Watched<Base> {
public:
  using Watched<Base>::Watched;
  std::function<void(TMessage&)> After;
  void Dispatch(TMessage& m) override {
    const TLife self = this->Alive;
    Watched<Base>::Dispatch(m);
    if (!lives(self) || !After) return;
    const auto after = After;  // it may free this control, and After with it
    after(m);
  }
};

}  // namespace guitest
