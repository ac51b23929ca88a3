#include <xml/Dom.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using xml::ComError;
using xml::Document;
using xml::Node;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "avilo-xml-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(m_path); }
    fs::path operator/(const std::string& name) const { return m_path / name; }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Builds a plan the way the planner does: declaration, root, one steer point.
xml::DocumentPtr MakePlan() {
    auto doc = Document::Create();
    doc->insertBefore(doc->createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"),
                      Node());
    Node root = doc->appendChild(doc->createElement("avilo"));
    Node sp = doc->createElement("steerpoint");
    sp.setAttribute("phase", "takeoff");
    root.appendChild(sp); // the handle stays usable after the append
    Node coord = sp.appendChild(doc->createElement("GPSCoordinate"));
    coord.appendChild(doc->createElement("longitude")).setText("4.737338");
    coord.appendChild(doc->createElement("latitude")).setText("52.313572");
    sp.appendChild(doc->createElement("timeOverSteerPoint")).setText("00:00");
    return doc;
}

} // namespace

TEST(Dom, EmptyHandlesThrowTheComError) {
    auto doc = Document::Create();
    const Node missing = doc->selectSingleNode("/avilo/steerpoint");
    EXPECT_TRUE(missing.empty());
    try {
        (void)missing.text();
        FAIL() << "no error";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), xml::hr::E_POINTER_);
        EXPECT_EQ(e.ErrorMessage(), "Invalid pointer");
    }
    EXPECT_THROW((void)missing.nodeName(), ComError);
    EXPECT_THROW((void)missing.selectNodes("x"), ComError);
    EXPECT_THROW((void)Node().firstChild(), ComError);
    // An absent attribute is an empty handle; its value through getAttribute is an error.
    Node root = doc->appendChild(doc->createElement("a"));
    EXPECT_TRUE(root.getAttributeNode("name").empty());
    EXPECT_THROW((void)root.getAttribute("name"), ComError);
}

TEST(Dom, ParseErrorsCarryCodeLineAndReason) {
    TempDir dir;
    auto doc = Document::Create();

    EXPECT_FALSE(doc->load((dir / "missing.xml").string()));
    EXPECT_EQ(doc->parseError().errorCode, static_cast<xml::HRESULT>(0x800C0005));
    EXPECT_EQ(doc->parseError().line, 0);
    EXPECT_FALSE(doc->parseError().reason.empty());

    WriteFile(dir / "bad.xml", "<?xml version=\"1.0\"?>\n<avilo>\n  <steerpoint>\n</avilo>\n");
    EXPECT_FALSE(doc->load((dir / "bad.xml").string()));
    EXPECT_EQ(static_cast<std::uint32_t>(doc->parseError().errorCode) & 0xFFFFFF00u, 0xC00CE500u);
    EXPECT_EQ(doc->parseError().line, 4);
    EXPECT_FALSE(doc->parseError().reason.empty());
    EXPECT_TRUE(doc->documentElement().empty()) << "a failed load leaves the document empty";

    struct Case {
        const char* text;
        long line;
    };
    for (const Case& c : {Case{"", 1}, Case{"<a></b>", 1}, Case{"<a/>\n<b/>", 2},
                          Case{"<a>\n<b x=1/></a>", 2}, Case{"<a><!-- x </a>", 1}}) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(doc->loadXML(c.text));
        EXPECT_LT(doc->parseError().errorCode, 0);
        EXPECT_GE(doc->parseError().line, c.line);
    }
    EXPECT_TRUE(doc->loadXML("<a/>"));
    EXPECT_EQ(doc->parseError().errorCode, 0);
}

TEST(Dom, LoadDropsWhitespaceTextAndKeepsCommentsAndInstructions) {
    auto doc = Document::Create();
    ASSERT_TRUE(doc->loadXML("<?xml version=\"1.0\"?>\n<?style x?>\n<a>\n  <!-- note -->\n  "
                             "<b> x </b>\n</a>\n"));
    Node a = doc->documentElement();
    ASSERT_EQ(a.childNodes().length(), 2);
    EXPECT_EQ(a.firstChild().nodeType(), xml::NodeType::Comment);
    EXPECT_EQ(a.firstChild().text(), " note ");
    EXPECT_EQ(a.lastChild().text(), " x ");
    EXPECT_EQ(doc->childNodes().length(), 3); // declaration, instruction, root
    EXPECT_EQ(doc->childNodes().item(1).nodeName(), "style");
}

