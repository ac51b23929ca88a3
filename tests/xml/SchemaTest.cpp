#include <xml/Schema.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
fs::path WriteSchema(const std::string& name, const std::string& body,
                     const std::string& ns = "urn:avilo") {
    const fs::path path = fs::temp_directory_path() / name;
    std::ofstream(path) << "<?xml version=\"1.0\"?>\n"
                           "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                           "targetNamespace=\""
                        << ns << "\">" << body << "</xs:schema>";
    return path;
}
} // namespace

TEST(Schema, ContentModelGroupsAndEnumerations) {
    const fs::path path = WriteSchema("avilo-schema-test.xsd", R"(
      <xs:group name="kinds"><xs:choice><xs:element name="GPS"/><xs:element name="airport"/>
      </xs:choice></xs:group>
      <xs:complexType name="steerpoint">
        <xs:sequence>
          <xs:element name="GPSCoordinate"/>
          <xs:element ref="timeOverSteerPoint"/>
          <xs:group ref="kinds" id="steerpointType"/>
        </xs:sequence>
      </xs:complexType>
      <xs:simpleType name="flightPhaseList"><xs:restriction base="xs:string">
        <xs:enumeration value="takeoff"/><xs:enumeration value="cruise"/>
      </xs:restriction></xs:simpleType>)");
    xml::SchemaCache cache;
    cache.add("urn:avilo", path.string());
    const xml::Schema& schema = cache.getSchema("urn:avilo");
    const auto& model = schema.complexType("steerpoint").contentModel;
    ASSERT_EQ(model.particles.size(), 3u);
    EXPECT_EQ(model.particles[1].name, "timeOverSteerPoint");
    const xml::Particle& group = model.particles[2];
    EXPECT_EQ(group.id, "steerpointType");
    ASSERT_TRUE(group.isModelGroup());
    ASSERT_EQ(group.particles.size(), 2u);
    EXPECT_EQ(group.particles[0].name, "GPS");
    EXPECT_EQ(group.particles[1].name, "airport");
    EXPECT_EQ(schema.simpleTypeEnumeration("flightPhaseList"),
              (std::vector<std::string>{"takeoff", "cruise"}));
    EXPECT_THROW((void)schema.complexType("nothing"), xml::ComError);
    EXPECT_THROW((void)schema.simpleTypeEnumeration("steerpoint"), xml::ComError);
    EXPECT_THROW((void)cache.getSchema("urn:other"), xml::ComError);
    fs::remove(path);
}

TEST(Schema, BadFilesThrow) {
    xml::SchemaCache cache;
    EXPECT_THROW(cache.add("urn:avilo", "/nonexistent/avilo.xsd"), xml::ComError);
    const fs::path other = WriteSchema("avilo-schema-other.xsd", "", "urn:other");
    EXPECT_THROW(cache.add("urn:avilo", other.string()), xml::ComError);
    const fs::path broken = fs::temp_directory_path() / "avilo-schema-broken.xsd";
    std::ofstream(broken) << "<xs:schema";
    EXPECT_THROW(cache.add("urn:avilo", broken.string()), xml::ComError);
    fs::remove(other);
    fs::remove(broken);
}
