#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "app/locator.h"
#include "app/lookup.h"
#include "globe/core/units.h"
#include "platform/qt/xmlrowset.h"

namespace orvane::testing {

// Where the simulator's own tables place a callsign.
inline globe::TPointLL Placed(const QString& Call) {
  const std::string Folder = ORVANE_SIMULATOR_LOGGER;
  const auto Unique = platform::LoadXmlRowset(Folder + "db/UniqueCalls.xml");
  const auto Province = platform::LoadXmlRowset(Folder + "db/Province.xml");
  const auto DXCC = platform::LoadXmlRowset(Folder + "db/CountryDataEx.xml");
  Unique->Open();
  Province->Open();
  DXCC->Open();
  TCallsignLookup Lookup(*Unique, *Province, *DXCC);
  QString Long, Lat;
  EXPECT_TRUE(Lookup.FindCountry(Call, Long, Lat)) << Call.toStdString();
  double y = 0, x = 0;
  TextToLatLong(Lat, Long, y, x);
  return globe::DegToPointLL(x, y);
}

}  // namespace orvane::testing
