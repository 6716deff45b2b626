// The announcement, against the tests' private speech-dispatcher: queued
// behind earlier texts, never waiting for the server, surviving its restart.
#include "speech/speech.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// support/speechd.sh, serving on DIR/sock and logging what it queues.
class Speechd {
 public:
  explicit Speechd(const QString& dir) : dir_(dir) {
    QFile::remove(dir + "/sock");
    process_.start("bash", {TALLOWIN_TEST_SUPPORT_DIR "/speechd.sh", "serve", dir});
    qputenv("SPEECHD_ADDRESS", ("unix_socket:" + dir + "/sock").toUtf8());
  }
  ~Speechd() { Signal(SIGKILL); }
  bool Ready() const { return QFile::exists(dir_ + "/sock"); }
  void Signal(int signal) {
    ::kill(static_cast<pid_t>(process_.processId()), signal);  // speechd.sh execs the server
    if (signal == SIGKILL) process_.waitForFinished();
  }
  // Texts queued at the priority that waits behind a text being spoken.
  qsizetype Queued(const QByteArray& text) const {
    QFile log(dir_ + "/log/speech-dispatcher.log");
    return log.open(QIODevice::ReadOnly)
               ? log.readAll().count("Queueing message |" + text + "| with priority 2")
               : 0;
  }

 private:
  QString dir_;
  QProcess process_;
};

}  // namespace

class SpeechTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { modSpeech::ReleaseVoice(); }
  void textsQueueBehindEachOther();
  void reconnectsOnceWhenTheServerWentAway();
  void noServerIsReported();
  void neverWaitsForAStuckServer();

 private:
  QTemporaryDir dir_;
  QStringList failures_;
  std::function<void(const QString&)> Record() {
    failures_.clear();
    return [this](const QString& why) { failures_ << why; };
  }
};

void SpeechTest::textsQueueBehindEachOther() {
  Speechd server(dir_.path());
  QTRY_VERIFY(server.Ready());
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin, you have mail, and this takes a while to say");
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(server.Queued("Tallowin"), 1);
  QCOMPARE(server.Queued("Tallowin, you have mail, and this takes a while to say"), 1);
  QVERIFY(failures_.isEmpty());
}

void SpeechTest::reconnectsOnceWhenTheServerWentAway() {
  auto server = std::make_unique<Speechd>(dir_.path());
  QTRY_VERIFY(server->Ready());
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  server.reset();  // as when the server ends after a while of silence
  server = std::make_unique<Speechd>(dir_.path());
  QTRY_VERIFY(server->Ready());
  const qsizetype before = server->Queued("Tallowin");
  // Without care the first write would end the program with SIGPIPE.
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(server->Queued("Tallowin"), before + 1);
  QVERIFY(failures_.isEmpty());

  // Gone for good, and none can be started: one report.
  server.reset();
  qputenv("SPEECHD_CMD", "/bin/false");
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(failures_.size(), 1);
  qunsetenv("SPEECHD_CMD");
  QVERIFY2(failures_[0].startsWith("Error: "), qPrintable(failures_[0]));
}

void SpeechTest::noServerIsReported() {
  qputenv("SPEECHD_ADDRESS", ("unix_socket:" + dir_.filePath("nobody-listens")).toUtf8());
  qputenv("SPEECHD_CMD", "/bin/false");
  const auto why = modSpeech::InitVoice(Record());
  qunsetenv("SPEECHD_CMD");
  QVERIFY(why);
  QVERIFY2(why->startsWith("Error: No speech server could be reached\n"), qPrintable(*why));
  QVERIFY2(why->size() > 42, qPrintable(*why));  // the library's own reason follows
}

void SpeechTest::neverWaitsForAStuckServer() {
  Speechd server(dir_.path());
  QTRY_VERIFY(server.Ready());
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  server.Signal(SIGSTOP);
  QElapsedTimer timer;
  timer.start();
  modSpeech::Say("Tallowin");
  modSpeech::Say("Tallowin");
  QVERIFY2(timer.elapsed() < 100, "Say waited for the server");
  modSpeech::ReleaseVoice();
  QVERIFY2(timer.elapsed() < 3000, "closing waited for the server");
  server.Signal(SIGCONT);
}

QTEST_GUILESS_MAIN(SpeechTest)
#include "speech_test.moc"
