// What one poll costs, against a dovecot on a loopback port holding 20
// messages for alice (password pw), beside the floor: a minimal blocking
// client doing the same four exchanges. Also the CPU time of a poll whose
// server stalls before each reply. Prints a Markdown table; ratios are
// against the floor measured in the same run. With GAP, also polls that
// each come GAP seconds after the last, as the program's ticks do: caches
// have gone cold by then. Run by poll_bench.sh, which starts that dovecot:
// poll_bench PORT [POLLS [GAP]]
#include "pop3/mail_count.h"
#include "support/scripted_server.h"
#include "support/test_host.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QSslSocket>
#include <QTextStream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Sample {
  double wallMs;
  double cpuMs;
};

double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

template <typename F>
Sample Measure(F poll) {
  QElapsedTimer wall;
  const double cpu = CpuMs();
  wall.start();
  poll();
  return {wall.nsecsElapsed() / 1e6, CpuMs() - cpu};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Reads until a line end; false on a closed connection.
bool ReadLine(int fd) {
  char c;
  while (::read(fd, &c, 1) == 1)
    if (c == '\n') return true;
  return false;
}

// The floor: blocking POSIX calls, no event loop, no waits of its own.
int FloorPoll(quint16 port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int count = -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ReadLine(fd)) {
    const char* lines[] = {"USER alice\r\n", "PASS pw\r\n", "STAT\r\n"};
    bool ok = true;
    for (const char* line : lines) ok = ok && ::write(fd, line, strlen(line)) > 0 && ReadLine(fd);
    if (ok) count = 0;
  }
  ::close(fd);
  return count;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  if (argc < 2) {
    out << "usage: poll_bench PORT [POLLS [GAP]]" << Qt::endl;
    return 2;
  }
  const quint16 port = QString(argv[1]).toUShort();
  const int polls = argc > 2 ? QString(argv[2]).toInt() : 50;
  const int gap = argc > 3 ? QString(argv[3]).toInt() : 0;
  constexpr int kColdPolls = 5;

  TestHost host;
  modPOP3::NotNow notNow;
  std::unique_ptr<QTcpSocket> socket;
  const modPOP3::Account account = AccountOf(kOnLoopback.arg(port), "alice", "pw");
  std::vector<double> wall, cpu, floorWall, floorCpu;
  // Interleaved, so drifts of the machine touch both alike.
  for (int i = 0; i < polls; ++i) {
    const Sample ours = Measure([&] {
      if (modPOP3::GetMailCount(socket, account, host, notNow) != 20)
        qFatal("%s", qPrintable(host.boxes.join(" / ")));
    });
    const Sample floor = Measure([&] {
      if (FloorPoll(port) != 0) std::abort();
    });
    wall.push_back(ours.wallMs);
    cpu.push_back(ours.cpuMs);
    floorWall.push_back(floor.wallMs);
    floorCpu.push_back(floor.cpuMs);
  }

  // After a sleep, each in turn; the process sleeps as the program does
  // between ticks, without an event loop running.
  std::vector<double> coldCpu, coldFloorCpu;
  for (int i = 0; gap > 0 && i < kColdPolls; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(gap));
    coldCpu.push_back(Measure([&] {
                        if (modPOP3::GetMailCount(socket, account, host, notNow) != 20)
                          qFatal("%s", qPrintable(host.boxes.join(" / ")));
                      }).cpuMs);
    std::this_thread::sleep_for(std::chrono::seconds(gap));
    coldFloorCpu.push_back(Measure([&] {
                             if (FloorPoll(port) != 0) std::abort();
                           }).cpuMs);
  }

  // A server that waits 1.5 s before each reply: the STAT wait runs out.
  std::vector<double> stalledCpu;
  for (int i = 0; i < 3; ++i) {
    ScriptedServer stalling({Line("+OK\r\n", 1500ms), Line("+OK\r\n", 1500ms),
                             Line("+OK\r\n", 1500ms), Line("+OK 1 1\r\n", 1500ms)});
    stalledCpu.push_back(Measure([&] {
                           modPOP3::GetMailCount(
                               socket, AccountOf(kOnLoopback.arg(stalling.port())), host, notNow);
                         }).cpuMs);
  }

  const double w = Median(wall), c = Median(cpu), fw = Median(floorWall), fc = Median(floorCpu);
  out << "Poll benchmark on " << QHostInfo::localHostName() << ", "
      << QDateTime::currentDateTime().toString(Qt::ISODate) << ", " << polls
      << " polls against dovecot on loopback (medians)\n\n";
  out << "| measure | GetMailCount | floor client | ratio | target |\n";
  out << "|---|---|---|---|---|\n";
  out << QString("| wall time per poll | %1 ms | %2 ms | %3x | within 1.2x |\n")
             .arg(w, 0, 'f', 2)
             .arg(fw, 0, 'f', 2)
             .arg(w / fw, 0, 'f', 2);
  out << QString("| CPU time per poll | %1 ms | %2 ms | %3x | within 3x |\n")
             .arg(c, 0, 'f', 2)
             .arg(fc, 0, 'f', 2)
             .arg(c / fc, 0, 'f', 2);
  if (gap > 0)
    out << QString(
               "| CPU time per poll, %1 s after the last (median of %2) | %3 ms | %4 ms | %5x | "
               "|\n")
               .arg(gap)
               .arg(kColdPolls)
               .arg(Median(coldCpu), 0, 'f', 2)
               .arg(Median(coldFloorCpu), 0, 'f', 2)
               .arg(Median(coldCpu) / Median(coldFloorCpu), 0, 'f', 2);
  out << QString("| CPU time, server stalling 1.5 s a reply | %1 ms | | | under 5 ms |\n")
             .arg(Median(stalledCpu), 0, 'f', 2);
  return 0;
}
