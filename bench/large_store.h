// The large store the store and log benchmarks measure: FOLDERS folders in
// the order of their numbers, as an MFT walk reports them, each under a
// random earlier folder (the first under the NTFS root), then FILES files
// under random folders, with 14-character names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "engine/store.h"

namespace korv::bench {

inline constexpr std::uint32_t kFirstFolderNumber = 64;

// "file0001234.dat" style names, built without going through UTF-8.
inline std::u16string NumberedName(std::u16string_view prefix, std::uint32_t number, std::u16string_view suffix) {
  std::u16string name(prefix);
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%07u", number);
  for (int i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(digits[i]));
  name.append(suffix);
  return name;
}

inline void AddFolders(korv::Store& store, std::uint32_t folders, std::mt19937& random) {
  for (std::uint32_t i = 0; i < folders; ++i) {
    std::uint32_t parent = korv::NtfsRootNumber;
    if (i > 0) parent = kFirstFolderNumber + std::uniform_int_distribution<std::uint32_t>(0, i - 1)(random);
    const std::u16string name = NumberedName(u"dir", i, u"");
    store.AddFolder({.name = {.wide = name}, .parentNumber = parent, .ownNumber = kFirstFolderNumber + i});
  }
}

inline void AddFiles(korv::Store& store, std::uint32_t files, std::uint32_t folders, std::mt19937& random) {
  std::uniform_int_distribution<std::uint32_t> anyFolder(0, folders - 1);
  std::uniform_int_distribution<std::uint64_t> anySize(0, 1 << 24);
  const std::uint32_t firstFileNumber = kFirstFolderNumber + folders;
  for (std::uint32_t i = 0; i < files; ++i) {
    const std::u16string name = NumberedName(u"file", i, u".dat");
    store.AddFile({.name = {.wide = name},
                   .size = anySize(random),
                   .parentNumber = kFirstFolderNumber + anyFolder(random),
                   .ownNumber = firstFileNumber + i,
                   .stream = {}});
  }
}

// Argument `index` as a count, or `fallback` when it is not given.
inline std::uint32_t CountArgument(int argc, char** argv, int index, std::uint32_t fallback) {
  if (argc <= index) return fallback;
  return static_cast<std::uint32_t>(std::strtoul(argv[index], nullptr, 10));
}

}  // namespace korv::bench
