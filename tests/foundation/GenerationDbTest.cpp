#include "TestFiles.h"

#include <avilo/GenerationDb.h>
#include <xml/Schema.h>

#include <gtest/gtest.h>

namespace gd = avilo::gendb;

TEST(GenerationDb, Queries) {
    auto db = xml::Document::Create();
    ASSERT_TRUE(db->loadXML(R"(<scrivodb>
        <phase name="takeoff"><task name="takeoff"/><task name="climb"/></phase>
        <phase name="say &quot;hi&quot;"><task name="wave"/></phase>
        <sptype name="airport"><task name="takeoff"/></sptype>
        <sptype name="GPS"><task name="cruise"/></sptype>
        <task name="takeoff" kind="first"><procedure name="takeoff"/></task>
        <task name="takeoff" kind="second"/>
        <procedure name="takeoff"><GPSRunway/><runwayHeading default="0"/></procedure>
      </scrivodb>)"));
    EXPECT_FALSE(gd::PermittedTask(db, "takeoff", "climb").empty());
    EXPECT_TRUE(gd::PermittedTask(db, "takeoff", "cruise").empty());
    EXPECT_FALSE(gd::PermittedTask(db, "say \"hi\"", "wave").empty());
    EXPECT_EQ(gd::TaskDefinition(db, "takeoff").getAttribute("kind"), "first");
    EXPECT_TRUE(gd::TaskDefinition(db, "cruise").empty());
    const auto params = gd::ProcedureParameters(db, "takeoff");
    ASSERT_EQ(params.length(), 2);
    EXPECT_EQ(params.item(1).nodeName(), "runwayHeading");
    EXPECT_EQ(gd::ProcedureParameters(db, "cruise").length(), 0);
    EXPECT_EQ(gd::TasksOfPhase(db, "takeoff"), (std::vector<std::string>{"takeoff", "climb"}));
    EXPECT_TRUE(gd::TasksOfPhase(db, "landing").empty());
    EXPECT_TRUE(gd::TaskOfferedFor(db, "airport", "takeoff"));
    EXPECT_FALSE(gd::TaskOfferedFor(db, "GPS", "takeoff"));
}

TEST(GenerationDb, TheProjectDatabaseAgreesWithPlannerAndExecutor) {
    ScratchDir dir({"scrivodb.xml", "avilo.xsd"});
    auto db = xml::Document::Create();
    ASSERT_TRUE(db->load(gd::kGenerationDatabaseFile));
    EXPECT_FALSE(gd::PermittedTask(db, "takeoff", "takeoff").empty());
    EXPECT_FALSE(gd::PermittedTask(db, "cruise", "cruise").empty());
    EXPECT_TRUE(gd::TaskOfferedFor(db, "airport", "takeoff"));
    EXPECT_TRUE(gd::TaskOfferedFor(db, "GPS", "cruise"));
    EXPECT_FALSE(
        gd::TaskDefinition(db, "takeoff").selectSingleNode("procedure[@name=\"takeoff\"]").empty());
    std::vector<std::string> names;
    for (const xml::Node& p : gd::ProcedureParameters(db, "takeoff"))
        names.push_back(p.nodeName());
    EXPECT_EQ(names, (std::vector<std::string>{"GPSRunway", "runwayHeading", "runwayMagnVar",
                                               "runwayElevation"}));
    // Every phase of the schema is a phase of the database.
    xml::SchemaCache cache;
    cache.add("urn:avilo", "avilo.xsd");
    for (const std::string& phase :
         cache.getSchema("urn:avilo").simpleTypeEnumeration("flightPhaseList"))
        EXPECT_FALSE(gd::TasksOfPhase(db, phase).empty()) << phase;
}
