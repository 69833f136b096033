// FindEnd: where a file that starts at a header ends, and what it is named.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "carve/carve_types.h"
#include "carve/range_reader.h"

namespace korv {

struct CarvedExtent {
  std::uint64_t bytes = 0;         // what is written, from the header's first byte
  std::string_view typeName;       // the folder and extension
  std::uint64_t resumeSector = 0;  // sectors after the header's sector where the scan goes on
};

// The end of the file whose header stands at byte `start` (a sector start)
// of the stream. Exact ends cut the file where its format says it ends;
// otherwise (or for types whose format does not say) the whole-sector rule
// applies: the sector holding the end plus one more. A file whose exact end
// cannot be walked (its structure broke) falls back to the whole-sector
// rule. Nothing when the header is to be dropped; the scan then goes on at
// the next sector.
std::optional<CarvedExtent> FindEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start, bool exactEnds);

// The compound-document type a directory sector names (the first of
// WordDocument, Workbook, PowerPoint Document, PageMaker at the lowest
// position); empty when the sector is not the root entry's.
std::string_view ProbeCompoundDocument(ByteView sector);

}  // namespace korv
