// The call areas of the larger entities: the digit of a callsign (and for some entities the
// letters before it) names a region, which places a station far better than the entity's
// single centre. Positions are rough centres of the regions' populated parts, in degrees
// north and east; the heads are the entities' prefix blocks followed by the area digit.
#include "tools/ctytables/cty.h"

namespace orvane::ctytables {

const std::vector<TCallArea>& DefaultCallAreas() {
  static const std::vector<TCallArea> areas = {
      // United States: A, K, N, W with up to one more letter, then the area digit.
      {"K", "USA 1 New England", "[AKNW][A-Z]?1", {43.0, -71.5}},
      {"K", "USA 2 New York, New Jersey", "[AKNW][A-Z]?2", {41.5, -74.5}},
      {"K", "USA 3 Pennsylvania, Maryland, Delaware", "[AKNW][A-Z]?3", {40.3, -77.0}},
      {"K", "USA 4 Southeast", "[AKNW][A-Z]?4", {34.0, -83.5}},
      {"K", "USA 5 South Central", "[AKNW][A-Z]?5", {32.5, -96.0}},
      {"K", "USA 6 California", "[AKNW][A-Z]?6", {37.0, -120.0}},
      {"K", "USA 7 Northwest and Mountain", "[AKNW][A-Z]?7", {42.0, -114.0}},
      {"K", "USA 8 Michigan, Ohio, West Virginia", "[AKNW][A-Z]?8", {41.5, -83.5}},
      {"K", "USA 9 Illinois, Indiana, Wisconsin", "[AKNW][A-Z]?9", {41.5, -88.0}},
      {"K", "USA 0 Central Plains", "[AKNW][A-Z]?0", {42.0, -97.0}},
      // Canada: the territories and Newfoundland have prefix blocks of their own, listed
      // before the provinces that share their digits.
      {"VE", "Canada Newfoundland", "(?:V[DO]|C[HY]|X[JN])1", {48.0, -55.0}},
      {"VE", "Canada Labrador", "(?:V[DO]|C[HY]|X[JN])2", {53.3, -60.4}},
      {"VE", "Canada Nunavut", "(?:VY|C[IZ]|X[KO])0", {63.7, -68.5}},
      {"VE", "Canada Yukon", "(?:V[FY]|C[IZ]|X[KO])1", {60.7, -135.0}},
      {"VE", "Canada Prince Edward Island", "(?:V[FY]|C[IZ]|X[KO])2", {46.3, -63.2}},
      {"VE", "Canada Nova Scotia", "(?:V[A-EGX]|C[F-K]|X[LM])1", {45.0, -63.0}},
      {"VE", "Canada Quebec", "(?:V[A-EGX]|C[F-K]|X[LM])2", {47.0, -71.5}},
      {"VE", "Canada Ontario", "(?:V[A-EGX]|C[F-K]|X[LM])3", {45.0, -79.5}},
      {"VE", "Canada Manitoba", "(?:V[A-EGX]|C[F-K]|X[LM])4", {50.5, -97.5}},
      {"VE", "Canada Saskatchewan", "(?:V[A-EGX]|C[F-K]|X[LM])5", {52.0, -106.0}},
      {"VE", "Canada Alberta", "(?:V[A-EGX]|C[F-K]|X[LM])6", {53.0, -114.0}},
      {"VE", "Canada British Columbia", "(?:V[A-EGX]|C[F-K]|X[LM])7", {50.0, -123.0}},
      {"VE", "Canada Northwest Territories", "(?:V[A-EGX]|C[F-K]|X[LM])8", {62.5, -114.4}},
      {"VE", "Canada New Brunswick", "(?:V[A-EGX]|C[F-K]|X[LM])9", {46.5, -66.0}},
      // Australia.
      {"VK", "Australia 1 Capital Territory", "(?:V[H-N]|AX)1", {-35.3, 149.1}},
      {"VK", "Australia 2 New South Wales", "(?:V[H-N]|AX)2", {-33.0, 149.0}},
      {"VK", "Australia 3 Victoria", "(?:V[H-N]|AX)3", {-37.5, 144.5}},
      {"VK", "Australia 4 Queensland", "(?:V[H-N]|AX)4", {-25.0, 149.0}},
      {"VK", "Australia 5 South Australia", "(?:V[H-N]|AX)5", {-33.0, 138.0}},
      {"VK", "Australia 6 Western Australia", "(?:V[H-N]|AX)6", {-30.0, 117.0}},
      {"VK", "Australia 7 Tasmania", "(?:V[H-N]|AX)7", {-42.0, 146.5}},
      {"VK", "Australia 8 Northern Territory", "(?:V[H-N]|AX)8", {-19.5, 133.0}},
      // Japan: 7K to 7N with digits 1 to 4 are all Kanto, so area 1 comes first.
      {"JA", "Japan 1 Kanto", "(?:J[A-S]|[78][J-N])1|7[K-N][2-4]", {35.7, 139.7}},
      {"JA", "Japan 2 Tokai", "(?:J[A-S]|[78][J-N])2", {35.0, 137.0}},
      {"JA", "Japan 3 Kansai", "(?:J[A-S]|[78][J-N])3", {34.7, 135.5}},
      {"JA", "Japan 4 Chugoku", "(?:J[A-S]|[78][J-N])4", {34.7, 133.0}},
      {"JA", "Japan 5 Shikoku", "(?:J[A-S]|[78][J-N])5", {33.7, 133.5}},
      {"JA", "Japan 6 Kyushu", "(?:J[A-S]|[78][J-N])6", {32.5, 130.7}},
      {"JA", "Japan 7 Tohoku", "(?:J[A-S]|[78][J-N])7", {39.5, 140.5}},
      {"JA", "Japan 8 Hokkaido", "(?:J[A-S]|[78][J-N])8", {43.3, 142.5}},
      {"JA", "Japan 9 Hokuriku", "(?:J[A-S]|[78][J-N])9", {36.5, 136.8}},
      {"JA", "Japan 0 Shinetsu", "(?:J[A-S]|[78][J-N])0", {37.0, 138.5}},
      // Russia, by the first digit.
      {"UA", "European Russia 1 Northwest", "[RU][A-Z]?1", {60.0, 33.0}},
      {"UA", "European Russia 3 Central", "[RU][A-Z]?3", {55.5, 37.5}},
      {"UA", "European Russia 4 Volga", "[RU][A-Z]?4", {53.5, 47.0}},
      {"UA", "European Russia 6 South", "[RU][A-Z]?6", {45.0, 41.0}},
      {"UA9", "Asiatic Russia 8 Siberia", "[RU][A-Z]?8", {55.0, 85.0}},
      {"UA9", "Asiatic Russia 9 Urals and West Siberia", "[RU][A-Z]?9", {56.0, 68.0}},
      {"UA9", "Asiatic Russia 0 East Siberia and Far East", "[RU][A-Z]?0", {55.0, 115.0}},
      // Brazil.
      {"PY", "Brazil 1 Rio de Janeiro, Espirito Santo", "(?:P[P-Y]|Z[V-Z])1", {-22.0, -42.5}},
      {"PY", "Brazil 2 Sao Paulo, Goias, Federal District", "(?:P[P-Y]|Z[V-Z])2", {-20.0, -48.0}},
      {"PY", "Brazil 3 Rio Grande do Sul", "(?:P[P-Y]|Z[V-Z])3", {-30.0, -53.0}},
      {"PY", "Brazil 4 Minas Gerais", "(?:P[P-Y]|Z[V-Z])4", {-18.5, -44.5}},
      {"PY", "Brazil 5 Santa Catarina, Parana", "(?:P[P-Y]|Z[V-Z])5", {-26.5, -51.0}},
      {"PY", "Brazil 6 Bahia, Sergipe", "(?:P[P-Y]|Z[V-Z])6", {-12.5, -40.5}},
      {"PY", "Brazil 7 Northeast", "(?:P[P-Y]|Z[V-Z])7", {-7.0, -37.0}},
      {"PY", "Brazil 8 North", "(?:P[P-Y]|Z[V-Z])8", {-4.0, -55.0}},
      {"PY", "Brazil 9 Centre-West", "(?:P[P-Y]|Z[V-Z])9", {-15.0, -55.0}},
      // China.
      {"BY", "China 1 Beijing", "(?:B[A-Z]?|3[H-U])1", {39.9, 116.4}},
      {"BY", "China 2 Northeast", "(?:B[A-Z]?|3[H-U])2", {44.0, 126.0}},
      {"BY", "China 3 North", "(?:B[A-Z]?|3[H-U])3", {40.0, 113.0}},
      {"BY", "China 4 East", "(?:B[A-Z]?|3[H-U])4", {34.0, 119.0}},
      {"BY", "China 5 Southeast", "(?:B[A-Z]?|3[H-U])5", {28.0, 118.0}},
      {"BY", "China 6 Central", "(?:B[A-Z]?|3[H-U])6", {32.0, 114.0}},
      {"BY", "China 7 South", "(?:B[A-Z]?|3[H-U])7", {24.0, 112.0}},
      {"BY", "China 8 Southwest", "(?:B[A-Z]?|3[H-U])8", {28.0, 105.0}},
      {"BY", "China 9 Northwest", "(?:B[A-Z]?|3[H-U])9", {36.0, 103.0}},
      {"BY", "China 0 Xinjiang, Tibet", "(?:B[A-Z]?|3[H-U])0", {37.0, 87.0}},
      // New Zealand and South Africa.
      {"ZL", "New Zealand 1 North", "Z[LM]1", {-37.5, 175.0}},
      {"ZL", "New Zealand 2 Wellington", "Z[LM]2", {-40.5, 175.5}},
      {"ZL", "New Zealand 3 Canterbury", "Z[LM]3", {-43.5, 171.5}},
      {"ZL", "New Zealand 4 Otago", "Z[LM]4", {-45.5, 169.5}},
      {"ZS", "South Africa 1 Western Cape", "Z[R-U]1", {-33.5, 20.0}},
      {"ZS", "South Africa 2 Eastern Cape", "Z[R-U]2", {-32.5, 26.0}},
      {"ZS", "South Africa 3 Northern Cape", "Z[R-U]3", {-29.5, 22.0}},
      {"ZS", "South Africa 4 Free State", "Z[R-U]4", {-28.5, 26.8}},
      {"ZS", "South Africa 5 KwaZulu-Natal", "Z[R-U]5", {-29.0, 30.5}},
      {"ZS", "South Africa 6 Gauteng and North", "Z[R-U]6", {-26.0, 28.5}},
  };
  return areas;
}

}  // namespace orvane::ctytables
