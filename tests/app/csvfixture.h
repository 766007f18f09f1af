// Small CSV fixtures under tests/data: a header line, then rows of comma-separated fields.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <vector>

namespace orvane {

inline std::vector<QStringList> CsvFixture(const char* Name) {
  QFile File(QStringLiteral(ORVANE_TEST_DATA_DIR "/") + QString::fromLatin1(Name));
  EXPECT_TRUE(File.open(QIODevice::ReadOnly | QIODevice::Text)) << Name;
  std::vector<QStringList> Rows;
  bool Header = true;
  while (!File.atEnd()) {
    const QString Line = QString::fromUtf8(File.readLine()).trimmed();
    if (Header || Line.isEmpty()) {
      Header = false;
      continue;
    }
    Rows.push_back(Line.split(u','));
  }
  return Rows;
}

}  // namespace orvane
