// Chart reference files: the content of one .GEO file as a plain record, and its reader.
//
// A reference file is a text file of key=value lines describing a raster chart: name, scale,
// edition, projection, datum, its border polygon ("Vertex" lines) and reference points
// ("Point" lines) known both as chart pixels and as longitude/latitude.  Keys are matched
// case-insensitively against the beginning of the line, in a fixed order where keys share a
// beginning ("Source Edition" before "Source", "Projection" before "PP" and "P1".."P6").
// Values are the text after the first "=", kept exactly as written; numbers are read in the
// C locale whatever the process's locale ("52.3" is 52.3 under de_DE too).
//
// Units: longitude and latitude in decimal degrees, east and north positive; pixels as
// column (x, 0 at the left) and row (y, 0 at the top).
#pragma once

#include <tavola/Export.h>

#include <cfloat>
#include <functional>
#include <iosfwd>
#include <list>
#include <memory>
#include <string>

// A named position known as a chart pixel and/or as longitude/latitude: a border vertex or a
// reference point.
class TAVOLA_API CRefPoint {
public:
    CRefPoint() = default;
    CRefPoint(const CRefPoint&) = default;
    CRefPoint(const char* name, int x, int y, double longitude, double latitude);
    virtual ~CRefPoint() = default;
    CRefPoint& operator=(const CRefPoint&) = default;

    std::string m_strName;
    int m_nX = 0;            // pixel column
    int m_nY = 0;            // pixel row
    double m_dLongitude = 0; // degrees, east positive
    double m_dLatitude = 0;  // degrees, north positive
};

using RefPointList = std::list<std::unique_ptr<CRefPoint>>;

namespace tavola {

/// The content of one reference file (or of one "[Inset" section of it).
struct TAVOLA_API ReferenceRecord {
    ReferenceRecord() = default;
    ReferenceRecord(const ReferenceRecord&) = delete;
    ReferenceRecord& operator=(const ReferenceRecord&) = delete;
    ReferenceRecord(ReferenceRecord&&) = default;
    ReferenceRecord& operator=(ReferenceRecord&&) = default;

    /// Recomputes the latitude and longitude bounds of the border polygon (m_dMinLat ..
    /// m_dMaxLon).  Without vertices the minima are DBL_MAX, the maxima -DBL_MAX and the
    /// middles 0.
    void MinMeanMaxLL();

    std::string m_strBitmap, m_strName, m_strScale, m_strOrder, m_strId, m_strType, m_strSource,
        m_strSourceEdition, m_strCountry, m_strProvinceState, m_strDatePublished, m_strLastUpdate,
        m_strMagDeclDate, m_strMagDecl, m_strMagDeclChange, m_strULLatitude, m_strULLongitude,
        m_strLRLatitude, m_strLRLongitude, m_strDepthUnits, m_strSoundingDatum, m_strProjection,
        m_strPP, m_strP1, m_strP2, m_strP3, m_strP4, m_strP5, m_strP6;
    double m_dSkewAngle = 0; // degrees
    std::string m_strResolution, m_strDatum;
    double m_dLatitudeOffset = 0;  // degrees, added to latitudes before projecting
    double m_dLongitudeOffset = 0; // degrees, added to longitudes before projecting
    RefPointList m_Vertices;       // border polygon, file order
    int m_nLeft = 0, m_nTop = 0, m_nRight = 0, m_nBottom = 0; // chart rectangle, pixels
    RefPointList m_RefPoints;                                 // reference points, file order
    // Bounds of the border polygon, degrees (see MinMeanMaxLL).
    double m_dMinLat = 0, m_dMidLat = 0, m_dMaxLat = 0, m_dMinLon = 0, m_dMidLon = 0, m_dMaxLon = 0;
};

/// Longest reference file line accepted (characters, without the line end).
inline constexpr std::size_t kMaxReferenceLine = 511;

/// Reads reference file lines from `in` into `base`.  A line starting with "[Inset" asks
/// `newInset` for a fresh record, which takes every line after it up to the next "[Inset"
/// (insets do not nest).  Text fields are replaced by the lines that carry them; vertices and
/// reference points are appended to those already there.  Lines without "=", unknown keys,
/// "Vertex" lines without two numbers (latitude, longitude), "Point" lines without four
/// (longitude, latitude, row, column; the last two integers) and lines longer than
/// kMaxReferenceLine characters are skipped whole.  Numbers that are not finite ("nan",
/// "1e999") make their "Vertex" or "Point" line count as unreadable.
TAVOLA_API void ReadReferenceFile(std::istream& in, ReferenceRecord& base,
                                  const std::function<ReferenceRecord&()>& newInset);

} // namespace tavola
