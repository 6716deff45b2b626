// A host whose message boxes are read and dismissed by the test, and whose
// End leaves the test running, with the status kept.
#pragma once

#include "host/host.h"

#include <QStringList>

#include <functional>
#include <optional>

class TestHost : public host::Host {
 public:
  void MsgBox(const QString& prompt) override {
    boxes << prompt;
    if (whileBoxIsOpen) whileBoxIsOpen();
  }
  void End(int exitCode) override { this->exitCode = exitCode; }

  QStringList boxes;
  std::optional<int> exitCode;  // the last End's
  std::function<void()> whileBoxIsOpen;
};
