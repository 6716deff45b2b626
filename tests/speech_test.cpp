// The voice where no speech server can be reached: a clear report, and a
// program that a server going away cannot kill.
#include "speech/speech.h"

#include <QTest>

#include <unistd.h>

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
};

QTEST_GUILESS_MAIN(SpeechTest)
#include "speech_test.moc"
