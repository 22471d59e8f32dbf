#include "bench/CatalogueData.h"

#include <array>

namespace katalog::bench {
namespace {

// splitmix64: a small, good generator whose whole state is one word, seeded by the id.
class TRandom {
 public:
  explicit TRandom(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

template <std::size_t N>
const char* Pick(TRandom& random, const std::array<const char*, N>& words) {
  return words[random.Below(N)];
}

// Windows-1250: \xE1 á, \xE8 č, \xE9 é, \xEC ě, \xED í, \xF8 ř, \x9A š, \xFD ý, \x9E ž, \xF9 ů.
constexpr std::array<const char*, 10> kKinds = {"Restaurace",
                                                "Hospoda",
                                                "Bistro",
                                                "Pivnice",
                                                "Kav\xE1rna",
                                                "Vin\xE1rna",
                                                "J\xED"
                                                "delna",
                                                "Pizzerie",
                                                "Hostinec",
                                                "Cukr\xE1rna"};
constexpr std::array<const char*, 16> kSyllables = {"ko",
                                                    "va",
                                                    "li",
                                                    "\xE8"
                                                    "e",
                                                    "mo",
                                                    "ra",
                                                    "\x9A"
                                                    "i",
                                                    "no",
                                                    "\xF8"
                                                    "e",
                                                    "du",
                                                    "pa",
                                                    "ve",
                                                    "lo",
                                                    "\x9E"
                                                    "a",
                                                    "t\xFD",
                                                    "ma"};
constexpr std::array<const char*, 12> kPlaces = {"Pod Lipou",
                                                 "Na Rohu",
                                                 "U Mostu",
                                                 "Na N\xE1m\xECst\xED",
                                                 "U Ko\xE8ky",
                                                 "Pod Hradem",
                                                 "U Zvonu",
                                                 "Na Vyhl\xED"
                                                 "dce",
                                                 "U Ml\xFDna",
                                                 "Na Kopci",
                                                 "U Lesa",
                                                 "Na Hr\xE1zi"};
constexpr std::array<const char*, 24> kWords = {"kuchyn\xEC",
                                                "pivo",
                                                "v\xEDno",
                                                "hosty",
                                                "zahr\xE1"
                                                "dka",
                                                "poledn\xED",
                                                "menu",
                                                "ryby",
                                                "pol\xE9vky",
                                                "dezerty",
                                                "salonek",
                                                "terasa",
                                                "rodinn\xE9",
                                                "oslavy",
                                                "parkov\xE1n\xED",
                                                "kl\xED"
                                                "dn\xE9",
                                                "prost\xF8"
                                                "ed\xED",
                                                "sez\xF3nn\xED",
                                                "speciality",
                                                "grilov\xE1n\xED",
                                                "dom\xE1"
                                                "c\xED",
                                                "tradi\xE8n\xED",
                                                "v\xEDkend",
                                                "posezen\xED"};

std::string Word(TRandom& random) {
  std::string word;
  const std::size_t syllables = 2 + random.Below(2);
  for (std::size_t i = 0; i < syllables; ++i) word += Pick(random, kSyllables);
  word[0] = static_cast<char>(word[0] - 'a' + 'A');
  return word;
}

std::string Number(TRandom& random, int digits) {
  std::string number;
  for (int i = 0; i < digits; ++i) number += static_cast<char>('0' + random.Below(10));
  return number;
}

}  // namespace

std::string RegionName(int region) {
  TRandom random(0xC0FFEEu + static_cast<std::uint64_t>(region));
  return "Okres " + Word(random) + " " + std::to_string(region);
}

TPlace PlaceOf(std::int64_t id) {
  TRandom random(static_cast<std::uint64_t>(id));
  TPlace place;
  place.Id = id;
  // Names repeat: every third id takes the name of a smaller one.
  TRandom nameRandom(static_cast<std::uint64_t>(id % 3 == 0 ? id / 3 + 1 : id) ^ 0xABCDEFu);
  place.Name = std::string(Pick(nameRandom, kKinds)) + " " + Word(nameRandom) + " " +
               Pick(nameRandom, kPlaces);
  place.Street = Word(random) + "ova " + std::to_string(1 + random.Below(2000));
  place.City = Number(random, 3) + " " + Number(random, 2) + " " + Word(random);
  place.Region = RegionName(static_cast<int>(random.Below(kRegions)));
  place.Phone = "0" + Number(random, 2) + "/" + Number(random, 4) + " " + Number(random, 3);
  place.Fax = "0" + Number(random, 2) + "/" + Number(random, 4) + " " + Number(random, 3);
  while (place.Memo.size() < 1000) {
    place.Memo += Word(random);
    for (std::size_t i = 0, n = 5 + random.Below(8); i < n; ++i) {
      place.Memo += ' ';
      place.Memo += Pick(random, kWords);
    }
    place.Memo += ". ";
  }
  if (id % 100 == 37) place.Memo.insert(place.Memo.size() / 2, std::string(" ") + kFrequentWord);
  return place;
}

}  // namespace katalog::bench
