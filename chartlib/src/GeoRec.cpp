// Reference file reader: key=value lines into a CGEORec and its insets.
#include <tavola/GeoRec.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <strings.h>

CRefPoint::CRefPoint(const char* name, int x, int y, double longitude, double latitude)
    : m_strName(name ? name : ""), m_nX(x), m_nY(y), m_dLongitude(longitude),
      m_dLatitude(latitude) {}

CGEORec::CGEORec() = default;
CGEORec::~CGEORec() = default;

namespace {

enum class Field { Inset, Text, SkewAngle, LatOffset, LonOffset, Ignored, Vertex, Point };

struct Key {
    const char* text;
    Field kind;
    std::string CGEORec::*field; // for Field::Text
};

// Keys in matching order: where keys share a beginning the longer one comes first.
const Key kKeys[] = {
    {"[Inset", Field::Inset, nullptr},
    {"Bitmap", Field::Text, &CGEORec::m_strBitmap},
    {"Name", Field::Text, &CGEORec::m_strName},
    {"Source Edition", Field::Text, &CGEORec::m_strSourceEdition},
    {"Scale", Field::Text, &CGEORec::m_strScale},
    {"Order", Field::Text, &CGEORec::m_strOrder},
    {"Id", Field::Text, &CGEORec::m_strId},
    {"Type", Field::Text, &CGEORec::m_strType},
    {"Source", Field::Text, &CGEORec::m_strSource},
    {"Country", Field::Text, &CGEORec::m_strCountry},
    {"Province/State", Field::Text, &CGEORec::m_strProvinceState},
    {"Date Published", Field::Text, &CGEORec::m_strDatePublished},
    {"Last Update", Field::Text, &CGEORec::m_strLastUpdate},
    {"Magnetic Declination Date=", Field::Text, &CGEORec::m_strMagDeclDate},
    {"Magnetic Declination=", Field::Text, &CGEORec::m_strMagDecl},
    {"Magnetic Declination Change", Field::Text, &CGEORec::m_strMagDeclChange},
    {"Depth Units", Field::Text, &CGEORec::m_strDepthUnits},
    {"Sounding Datum", Field::Text, &CGEORec::m_strSoundingDatum},
    {"Projection", Field::Text, &CGEORec::m_strProjection},
    {"PP", Field::Text, &CGEORec::m_strPP},
    {"P1", Field::Text, &CGEORec::m_strP1},
    {"P2", Field::Text, &CGEORec::m_strP2},
    {"P3", Field::Text, &CGEORec::m_strP3},
    {"P4", Field::Text, &CGEORec::m_strP4},
    {"P5", Field::Text, &CGEORec::m_strP5},
    {"P6", Field::Text, &CGEORec::m_strP6},
    {"Skew Angle", Field::SkewAngle, nullptr},
    {"Resolution", Field::Text, &CGEORec::m_strResolution},
    {"Datum", Field::Text, &CGEORec::m_strDatum},
    {"Latitude Offset", Field::LatOffset, nullptr},
    {"Longitude Offset", Field::LonOffset, nullptr},
    {"UL Latitude", Field::Text, &CGEORec::m_strULLatitude},
    {"UL Longitude", Field::Text, &CGEORec::m_strULLongitude},
    {"LR Latitude", Field::Text, &CGEORec::m_strLRLatitude},
    {"LR Longitude", Field::Text, &CGEORec::m_strLRLongitude},
    {"Number of Vertices", Field::Ignored, nullptr},
    {"Vertex", Field::Vertex, nullptr},
    {"Point", Field::Point, nullptr},
};

// scanf-style " %lf": skips white space, parses a double; false if nothing parses.
bool ScanDouble(const char*& p, double* out) {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p)
        return false;
    *out = v;
    p = end;
    return true;
}

// scanf-style " %d", rejecting values outside int (scanf's behaviour there is undefined).
bool ScanInt(const char*& p, int* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    *out = static_cast<int>(v);
    p = end;
    return true;
}

// Pixel coordinate from a conversion result, truncated toward zero; values that are not
// finite or lie outside int become 0 or the nearest int instead of undefined behaviour.
int TruncPixel(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

int ClampInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

void ComputeVertexPixels(CGEORec& rec) {
    for (auto& v : rec.m_Vertices) {
        double x = 0, y = 0;
        rec.wpxy(v->m_dLongitude, v->m_dLatitude, &x, &y);
        v->m_nX = TruncPixel(x);
        v->m_nY = TruncPixel(y);
    }
}

} // namespace

void CGEORec::ReadGEO(const std::string& path, int referenceOnly) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    ReadGEOStream(in, referenceOnly);
}

