#include "speech/speech.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <libspeechd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace modSpeech {
namespace {

using namespace std::chrono_literals;

// A speech server started on demand at a busy login takes a while to
// answer; one that has not within this time is taken for none.
constexpr auto kConnectWait = 5s;
// At the end, how long the texts already handed over may take to reach a
// server that answers; one that does not is not waited for.
constexpr auto kReleaseWait = 500ms;

// libspeechd's calls wait for the server's answer: they run on a thread of
// their own, so a slow or stuck server never holds up the window. The
// thread is detached from the start and shares this with the module: an
// end that runs the program's exit handlers (Qt's own exit() when the
// display is lost) must find no joinable thread, and a thread stuck in the
// library must find its state alive.
struct Speaker {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<QByteArray> texts;
  bool stopping = false;
  bool finished = false;
  std::condition_variable done;
  // Set by the speaking thread once its first connect has ended.
  bool attempted = false;
  QString whyNot;
  SPDConnection* connection = nullptr;  // used by the speaking thread only, once it runs
  std::function<void(const QString&)> onFailure;
  std::function<void()> onAttempted;  // the event loop's thread only
};

std::shared_ptr<Speaker> Voice;

// Opens a connection; sets the reason when it cannot.
SPDConnection* Connect(QString& why) {
  char* error = nullptr;
  SPDConnection* connection =
      spd_open2("tallowin", "main", nullptr, SPD_MODE_SINGLE, nullptr, 1 /*autospawn*/, &error);
  if (!connection) {
    why = QStringLiteral("Error: No speech server could be reached");
    if (error) why += QStringLiteral("\n") + QString::fromLocal8Bit(error);
  }
  std::free(error);
  return connection;
}

// Hands one text to the server, connecting once more if it has gone away:
// the library never reconnects by itself. The reason when it cannot.
std::optional<QString> Speak(Speaker& speaker, const QByteArray& text) {
  if (speaker.connection && spd_say(speaker.connection, SPD_MESSAGE, text.constData()) >= 0)
    return std::nullopt;
  if (speaker.connection) spd_close(speaker.connection);
  QString why;
  speaker.connection = Connect(why);
  if (!speaker.connection) return why;
  if (spd_say(speaker.connection, SPD_MESSAGE, text.constData()) < 0)
    return QStringLiteral("Error: The speech server did not take the announcement");
  return std::nullopt;
}

// The library's connect waits for the server without a bound, so it runs
// here, and InitVoice waits for it in the event loop, where a termination
// signal still ends the program.
void SpeakQueued(std::shared_ptr<Speaker> speaker) {
  QString why;
  SPDConnection* connection = Connect(why);
  std::unique_lock lock(speaker->mutex);
  speaker->attempted = true;
  speaker->whyNot = why;
  if (speaker->stopping) {
    // Given up on: nobody will use or release the connection.
    if (connection) spd_close(connection);
    return;
  }
  speaker->connection = connection;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [speaker] {
        if (speaker->onAttempted) speaker->onAttempted();
      },
      Qt::QueuedConnection);
  if (!connection) return;
  for (;;) {
    speaker->wake.wait(lock, [&] { return speaker->stopping || !speaker->texts.empty(); });
    if (speaker->texts.empty()) break;  // stopping, and all handed over
    const QByteArray text = speaker->texts.front();
    speaker->texts.pop_front();
    lock.unlock();
    if (const auto why = Speak(*speaker, text)) {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [onFailure = speaker->onFailure, why = *why] { onFailure(why); }, Qt::QueuedConnection);
    }
    lock.lock();
  }
  speaker->finished = true;
  speaker->done.notify_all();
}

}  // namespace

std::optional<QString> InitVoice(std::function<void(const QString& why)> onFailure) {
  // The library writes to its socket with plain write(): a server that has
  // gone away would otherwise kill the program with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  auto speaker = std::make_shared<Speaker>();
  speaker->onFailure = std::move(onFailure);
  std::thread(SpeakQueued, speaker).detach();
  {
    QEventLoop loop;
    speaker->onAttempted = [&loop] { loop.quit(); };
    // A timer of the wait's own, which ends with it: a single shot outlives
    // its receiver and would wake the waiting program five seconds on.
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(kConnectWait);
    bool attempted;
    {
      std::lock_guard lock(speaker->mutex);
      attempted = speaker->attempted;
    }
    if (!attempted) loop.exec();
    speaker->onAttempted = nullptr;
  }
  std::unique_lock lock(speaker->mutex);
  if (!speaker->attempted) {
    speaker->stopping = true;  // stuck in the library; it ends by itself if ever answered
    return QStringLiteral(
        "Error: No speech server could be reached\nThe speech server did not answer within %1 "
        "seconds.")
        .arg(std::chrono::seconds(kConnectWait).count());
  }
  if (!speaker->connection) return speaker->whyNot;
  Voice = std::move(speaker);
  return std::nullopt;
}

void Say(const QString& text) {
  if (!Voice) return;
  {
    std::lock_guard lock(Voice->mutex);
    Voice->texts.push_back(text.toUtf8());
  }
  Voice->wake.notify_one();
}

void ReleaseVoice() {
  if (!Voice) return;
  std::unique_lock lock(Voice->mutex);
  Voice->stopping = true;
  Voice->wake.notify_one();
  // A thread still stuck on a server that does not answer keeps what it
  // uses alive; the program is ending.
  if (Voice->done.wait_for(lock, kReleaseWait, [] { return Voice->finished; }) &&
      Voice->connection)
    spd_close(Voice->connection);
  lock.unlock();
  Voice.reset();
}

}  // namespace modSpeech