TEST(Dom, SaveThenLoadRoundTripsAPlanWithoutNamespaces) {
    TempDir dir;
    auto plan = MakePlan();
    const fs::path file = dir / "plan.av";
    plan->save(file.string());
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind("<?xml", 0), 0u) << text;
    EXPECT_EQ(text.find("xmlns"), std::string::npos);

    auto loaded = Document::Create();
    ASSERT_TRUE(loaded->load(file.string()));
    EXPECT_EQ(loaded->selectSingleNode("/avilo/steerpoint/GPSCoordinate/longitude").text(),
              "4.737338");
    EXPECT_EQ(loaded->selectSingleNode("/avilo/steerpoint/@phase").text(), "takeoff");
    EXPECT_EQ(loaded->documentElement().xml(), plan->documentElement().xml());
    // No whitespace nodes came back from the indentation.
    EXPECT_EQ(loaded->documentElement().firstChild().childNodes().length(), 2);
}

TEST(Dom, FailedSaveKeepsTheExistingFile) {
    TempDir dir;
    const fs::path file = dir / "plan.av";
    WriteFile(file, "precious");
    auto plan = MakePlan();
    EXPECT_THROW(plan->save((dir / "no-such-dir" / "plan.av").string()), ComError);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) { // root ignores directory permissions
        EXPECT_THROW(plan->save(file.string()), ComError);
        EXPECT_EQ(ReadFile(file), "precious");
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "plan.av")
        << "no temporary file is left behind";
}

// Hostile files: nesting, size and files that are no files.  Each is refused with a parse error,
// without crashing, blocking or reading without end.
TEST(Dom, LoadRefusesHostileFiles) {
    TempDir dir;
    auto doc = Document::Create();
    const auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<a>";
        text += "x";
        for (int i = 0; i < depth; ++i)
            text += "</a>";
        return text;
    };
    ASSERT_TRUE(doc->loadXML(nested(xml::kMaxElementDepth)));
    EXPECT_EQ(doc->documentElement().text(), "x");

    WriteFile(dir / "deep.av", "<?xml version=\"1.0\"?>\n" + nested(100000));
    ASSERT_FALSE(doc->load((dir / "deep.av").string()));
    EXPECT_EQ(doc->parseError().errorCode, xml::kParseTooDeep);
    EXPECT_EQ(doc->parseError().line, 2);
    EXPECT_EQ(doc->parseError().linepos, 3 * xml::kMaxElementDepth + 2) << "at the deepest <a";
    EXPECT_TRUE(doc->documentElement().empty());
    EXPECT_FALSE(doc->loadXML(nested(xml::kMaxElementDepth + 1)));
    EXPECT_EQ(doc->parseError().errorCode, xml::kParseTooDeep);

    // A sparse file one byte over the limit is refused before it is read.
    const fs::path big = dir / "big.xml";
    WriteFile(big, "<a>");
    fs::resize_file(big, xml::kMaxDocumentBytes + 1);
    EXPECT_FALSE(doc->load(big.string()));
    EXPECT_EQ(doc->parseError().errorCode, xml::kParseFileTooLarge);
    EXPECT_EQ(doc->parseError().line, 0);

    const fs::path fifo = dir / "fifo.av";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo.string(), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(doc->load(path)) << "neither blocks nor reads without end";
        EXPECT_EQ(doc->parseError().errorCode, xml::hr::E_ACCESSDENIED_);
        EXPECT_NE(doc->parseError().reason.find("not a regular file"), std::string::npos);
    }
}