void CGEORec::ReadGEOStream(std::istream& in, int referenceOnly) {
    CGEORec* current = this;
    std::string line;
    std::streambuf* sb = in.rdbuf();
    bool eof = false;
    while (!eof) {
        // Read one physical line; a line longer than the limit is consumed and skipped whole
        // so that no part of it is taken for a key of its own.
        line.clear();
        bool tooLong = false;
        int c;
        for (;;) {
            c = sb ? sb->sbumpc() : EOF;
            if (c == EOF) {
                eof = true;
                break;
            }
            if (c == '\n')
                break;
            if (line.size() > kMaxLine) // room for a trailing CR
                tooLong = true;
            else
                line.push_back(static_cast<char>(c));
        }
        if (eof && line.empty() && !tooLong)
            break;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (tooLong || line.size() > kMaxLine)
            continue;

        const Key* key = nullptr;
        for (const Key& k : kKeys) {
            const std::size_t n = std::char_traits<char>::length(k.text);
            if (line.size() >= n && strncasecmp(line.c_str(), k.text, n) == 0) {
                key = &k;
                break;
            }
        }
        if (!key)
            continue;
        if (key->kind == Field::Inset) {
            m_Insets.push_back(std::make_unique<CGEORec>());
            current = m_Insets.back().get();
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string value = line.substr(eq + 1);
        switch (key->kind) {
        case Field::Text:
            current->*(key->field) = value;
            break;
        case Field::SkewAngle:
            current->m_dSkewAngle = std::atof(value.c_str());
            break;
        case Field::LatOffset:
            current->m_dLatitudeOffset = std::atof(value.c_str());
            break;
        case Field::LonOffset:
            current->m_dLongitudeOffset = std::atof(value.c_str());
            break;
        case Field::Vertex: {
            const char* p = value.c_str();
            double lat = 0, lon = 0;
            // Non-finite numbers ("nan", "inf") are refused: they would poison every fit.
            if (ScanDouble(p, &lat) && ScanDouble(p, &lon) && std::isfinite(lat) &&
                std::isfinite(lon))
                current->m_Vertices.push_back(
                    std::make_unique<CRefPoint>(line.substr(0, eq).c_str(), 0, 0, lon, lat));
            break;
        }
        case Field::Point: {
            const char* p = value.c_str();
            double lon = 0, lat = 0;
            int row = 0, col = 0;
            if (ScanDouble(p, &lon) && ScanDouble(p, &lat) && ScanInt(p, &row) &&
                ScanInt(p, &col) && std::isfinite(lat) && std::isfinite(lon))
                current->m_RefPoints.push_back(
                    std::make_unique<CRefPoint>(line.substr(0, eq).c_str(), col, row, lon, lat));
            break;
        }
        default:
            break;
        }
    }

    if (referenceOnly != 0)
        return;
    m_nLeft = m_nTop = m_nRight = m_nBottom = 0;
    solvepoly();
    ComputeVertexPixels(*this);
    for (auto& inset : m_Insets) {
        inset->solvepoly();
        ComputeVertexPixels(*inset);
        if (inset->m_RefPoints.empty()) {
            inset->m_nLeft = inset->m_nTop = inset->m_nRight = inset->m_nBottom = 0;
            continue;
        }
        int minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;
        for (const auto& p : inset->m_RefPoints) {
            minX = std::min(minX, p->m_nX);
            maxX = std::max(maxX, p->m_nX);
            minY = std::min(minY, p->m_nY);
            maxY = std::max(maxY, p->m_nY);
        }
        inset->m_nLeft = ClampInt(std::int64_t{minX} - 80);
        inset->m_nTop = ClampInt(std::int64_t{minY} - 80);
        inset->m_nRight = ClampInt(std::int64_t{maxX} + 80);
        inset->m_nBottom = ClampInt(std::int64_t{maxY} + 80);
    }
}

void CGEORec::MinMeanMaxLL() {
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

std::string CGEORec::deg2dms(double d) {
    // An infinite or undefined angle (a reference file may hold "1e999") has no degrees,
    // minutes and seconds: it is named, with the sign rule of the finite form.
    if (!std::isfinite(d))
        return std::isnan(d) ? "-nan" : d > 0 ? "+inf" : "-inf";
    const double a = std::fabs(d);
    const double whole = std::floor(a);
    const double f = a - whole;
    const double minutes = std::floor(f * 60.0);
    const double seconds = f * 3600.0 - minutes * 60.0;
    char buf[64];
    std::snprintf(buf, sizeof buf, d > 0 ? "+%3.3d %2.2d %05.2f" : "-%3.3d %2.2d %05.2f",
                  TruncPixel(whole), static_cast<int>(minutes), seconds);
    return buf;
}
