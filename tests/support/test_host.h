// A host whose message boxes are read and dismissed by the test, and whose
// End leaves the test running.
#pragma once

#include "host/host.h"

#include <QStringList>

#include <functional>

class TestHost : public host::Host {
 public:
  void MsgBox(const QString& prompt) override {
    boxes << prompt;
    if (whileBoxIsOpen) whileBoxIsOpen();
  }
  void End(int) override {}

  QStringList boxes;
  std::function<void()> whileBoxIsOpen;
};
