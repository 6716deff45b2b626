// The announcement, against a fake speech server and a real private one.
#include "speech/speech.h"
#include "support/fake_speechd.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

void PointAt(const QString& socketPath) {
  qputenv("SPEECHD_ADDRESS", ("unix_socket:" + socketPath).toUtf8());
}

// The tests' private speech-dispatcher (support/speechd.sh).
class PrivateSpeechd {
 public:
  PrivateSpeechd() {
    process_.start("bash", {TALLOWIN_TEST_SUPPORT_DIR "/speechd.sh", "serve", dir_.path()});
  }
  ~PrivateSpeechd() {
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
  }
  QString socket() const { return dir_.path() + "/sock"; }
  bool ready() const { return QFile::exists(socket()); }
  QByteArray log() const {
    QFile file(dir_.path() + "/log/speech-dispatcher.log");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  QTemporaryDir dir_;
  QProcess process_;
};

}  // namespace

class SpeechTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { modSpeech::ReleaseVoice(); }
  void eachTextQueuedAsMessage();
  void sayDoesNotWaitForTheServer();
  void reconnectsOnceWhenServerWentAway();
  void failureAfterReconnectIsReported();
  void releaseDoesNotHangOnAStuckServer();
  void noServerIsReported();
  void realServerSpeaksBothInOrder();

 private:
  QStringList failures_;
  std::function<void(const QString&)> Record() {
    failures_.clear();
    return [this](const QString& why) { failures_ << why; };
  }
};

void SpeechTest::eachTextQueuedAsMessage() {
  QTemporaryDir dir;
  FakeSpeechd server(dir.filePath("sock"));
  PointAt(dir.filePath("sock"));
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin");
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(server.textsAnswered(), 2);

  QList<QByteArray> lines = server.lines();
  QVERIFY(!lines.isEmpty() && lines.takeFirst().startsWith("SET SELF CLIENT_NAME"));
  // MESSAGE priority queues a text behind one still being spoken; TEXT
  // would cut the earlier one off.
  const QList<QByteArray> once{"SET SELF PRIORITY MESSAGE", "speak", "Tallowin", "."};
  QCOMPARE(lines, once + once);
  QVERIFY(failures_.isEmpty());
}

void SpeechTest::sayDoesNotWaitForTheServer() {
  QTemporaryDir dir;
  FakeSpeechd server(dir.filePath("sock"), FakeSpeechd::Behaviour::HoldTexts);
  PointAt(dir.filePath("sock"));
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin");
  modSpeech::Say("Tallowin");
  // Back here while the server still sits on the first text.
  QTRY_VERIFY(server.lines().contains("."));
  QCOMPARE(server.textsAnswered(), 0);
  server.Release();
  QTRY_COMPARE(server.textsAnswered(), 2);
}

void SpeechTest::reconnectsOnceWhenServerWentAway() {
  QTemporaryDir dir;
  FakeSpeechd server(dir.filePath("sock"), FakeSpeechd::Behaviour::DropFirst);
  PointAt(dir.filePath("sock"));
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  QTRY_COMPARE(server.connections(), 1);
  // Without care this write would end the program with SIGPIPE.
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(server.textsAnswered(), 1);
  QCOMPARE(server.connections(), 2);
  QVERIFY(failures_.isEmpty());
}

void SpeechTest::failureAfterReconnectIsReported() {
  QTemporaryDir dir;
  FakeSpeechd server(dir.filePath("sock"), FakeSpeechd::Behaviour::DropAll);
  PointAt(dir.filePath("sock"));
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin");
  QTRY_COMPARE(failures_.size(), 1);
  QCOMPARE(server.connections(), 2);  // one more try, not more
  QVERIFY2(failures_[0].startsWith("Error: "), qPrintable(failures_[0]));
}

void SpeechTest::releaseDoesNotHangOnAStuckServer() {
  QTemporaryDir dir;
  FakeSpeechd server(dir.filePath("sock"), FakeSpeechd::Behaviour::HoldTexts);
  PointAt(dir.filePath("sock"));
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin");
  QTRY_VERIFY(server.lines().contains("."));
  modSpeech::ReleaseVoice();
  // Back, although the server has not answered: closing is not held up.
  QCOMPARE(server.textsAnswered(), 0);
}

void SpeechTest::noServerIsReported() {
  QTemporaryDir dir;
  PointAt(dir.filePath("nobody-listens"));
  qputenv("SPEECHD_CMD", "/bin/false");
  const auto why = modSpeech::InitVoice(Record());
  qunsetenv("SPEECHD_CMD");
  QVERIFY(why);
  QVERIFY2(why->startsWith("Error: No speech server could be reached\n"), qPrintable(*why));
  QVERIFY2(why->size() > 42, qPrintable(*why));  // the library's own reason follows
}

void SpeechTest::realServerSpeaksBothInOrder() {
  PrivateSpeechd server;
  QTRY_VERIFY_WITH_TIMEOUT(server.ready(), 5000);
  PointAt(server.socket());
  QCOMPARE(modSpeech::InitVoice(Record()), std::nullopt);
  modSpeech::Say("Tallowin, you have mail, and this takes a while to say");
  modSpeech::Say("Tallowin");

  const QByteArray first = "Command sent to output module: |<speak>Tallowin, you have mail";
  const QByteArray second = "Command sent to output module: |<speak>Tallowin</speak>|";
  QTRY_VERIFY_WITH_TIMEOUT(server.log().contains(second), 10000);
  const QByteArray log = server.log();
  QVERIFY2(log.contains(first), log.constData());
  QVERIFY(log.indexOf(first) < log.indexOf(second));
  QCOMPARE(log.count("Queueing message |Tallowin"), 2);
}

QTEST_GUILESS_MAIN(SpeechTest)
#include "speech_test.moc"