// A document built in memory may nest deeper than a file may: reading it works, saving refuses it
// (it could not be loaded back) and leaves nothing behind.
TEST(Dom, DeepDocumentsBuiltInMemory) {
    TempDir dir;
    auto doc = Document::Create();
    Node inner = doc->createElement("a");
    inner.setText("x");
    for (int i = 0; i < 100000; ++i) { // built from the inside out: each append is then cheap
        Node outer = doc->createElement("a");
        outer.appendChild(inner);
        inner = outer;
    }
    doc->appendChild(inner);
    EXPECT_EQ(doc->documentElement().text(), "x");
    EXPECT_THROW(doc->save((dir / "deep.av").string()), ComError);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// Saving writes through a link, never replaces a FIFO or device, keeps the file's mode and owner,
// and gives a new file the umask's mode.
TEST(Dom, SaveWritesThroughAndKeepsTheFilesAttributes) {
    TempDir dir;
    auto plan = MakePlan();
    const std::string expected = plan->xml();

    WriteFile(dir / "real.av", "old");
    fs::create_symlink("real.av", dir / "link.av");
    plan->save((dir / "link.av").string());
    EXPECT_TRUE(fs::is_symlink(dir / "link.av"));
    EXPECT_EQ(ReadFile(dir / "real.av"), expected);

    const fs::path fifo = dir / "fifo.av";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    try {
        plan->save(fifo.string());
        ADD_FAILURE() << "a FIFO was replaced";
    } catch (const ComError& e) {
        EXPECT_NE(e.Description().find("not a regular file"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));

    WriteFile(dir / "shared.av", "old");
    ASSERT_EQ(::chmod((dir / "shared.av").c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) { // root saving a user's file leaves it the user's
        ASSERT_EQ(::chown((dir / "shared.av").c_str(), 65534, 65534), 0);
    }
    plan->save((dir / "shared.av").string());
    struct stat st {};
    ASSERT_EQ(::stat((dir / "shared.av").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }

    const mode_t previous = ::umask(077);
    plan->save((dir / "new.av").string());
    ::umask(previous);
    ASSERT_EQ(::stat((dir / "new.av").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"fifo.av", "link.av", "new.av", "real.av", "shared.av"}))
        << "no temporary copy is left behind";
}

// A save killed part-way (here by the signal of the file size limit, as a full disk or Ctrl-C
// could) leaves the old file and no partial copy.
TEST(Dom, ASaveKilledPartWayLeavesNothingBehind) {
    TempDir dir;
    WriteFile(dir / "plan.av", "old");
    auto plan = MakePlan();
    for (int i = 0; i < 2000; ++i)
        plan->documentElement().appendChild(plan->createElement("steerpoint"));
    const auto saveUnderALimit = [&] {
        rlimit limit{};
        ::setrlimit(RLIMIT_CORE, &limit);
        limit.rlim_cur = limit.rlim_max = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
        plan->save((dir / "plan.av").string());
        std::exit(0);
    };
    EXPECT_EXIT(saveUnderALimit(), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(ReadFile(dir / "plan.av"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(Dom, HandlesSurviveMovesRemovalAndReload) {
    auto doc = MakePlan();
    Node root = doc->documentElement();
    Node sp = root.firstChild();
    Node removed = root.removeChild(sp);
    EXPECT_TRUE(removed == sp);
    EXPECT_FALSE(root.hasChildNodes());
    EXPECT_TRUE(sp.parentNode().empty());
    EXPECT_TRUE(doc->selectSingleNode("//steerpoint").empty()) << "detached nodes are hidden";
    EXPECT_EQ(sp.selectSingleNode("GPSCoordinate/latitude").text(), "52.313572")
        << "queries from a detached node see its subtree";
    root.appendChild(sp);
    EXPECT_EQ(doc->selectNodes("/avilo/steerpoint").length(), 1);

    // Clearing as the planner does: remove the root, append a new one.
    doc->removeChild(root);
    Node fresh = doc->appendChild(doc->createElement("avilo"));
    EXPECT_TRUE(doc->documentElement() == fresh);
    EXPECT_EQ(doc->firstChild().nodeName(), "xml") << "the instruction stays at the head";
    EXPECT_EQ(doc->childNodes().length(), 2);

    ASSERT_TRUE(doc->loadXML("<avilo/>"));
    EXPECT_THROW((void)fresh.nodeName(), ComError) << "handles from before a load are invalid";
}

TEST(Dom, InsertionRules) {
    auto doc = MakePlan();
    Node root = doc->documentElement();
    EXPECT_THROW(doc->appendChild(doc->createElement("second")), ComError);
    EXPECT_THROW(root.firstChild().appendChild(root), ComError) << "an ancestor cannot move in";
    Node first = root.firstChild();
    Node other = doc->createElement("steerpoint");
    root.insertBefore(other, first);
    EXPECT_TRUE(root.firstChild() == other);
    EXPECT_TRUE(other.nextSibling() == first);
    EXPECT_TRUE(first.nextSibling().empty());

    // Nodes of another document are copied in.
    auto db = Document::Create();
    ASSERT_TRUE(db->loadXML("<db><task name=\"cruise\"><procedure name=\"p\"/></task></db>"));
    Node copy = root.appendChild(db->selectSingleNode("/db/task"));
    EXPECT_EQ(copy.ownerDocument(), doc);
    EXPECT_EQ(copy.selectSingleNode("procedure/@name").text(), "p");
    EXPECT_EQ(db->selectNodes("/db/task").length(), 1) << "the source is unchanged";

    // Clones are detached deep copies; shallow clones keep attributes.
    Node deep = copy.cloneNode(true);
    EXPECT_TRUE(deep.parentNode().empty());
    EXPECT_EQ(deep.childNodes().length(), 1);
    Node shallow = copy.cloneNode(false);
    EXPECT_EQ(shallow.getAttribute("name"), "cruise");
    EXPECT_FALSE(shallow.hasChildNodes());
}

TEST(Dom, TextAndAttributes) {
    auto doc = Document::Create();
    ASSERT_TRUE(doc->loadXML("<a x=\"1\"><b>one</b><c>two<d>three</d></c></a>"));
    Node a = doc->documentElement();
    EXPECT_EQ(a.text(), "onetwothree");
    Node c = a.selectSingleNode("c");
    Node d = c.selectSingleNode("d");
    c.setText("new");
    EXPECT_EQ(c.xml(), "<c>new</c>");
    EXPECT_TRUE(d.parentNode().empty()) << "replaced children are detached, not freed";
    Node x = a.getAttributeNode("x");
    x.setText("2");
    EXPECT_EQ(a.getAttribute("x"), "2");
    a.setAttribute("y", "3");
    EXPECT_EQ(a.attributes().length(), 2);
    a.removeAttribute("y");
    EXPECT_THROW((void)x.text(), ComError) << "attribute handles are invalidated by a removal";
    EXPECT_EQ(a.getAttribute("x"), "2");
}

TEST(Dom, XPathLiteralMatchesNamesWithQuotes) {
    auto doc = Document::Create();
    ASSERT_TRUE(doc->loadXML(R"(<db><a name="plain"/><a name='say "hi"'/>)"
                             R"(<a name="it's &quot;x&quot;"/></db>)"));
    for (const std::string name : {"plain", "say \"hi\"", "it's \"x\""}) {
        SCOPED_TRACE(name);
        const Node n = doc->selectSingleNode("/db/a[@name=" + xml::XPathLiteral(name) + "]");
        ASSERT_FALSE(n.empty());
        EXPECT_EQ(n.getAttribute("name"), name);
    }
    EXPECT_THROW((void)doc->selectNodes("/db/a[@name=\"x\"\"]"), ComError);
    EXPECT_THROW((void)doc->selectNodes("count(/db/a)"), ComError);
}

// XPath reads the numbers of a query and of the document with the C library, which follows the
// locale a Qt program takes from the environment: a decimal comma there must change nothing.
TEST(Dom, XPathComparesNumbersInEveryLocale) {
    auto doc = Document::Create();
    ASSERT_TRUE(doc->loadXML(R"(<db><a lon="4.76"/><a lon="52.31"/><a lon="4,5"/></db>)"));
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "made by scripts/setup";
    const xml::NodeList near = doc->selectNodes("/db/a[@lon > 4.5 and @lon < 4.8]");
    const xml::NodeList all = doc->selectNodes("/db/a[@lon > 0.5]");
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_EQ(near.length(), 1);
    EXPECT_EQ(near.item(0).getAttribute("lon"), "4.76");
    EXPECT_EQ(all.length(), 2) << "\"4,5\" is no number";
}
