// The voice where no speech server can be reached or none answers: a clear
// report in bounded time, a program that a server going away cannot kill,
// an end that a server gone silent cannot hold up, and an orderly end once
// the server has gone for good.
#include "notifier/frm_main.h"
#include "speech/speech.h"
#include "support/test_host.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <thread>

namespace {

// The handshake of a connection: the client names itself.
void Welcome(int connection) {
  char line[512];
  if (::read(connection, line, sizeof line) > 0) {
    const char welcome[] = "208 OK CLIENT NAME SET\r\n";
    [[maybe_unused]] const ssize_t n = ::write(connection, welcome, sizeof welcome - 1);
  }
}

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
  qputenv("SPEECHD_CMD", "/bin/false");  // and none can be started
  return listener;
}

}  // namespace

class SpeechTest : public QObject {
  Q_OBJECT
 private slots:
  void serverThatNeverAnswers() {
    // A hung server: it takes connections and says nothing.
    QTemporaryDir dir;
    const int listener = ListenAt(QFile::encodeName(dir.filePath("speechd.sock")));
    QVERIFY(listener >= 0);

    // (That a termination signal meanwhile ends the program at once is
    // end_test's.)
    QElapsedTimer clock;
    clock.start();
    const auto why = modSpeech::InitVoice([](const QString&) {});
    const qint64 gaveUp = clock.elapsed();
    ::close(listener);
    QVERIFY(why && why->startsWith("Error: No speech server could be reached\n"));
    QVERIFY2(gaveUp >= 4900 && gaveUp < 6000, qPrintable(QString::number(gaveUp)));
  }

  void releaseWhileTheServerIsSilent() {
    // A server that lets the client in, then never answers again: the
    // announcement waits in the speaking thread, and the end must not.
    QTemporaryDir dir;
    const int listener = ListenAt(QFile::encodeName(dir.filePath("speechd.sock")));
    QVERIFY(listener >= 0);
    std::thread server([listener] {
      const int connection = ::accept(listener, nullptr, nullptr);
      Welcome(connection);
      char line[512];
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

  void serverGoneForGood() {
    // The server lets the program in, then goes away and none can be
    // started: the announcement's reconnect fails, and the program reports
    // it and ends, saving nothing.
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("speechd.sock"));
    const int listener = ListenAt(path);
    QVERIFY(listener >= 0);
    std::thread server([listener, path] {
      const int connection = ::accept(listener, nullptr, nullptr);
      Welcome(connection);
      ::close(connection);
      ::close(listener);
      ::unlink(path.constData());
    });
    const QString ini = host::AppFile("config.ini");
    QFile::remove(ini);
    TestHost host;
    frmMain form(host);
    form.Load();
    server.join();
    modSpeech::Say("Tallowin");
    QTRY_VERIFY_WITH_TIMEOUT(host.exitCode, 5000);
    QCOMPARE(*host.exitCode, EXIT_FAILURE);
    QCOMPARE(host.boxes.size(), 1);
    QVERIFY2(host.boxes[0].startsWith("Error: No speech server could be reached"),
             qPrintable(host.boxes[0]));
    QVERIFY(!QFileInfo::exists(ini));
    modSpeech::ReleaseVoice();
    // The library writes to its socket with plain write(): to a server that
    // has gone, that must fail rather than end the program with SIGPIPE.
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[0]);
    QCOMPARE(::write(ends[1], "x", 1), ssize_t(-1));
  }
};

QTEST_MAIN(SpeechTest)
#include "speech_test.moc"
