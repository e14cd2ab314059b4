#pragma once
// TObject: the common root of the program's classes that are handed around
// by base pointer (event senders, owned components, stream objects).
#include <functional>

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// The plain event: "something happened to Sender".
using TNotifyEvent = std::function<void(TObject* Sender)>;
