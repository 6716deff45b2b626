// The voice where no speech server can be reached or none answers: a clear
// report in bounded time, a program that a server going away cannot kill,
// and an end that a server gone silent cannot hold up.
#include "host/termination.h"
#include "speech/speech.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

// A listening socket at path that a speech client's SPEECHD_ADDRESS names.
int ListenAt(const QByteArray& path) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 4) != 0)
    return -1;
  qputenv("SPEECHD_ADDRESS", "unix_socket:" + path);
  return listener;
}

}  // namespace

class SpeechTest : public QObject {
  Q_OBJECT
 private slots:
  void noServerIsReported() {
    qputenv("SPEECHD_ADDRESS", "unix_socket:/nonexistent/speechd.sock");
    qputenv("SPEECHD_CMD", "/bin/false");  // and none can be started
    const auto why = modSpeech::InitVoice([](const QString&) {});
    QVERIFY(why);
    QVERIFY2(why->startsWith("Error: No speech server could be reached\n"), qPrintable(*why));
    // The library writes to its socket with plain write(): to a server that
    // has gone, that must fail rather than end the program with SIGPIPE.
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[0]);
    QCOMPARE(::write(ends[1], "x", 1), ssize_t(-1));
    ::close(ends[1]);
  }

  void serverThatNeverAnswers() {
    // A hung server: it takes connections and says nothing.
    QTemporaryDir dir;
    const int listener = ListenAt(QFile::encodeName(dir.filePath("speechd.sock")));
    QVERIFY(listener >= 0);

    // A termination signal meanwhile is served at once.
    QObject parent;
    QElapsedTimer clock;
    qint64 signalled = -1;
    host::OnTerminationSignal(parent, [&] { signalled = clock.elapsed(); });
    QTimer::singleShot(1000, [] { ::raise(SIGTERM); });
    clock.start();
    const auto why = modSpeech::InitVoice([](const QString&) {});
    const qint64 gaveUp = clock.elapsed();
    ::close(listener);
    QVERIFY(why && why->startsWith("Error: No speech server could be reached\n"));
    QVERIFY2(gaveUp >= 4900 && gaveUp < 6000, qPrintable(QString::number(gaveUp)));
    QVERIFY2(signalled >= 1000 && signalled < 1500, qPrintable(QString::number(signalled)));
  }

  void releaseWhileTheServerIsSilent() {
    // A server that lets the client in, then never answers again: the
    // announcement waits in the speaking thread, and the end must not.
    QTemporaryDir dir;
    const int listener = ListenAt(QFile::encodeName(dir.filePath("speechd.sock")));
    QVERIFY(listener >= 0);
    std::thread server([listener] {
      const int connection = ::accept(listener, nullptr, nullptr);
      char line[512];
      if (::read(connection, line, sizeof line) > 0) {
        const char welcome[] = "208 OK CLIENT NAME SET\r\n";
        [[maybe_unused]] const ssize_t n = ::write(connection, welcome, sizeof welcome - 1);
      }
      while (::read(connection, line, sizeof line) > 0) {
      }
      ::close(connection);
    });
    QVERIFY(!modSpeech::InitVoice([](const QString&) {}));
    modSpeech::Say("Tallowin");
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    modSpeech::ReleaseVoice();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    ::close(listener);
    server.detach();  // held by the speaking thread's connection until the end
  }
};

QTEST_GUILESS_MAIN(SpeechTest)
#include "speech_test.moc"
