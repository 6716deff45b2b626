// A host whose message boxes are read and dismissed by the test, and whose
// End only records that the program would have ended.
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
  void End(int exitCode) override {
    ++ends;
    lastExitCode = exitCode;
  }

  QStringList boxes;
  std::function<void()> whileBoxIsOpen;
  int ends = 0;
  int lastExitCode = -1;
};
