#include "host/default_route.h"

#include <QFile>
#include <QList>

namespace host {
namespace {

// The table's rows, split into fields, below its header when it has one.
QList<QList<QByteArray>> Rows(const char* path, bool header) {
  QFile file(QString::fromLatin1(path));
  QList<QList<QByteArray>> rows;
  if (!file.open(QIODevice::ReadOnly)) return rows;
  if (header) file.readLine();
  while (!file.atEnd()) rows.append(file.readLine().simplified().split(' '));
  return rows;
}

bool AllZero(const QByteArray& field) {
  return !field.isEmpty() && field.count('0') == field.size();
}

}  // namespace

bool HasDefaultRoute() {
  // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
  for (const auto& row : Rows("/proc/net/route", true))
    if (row.size() > 7 && row[0] != "lo" && AllZero(row[1]) && AllZero(row[7])) return true;
  // Destination PrefixLength Source SourcePrefix NextHop Metric RefCnt Use Flags Iface
  for (const auto& row : Rows("/proc/net/ipv6_route", false))
    if (row.size() > 9 && row[9] != "lo" && AllZero(row[0]) && AllZero(row[1])) return true;
  return false;
}

}  // namespace host
