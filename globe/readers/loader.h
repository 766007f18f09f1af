// The layer loader: a layer for a file, read by the reader its extension names.
//
// A program that links the readers knows their classes by name from its start, so that
// environment documents and files can create them.
#pragma once

#include <cstdint>
#include <string>

namespace globe {

class TGlobe4;

/// Creates a layer on Globe for the file (reader chosen by the extension of FileName:
/// ".lyr", ".shp", ".mif", any case) and activates its source. Returns the layer's index,
/// or −1, creating nothing, when the file does not resolve to an existing one.
std::int32_t AddLayerFromFile(TGlobe4& Globe, const std::string& FileName);

}  // namespace globe
