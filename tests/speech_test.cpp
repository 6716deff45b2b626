// The voice where no speech server can be reached or none answers: a clear
// report in bounded time, and a program that a server going away cannot kill.
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
    const QByteArray path = QFile::encodeName(dir.filePath("speechd.sock"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(listener, 4) == 0);
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + path);

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
};

QTEST_GUILESS_MAIN(SpeechTest)
#include "speech_test.moc"
