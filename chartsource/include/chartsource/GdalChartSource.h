#pragma once
// Charts read through GDAL: GeoTIFF (GDAL's GTiff driver: sectional and terminal-area charts,
// georeferenced scans) and KAP (its BSB driver: the BSB 3 raster charts), and the one entry
// point that opens any chart the planner knows.
//
// Pixels: band 1 of a paletted file gives the indices and the file's colour table the palette;
// a file of one grey band without a table is shown through 256 greys; a file whose first three
// bands are red, green and blue is reduced to the 216 colours of a 6 x 6 x 6 cube (each channel
// rounded to the nearest of 0, 51, ..., 255: at most 26 levels off, one byte per pixel kept).
// Rows are read on demand through GDAL's block cache, so a source holds no copy of the raster.
// Only 8-bit bands are read.
//
// Georeference: the file's own geotransform and coordinate system (GeoTIFF) or its reference
// points and projection fields (KAP, fitted by GDAL's polynomial of the order the point count
// allows), transformed to WGS-84 longitude and latitude by GDAL's coordinate transformation
// (PROJ), through the same transformer `gdaltransform -t_srs EPSG:4326` uses.  The results are
// GDAL's own to rounding (1e-9 pixel and 1e-12 degree); their accuracy is the file's and
// PROJ's (PROJ's Lambert, transverse Mercator and Mercator are exact to under 1 mm).  A file
// with neither a coordinate system and geotransform nor reference points opens for viewing
// with an unusable georeference that says why.  GDAL pixel/line coordinates (0 at the top-left
// corner of the top-left pixel) are shifted by half a pixel to the pixel-centre convention of
// ChartSource.h.
#include "chartsource/ChartSource.h"

#include <memory>
#include <string>

namespace avilo::chartsource {

/// Opens a GeoTIFF or KAP chart through GDAL.  Null with `*error` set ("the file is not a
/// GeoTIFF or KAP chart", GDAL's reason for a damaged file, "only 8-bit charts ...") when the
/// raster cannot be read; a chart without georeference opens (see Georeference::Usable).
std::unique_ptr<ChartSource> OpenGdalChart(const std::string& path, std::string* error);

/// Opens any chart: a file named "*.nos" (any case) through the chart library's NOS reader
/// with its reference file, exactly as the chart library reads it; every other file through
/// GDAL.  Null with `*error` set when the chart cannot be read.
std::unique_ptr<ChartSource> OpenChart(const std::string& path, std::string* error);

} // namespace avilo::chartsource
