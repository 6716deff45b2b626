// One running copy per settings file: two copies of one file would poll and
// speak twice and overwrite each other's save.
//
// The copy that runs listens on a local socket in the user's runtime
// directory, named after the settings file and the user; a later start that
// reaches it hands its request over and ends. A copy that died leaves at most
// a socket file nobody answers on, which the next start replaces. A lock
// file, held only while a start decides, keeps two starts racing each other
// from both deciding to run; QLockFile takes a lock whose holder has died as
// free.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QObject;

namespace host {

class SingleInstance {
 public:
  // What a later start asks of the running copy.
  enum class Request : char {
    Show = 'S',   // a plain start: bring the window back
    Quiet = 'Q',  // a start at login: change nothing visible
  };
  enum class Outcome {
    Run,         // no copy runs: this one does, and now listens
    HandedOver,  // the running copy took the request
    NoAnswer,    // a copy runs but did not answer in time
  };

  explicit SingleInstance(const QString& settingsFile);
  ~SingleInstance();

  // Decides, within about kAnswerMs.
  Outcome Start(Request request);
  // Calls onRequest, from the event loop, with each later start's request,
  // while context lives.
  void OnRequest(QObject& context, std::function<void(Request)> onRequest);
  // Stops answering later starts, which then run: as this copy begins to end.
  void StopListening();
  // The process that did not answer, when it could be told; else 0.
  qint64 SilentPid() const { return silentPid_; }

  static constexpr int kAnswerMs = 1500;

 private:
  Outcome HandOver(Request request, int waitMs);

  QString path_;  // of the socket; the lock file is beside it
  std::unique_ptr<QLocalServer> server_;
  qint64 silentPid_ = 0;
};

}  // namespace host
