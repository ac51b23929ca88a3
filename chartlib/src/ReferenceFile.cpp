// Reference file reader: key=value lines into a record and its insets.
#include <tavola/ReferenceFile.h>

#include "Scan.h"

#include <numbers/Numbers.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <strings.h>

CRefPoint::CRefPoint(const char* name, int x, int y, double longitude, double latitude)
    : m_strName(name ? name : ""), m_nX(x), m_nY(y), m_dLongitude(longitude),
      m_dLatitude(latitude) {}

namespace tavola {
namespace {

enum class Field { Inset, Text, SkewAngle, LatOffset, LonOffset, Ignored, Vertex, Point };

struct Key {
    const char* text;
    Field kind;
    std::string ReferenceRecord::*field; // for Field::Text
};

// Keys in matching order: where keys share a beginning the longer one comes first.
const Key kKeys[] = {
    {"[Inset", Field::Inset, nullptr},
    {"Bitmap", Field::Text, &ReferenceRecord::m_strBitmap},
    {"Name", Field::Text, &ReferenceRecord::m_strName},
    {"Source Edition", Field::Text, &ReferenceRecord::m_strSourceEdition},
    {"Scale", Field::Text, &ReferenceRecord::m_strScale},
    {"Order", Field::Text, &ReferenceRecord::m_strOrder},
    {"Id", Field::Text, &ReferenceRecord::m_strId},
    {"Type", Field::Text, &ReferenceRecord::m_strType},
    {"Source", Field::Text, &ReferenceRecord::m_strSource},
    {"Country", Field::Text, &ReferenceRecord::m_strCountry},
    {"Province/State", Field::Text, &ReferenceRecord::m_strProvinceState},
    {"Date Published", Field::Text, &ReferenceRecord::m_strDatePublished},
    {"Last Update", Field::Text, &ReferenceRecord::m_strLastUpdate},
    {"Magnetic Declination Date=", Field::Text, &ReferenceRecord::m_strMagDeclDate},
    {"Magnetic Declination=", Field::Text, &ReferenceRecord::m_strMagDecl},
    {"Magnetic Declination Change", Field::Text, &ReferenceRecord::m_strMagDeclChange},
    {"Depth Units", Field::Text, &ReferenceRecord::m_strDepthUnits},
    {"Sounding Datum", Field::Text, &ReferenceRecord::m_strSoundingDatum},
    {"Projection", Field::Text, &ReferenceRecord::m_strProjection},
    {"PP", Field::Text, &ReferenceRecord::m_strPP},
    {"P1", Field::Text, &ReferenceRecord::m_strP1},
    {"P2", Field::Text, &ReferenceRecord::m_strP2},
    {"P3", Field::Text, &ReferenceRecord::m_strP3},
    {"P4", Field::Text, &ReferenceRecord::m_strP4},
    {"P5", Field::Text, &ReferenceRecord::m_strP5},
    {"P6", Field::Text, &ReferenceRecord::m_strP6},
    {"Skew Angle", Field::SkewAngle, nullptr},
    {"Resolution", Field::Text, &ReferenceRecord::m_strResolution},
    {"Datum", Field::Text, &ReferenceRecord::m_strDatum},
    {"Latitude Offset", Field::LatOffset, nullptr},
    {"Longitude Offset", Field::LonOffset, nullptr},
    {"UL Latitude", Field::Text, &ReferenceRecord::m_strULLatitude},
    {"UL Longitude", Field::Text, &ReferenceRecord::m_strULLongitude},
    {"LR Latitude", Field::Text, &ReferenceRecord::m_strLRLatitude},
    {"LR Longitude", Field::Text, &ReferenceRecord::m_strLRLongitude},
    {"Number of Vertices", Field::Ignored, nullptr},
    {"Vertex", Field::Vertex, nullptr},
    {"Point", Field::Point, nullptr},
};

const Key* FindKey(const std::string& line) {
    for (const Key& k : kKeys) {
        const std::size_t n = std::char_traits<char>::length(k.text);
        if (line.size() >= n && strncasecmp(line.c_str(), k.text, n) == 0)
            return &k;
    }
    return nullptr;
}

// Reads one physical line without its LF and a trailing CR.  A line longer than the limit is
// consumed whole and reported as such, so that no part of it is taken for a key of its own.
// False at the end of the input.
bool ReadLine(std::streambuf* sb, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    for (;;) {
        const int c = sb ? sb->sbumpc() : EOF;
        if (c == EOF) {
            if (line.empty() && !tooLong)
                return false;
            break;
        }
        if (c == '\n')
            break;
        if (line.size() > kMaxReferenceLine) // one character over: room for a trailing CR
            tooLong = true;
        else
            line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    tooLong = tooLong || line.size() > kMaxReferenceLine;
    return true;
}

} // namespace

void ReadReferenceFile(std::istream& in, ReferenceRecord& base,
                       const std::function<ReferenceRecord&()>& newInset) {
    ReferenceRecord* current = &base;
    std::string line;
    bool tooLong = false;
    while (ReadLine(in.rdbuf(), line, tooLong)) {
        if (tooLong)
            continue;
        const Key* key = FindKey(line);
        if (!key)
            continue;
        if (key->kind == Field::Inset) {
            current = &newInset();
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const char* value = line.c_str() + eq + 1;
        switch (key->kind) {
        case Field::Text:
            current->*(key->field) = value;
            break;
        case Field::SkewAngle:
            current->m_dSkewAngle = numbers::ToDouble(value);
            break;
        case Field::LatOffset:
            current->m_dLatitudeOffset = numbers::ToDouble(value);
            break;
        case Field::LonOffset:
            current->m_dLongitudeOffset = numbers::ToDouble(value);
            break;
        case Field::Vertex: {
            double lat = 0, lon = 0;
            // Non-finite numbers ("nan", "inf") are refused: they would poison every fit.
            if (scan::Double(value, &lat) && scan::Double(value, &lon) && std::isfinite(lat) &&
                std::isfinite(lon))
                current->m_Vertices.push_back(
                    std::make_unique<CRefPoint>(line.substr(0, eq).c_str(), 0, 0, lon, lat));
            break;
        }
        case Field::Point: {
            double lon = 0, lat = 0;
            int row = 0, col = 0;
            if (scan::Double(value, &lon) && scan::Double(value, &lat) && scan::Int(value, &row) &&
                scan::Int(value, &col) && std::isfinite(lat) && std::isfinite(lon))
                current->m_RefPoints.push_back(
                    std::make_unique<CRefPoint>(line.substr(0, eq).c_str(), col, row, lon, lat));
            break;
        }
        case Field::Inset:
        case Field::Ignored:
            break;
        }
    }
}

void ReferenceRecord::MinMeanMaxLL() {
    m_dMinLat = m_dMinLon = DBL_MAX;
    m_dMaxLat = m_dMaxLon = -DBL_MAX;
    for (const auto& v : m_Vertices) {
        m_dMinLat = std::min(m_dMinLat, v->m_dLatitude);
        m_dMaxLat = std::max(m_dMaxLat, v->m_dLatitude);
        m_dMinLon = std::min(m_dMinLon, v->m_dLongitude);
        m_dMaxLon = std::max(m_dMaxLon, v->m_dLongitude);
    }
    if (m_Vertices.empty()) {
        m_dMidLat = m_dMidLon = 0.0;
    } else {
        m_dMidLat = (m_dMinLat + m_dMaxLat) * 0.5;
        m_dMidLon = (m_dMinLon + m_dMaxLon) * 0.5;
    }
}

} // namespace tavola
