#include "TestFiles.h"

#include <avilo/PlanDocuments.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr const char* kSchema = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:avilo">
  <xs:complexType name="steerpoint"><xs:sequence>
    <xs:element name="GPSCoordinate"/>
    <xs:choice id="steerpointType">%TYPES%</xs:choice>
  </xs:sequence></xs:complexType>
</xs:schema>)";

std::string SchemaWith(const std::string& types) {
    std::string s = kSchema;
    s.replace(s.find("%TYPES%"), 7, types);
    return s;
}

xml::Node SteerPoint(const std::string& children) {
    auto doc = xml::Document::Create();
    EXPECT_TRUE(doc->loadXML("<steerpoint phase=\"cruise\">" + children + "</steerpoint>"));
    return doc->documentElement();
}

} // namespace

TEST(PlanDocuments, CreatesThePlanAndReportsNothingWhenAllIsThere) {
    ScratchDir dir({"avilo.xsd", "airports.xml"});
    std::vector<std::string> reports;
    avilo::PlanDocuments docs(
        [&](const xml::ComError& e) { reports.push_back(xml::FormatComErrorMessage(e)); });
    EXPECT_TRUE(reports.empty());
    ASSERT_TRUE(docs.m_pSchemas);
    ASSERT_TRUE(docs.m_pAirports);
    EXPECT_FALSE(docs.m_pAirports->documentElement().empty());
    ASSERT_TRUE(docs.m_pPlan);
    EXPECT_TRUE(docs.m_pPlan->documentElement() == docs.m_pRoot);
    EXPECT_EQ(docs.m_pRoot.nodeName(), "avilo");
    EXPECT_EQ(docs.m_pPlan->firstChild().nodeName(), "xml");
    EXPECT_EQ(docs.m_pPlan->xml().rfind("<?xml version='1.0' encoding='UTF-8'?>", 0), 0u);
    ASSERT_TRUE(docs.m_pScript);
    EXPECT_TRUE(docs.m_pScript->documentElement().empty());
}

TEST(PlanDocuments, AMissingSchemaEndsTheFirstBlockOnly) {
    ScratchDir dir({"airports.xml"});
    std::vector<std::string> reports;
    avilo::PlanDocuments docs(
        [&](const xml::ComError& e) { reports.push_back(xml::FormatComErrorMessage(e)); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("COM Error:\r\n", 0), 0u);
    EXPECT_FALSE(docs.m_pSchemas);
    EXPECT_FALSE(docs.m_pAirports) << "the airport database comes after the schema";
    EXPECT_TRUE(docs.m_pPlan);
    EXPECT_FALSE(docs.m_pRoot.empty());
}

TEST(PlanDocuments, AMissingAirportDatabaseIsSilent) {
    ScratchDir dir({"avilo.xsd"});
    std::vector<std::string> reports;
    avilo::PlanDocuments docs(
        [&](const xml::ComError& e) { reports.push_back(xml::FormatComErrorMessage(e)); });
    EXPECT_TRUE(reports.empty());
    ASSERT_TRUE(docs.m_pAirports);
    EXPECT_TRUE(docs.m_pAirports->documentElement().empty());
}

TEST(PlanDocuments, SteerPointTypeFollowsSchemaOrder) {
    ScratchDir dir;
    struct Case {
        const char* types;
        const char* children;
        const char* expected;
    };
    const std::string ag = R"(<xs:element name="airport"/><xs:element name="GPS"/>)";
    const std::string ga = R"(<xs:element name="GPS"/><xs:element name="airport"/>)";
    const Case cases[] = {
        {ag.c_str(), "<GPSCoordinate/><GPS/>", "GPS"},
        {ag.c_str(), "<GPSCoordinate/><task>x</task><airport/>", "airport"},
        {ag.c_str(), "<GPSCoordinate/>", ""},                        // no type element
        {ag.c_str(), "<GPSCoordinate/><balloon/>", ""},              // unknown type
        {ag.c_str(), "<gps/>", ""},                                  // names are case-sensitive
        {ag.c_str(), "", ""},                                        // no children at all
        {ag.c_str(), "<GPSCoordinate/><GPS/><airport/>", "airport"}, // both: schema order
        {ga.c_str(), "<GPSCoordinate/><airport/><GPS/>", "GPS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.types) + " / " + c.children);
        dir.write("plan.xsd", SchemaWith(c.types));
        xml::SchemaCache cache;
        cache.add("urn:avilo", "plan.xsd");
        EXPECT_EQ(avilo::GetSteerPointType(cache, SteerPoint(c.children)), c.expected);
    }
    // Without the group id no name is a type.
    std::string noId = SchemaWith(ag);
    noId.replace(noId.find("steerpointType"), 14, "otherGroup");
    dir.write("plan.xsd", noId);
    xml::SchemaCache cache;
    cache.add("urn:avilo", "plan.xsd");
    EXPECT_EQ(avilo::GetSteerPointType(cache, SteerPoint("<GPS/>")), "");
    // Without the schema the query fails with the COM-style error.
    EXPECT_THROW(avilo::GetSteerPointType(xml::SchemaCache(), SteerPoint("<GPS/>")), xml::ComError);
}

TEST(PlanDocuments, TheProjectSchemaNamesAirportAndGPS) {
    ScratchDir dir({"avilo.xsd"});
    xml::SchemaCache cache;
    cache.add(avilo::kPlanNamespace, avilo::kPlanSchemaFile);
    EXPECT_EQ(avilo::GetSteerPointType(cache, SteerPoint("<GPSCoordinate/><GPS/>")), "GPS");
    EXPECT_EQ(avilo::GetSteerPointType(cache, SteerPoint("<airport/>")), "airport");
    const auto& phases = cache.getSchema("urn:avilo").simpleTypeEnumeration("flightPhaseList");
    EXPECT_EQ(phases.front(), "takeoff");
}

TEST(PlanDocuments, CoordinatesInEitherOrder) {
    auto doc = xml::Document::Create();
    ASSERT_TRUE(doc->loadXML("<p><GPSCoordinate><longitude>4.5</longitude><latitude>52.25"
                             "</latitude></GPSCoordinate><GPSCoordinate><latitude>-33.9"
                             "</latitude><longitude>151.2</longitude></GPSCoordinate></p>"));
    const auto a = avilo::ReadGPSCoordinate(doc->documentElement().firstChild());
    EXPECT_EQ(a.longitude, "4.5");
    EXPECT_EQ(a.latitude, "52.25");
    const auto b = avilo::ReadGPSCoordinate(doc->documentElement().lastChild());
    EXPECT_EQ(b.longitude, "151.2");
    EXPECT_EQ(b.latitude, "-33.9");
    ASSERT_TRUE(doc->loadXML("<p><GPSCoordinate/></p>"));
    EXPECT_THROW(avilo::ReadGPSCoordinate(doc->documentElement().firstChild()), xml::ComError);
}
