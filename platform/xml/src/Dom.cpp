#include "xml/Dom.h"

#include "DocumentFile.h"

#include <numbers/Numbers.h>
#include <pugixml.hpp>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xml {

namespace {

constexpr const char* kSource = "avilo-xml";
// Name of the hidden element that holds detached nodes.  It is not a valid XML name, so it can
// never clash with content, and every navigation and query hides it.
constexpr const char* kHolderName = "#detached";

constexpr HRESULT DISP_E_TYPEMISMATCH_ = static_cast<HRESULT>(0x80020005);
constexpr HRESULT E_PATHNOTFOUND_ = static_cast<HRESULT>(0x80070003);

[[noreturn]] void Fail(HRESULT code, std::string description) {
    throw ComError(code, kSource, std::move(description));
}

[[noreturn]] void FailOutOfMemory(const char* what) {
    Fail(hr::E_OUTOFMEMORY_, std::string("Not enough memory ") + what + ".");
}

struct ParseMessage {
    HRESULT code;
    const char* reason;
};

// The layer's one table of parse error codes and reasons.
ParseMessage ParseMessageFor(pugi::xml_parse_status status, bool atEnd) {
    using S = pugi::xml_parse_status;
    if (atEnd && status != S::status_no_document_element)
        return {static_cast<HRESULT>(0xC00CE55F), "Unexpected end of file."};
    switch (status) {
    case S::status_no_document_element:
        return {static_cast<HRESULT>(0xC00CE558), "XML document must have a top level element."};
    case S::status_unrecognized_tag:
        return {static_cast<HRESULT>(0xC00CE504), "A name was started with an invalid character."};
    case S::status_bad_pi:
        return {static_cast<HRESULT>(0xC00CE507),
                "Invalid syntax for a processing instruction or an XML declaration."};
    case S::status_bad_comment:
        return {static_cast<HRESULT>(0xC00CE503), "Incorrect syntax was used in a comment."};
    case S::status_bad_cdata:
        return {static_cast<HRESULT>(0xC00CE50F), "A CDATA section is malformed."};
    case S::status_bad_doctype:
        return {static_cast<HRESULT>(0xC00CE513), "Incorrect document type declaration syntax."};
    case S::status_bad_pcdata:
        return {static_cast<HRESULT>(0xC00CE508),
                "An invalid character was found in text content."};
    case S::status_bad_start_element:
        return {static_cast<HRESULT>(0xC00CE505), "A name contained an invalid character."};
    case S::status_bad_attribute:
        return {static_cast<HRESULT>(0xC00CE502),
                "A string literal was expected, but no opening quotation mark was found."};
    case S::status_bad_end_element:
        return {static_cast<HRESULT>(0xC00CE554), "The end tag of an element is malformed."};
    case S::status_end_element_mismatch:
        return {static_cast<HRESULT>(0xC00CE56D), "End tag does not match the start tag."};
    case S::status_out_of_memory:
        return {hr::E_OUTOFMEMORY_, "Not enough storage is available to complete this operation."};
    default:
        return {static_cast<HRESULT>(0xC00CE50A), "The document is not well formed."};
    }
}

constexpr const char* kTooLargeReason =
    "The file is larger than 64 MB (67108864 bytes), the largest document that is read.";
static_assert(kMaxDocumentBytes == 67108864, "kTooLargeReason names the limit");
constexpr const char* kTooDeepReason =
    "Elements are nested more than 256 levels deep, the deepest document that is read.";
static_assert(kMaxElementDepth == 256, "kTooDeepReason names the limit");

constexpr unsigned kParseFlags =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration;

} // namespace

struct Document::Impl {
    pugi::xml_document doc;
    pugi::xml_node holder; // created on first need; always the document node's last child
    std::uint64_t generation = 1;
    std::uint64_t attrEpoch = 1;
    std::uint64_t revision = 1;
    std::uint64_t memoRevision = 0;
    std::map<std::string, std::any> memos;

    pugi::xml_node Holder() {
        if (!holder) {
            holder = doc.append_child(pugi::node_element);
            holder.set_name(kHolderName);
        }
        return holder;
    }
    bool IsHolder(pugi::xml_node n) const { return holder && n == holder; }
    // The node's top-level ancestor (a child of the document node), or the node itself.
    static pugi::xml_node Top(pugi::xml_node n) {
        while (n.parent() && n.parent().type() != pugi::node_document)
            n = n.parent();
        return n;
    }
    bool Detached(pugi::xml_node n) const {
        return holder && n.type() != pugi::node_document && Top(n) == holder;
    }
    // Moves `n` into the holder, detaching it without freeing it.
    void Detach(pugi::xml_node n) { Holder().append_move(n); }
    // Drops the whole content: every handle taken before becomes invalid.
    void Clear() {
        ++revision;
        ++generation;
        ++attrEpoch;
        holder = pugi::xml_node();
        doc.reset();
    }
};

// ---------------------------------------------------------------------------------------------

std::string XPathLiteral(std::string_view value) {
    if (value.find('"') == std::string_view::npos)
        return "\"" + std::string(value) + "\"";
    if (value.find('\'') == std::string_view::npos)
        return "'" + std::string(value) + "'";
    std::string out = "concat(";
    std::size_t start = 0;
    bool first = true;
    while (start < value.size()) {
        std::size_t quote = value.find('"', start);
        std::string_view piece = value.substr(
            start, quote == std::string_view::npos ? std::string_view::npos : quote - start);
        if (!piece.empty()) {
            out += first ? "" : ", ";
            out += "\"" + std::string(piece) + "\"";
            first = false;
        }
        if (quote == std::string_view::npos)
            break;
        out += first ? "" : ", ";
        out += "'\"'";
        first = false;
        start = quote + 1;
    }
    // concat() needs two arguments at least.
    out += first ? "\"\", \"\")" : ", \"\")";
    return out;
}

// ---------------------------------------------------------------------------------------------
// Node

Node::Node(std::shared_ptr<Document> doc, pugi::xml_node_struct* node,
           pugi::xml_attribute_struct* attr)
    : m_doc(std::move(doc)), m_node(node), m_attr(attr) {
    if (m_doc)
        m_generation = m_attr ? m_doc->m_impl->attrEpoch : m_doc->m_impl->generation;
    if (!m_node && !m_attr)
        m_doc.reset();
}

bool Node::operator==(const Node& other) const noexcept {
    if (empty() || other.empty())
        return empty() && other.empty();
    return m_doc == other.m_doc && m_node == other.m_node && m_attr == other.m_attr;
}

void Node::check() const {
    if (empty())
        Fail(hr::E_POINTER_, "The node does not exist.");
    const auto& impl = *m_doc->m_impl;
    if (m_attr ? m_generation != impl.attrEpoch : m_generation != impl.generation)
        Fail(hr::E_POINTER_, "The node no longer belongs to its document.");
}

NodeType Node::nodeType() const {
    check();
    if (m_attr)
        return NodeType::Attribute;
    switch (pugi::xml_node(m_node).type()) {
    case pugi::node_document:
        return NodeType::Document;
    case pugi::node_element:
        return NodeType::Element;
    case pugi::node_pcdata:
        return NodeType::Text;
    case pugi::node_cdata:
        return NodeType::CData;
    case pugi::node_comment:
        return NodeType::Comment;
    default:
        return NodeType::ProcessingInstruction;
    }
}

std::string Node::nodeName() const {
    check();
    if (m_attr)
        return pugi::xml_attribute(m_attr).name();
    const pugi::xml_node n(m_node);
    switch (n.type()) {
    case pugi::node_document:
        return "#document";
    case pugi::node_pcdata:
        return "#text";
    case pugi::node_cdata:
        return "#cdata-section";
    case pugi::node_comment:
        return "#comment";
    default:
        return n.name();
    }
}

namespace {
// The text of the descendants of `top` in document order, skipping the holder of detached nodes.
// Iterative, so that no nesting of a document built in memory can exhaust the stack.
void AppendText(pugi::xml_node top, std::string& out) {
    pugi::xml_node n = top.first_child();
    while (n) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            out += n.value();
        pugi::xml_node next;
        if (n.type() == pugi::node_element && std::strcmp(n.name(), kHolderName) != 0)
            next = n.first_child();
        if (!next) {
            while (n != top && !n.next_sibling())
                n = n.parent();
            if (n == top)
                break;
            next = n.next_sibling();
        }
        n = next;
    }
}

std::string DeclarationData(pugi::xml_node n) {
    std::string data;
    for (pugi::xml_attribute a : n.attributes()) {
        if (!data.empty())
            data += ' ';
        data += std::string(a.name()) + "=\"" + a.value() + "\"";
    }
    return data;
}
} // namespace

std::string Node::text() const {
    check();
    if (m_attr)
        return pugi::xml_attribute(m_attr).value();
    const pugi::xml_node n(m_node);
    switch (n.type()) {
    case pugi::node_element:
    case pugi::node_document: {
        std::string out;
        try {
            AppendText(n, out);
        } catch (const std::bad_alloc&) {
            FailOutOfMemory("for the text of the node");
        }
        return out;
    }
    case pugi::node_declaration:
        return DeclarationData(n);
    default:
        return n.value();
    }
}

void Node::setText(std::string_view text) {
    check();
    const std::string value(text);
    ++m_doc->m_impl->revision;
    if (m_attr) {
        pugi::xml_attribute(m_attr).set_value(value.c_str());
        return;
    }
    pugi::xml_node n(m_node);
    switch (n.type()) {
    case pugi::node_element: {
        // Detach rather than free the old children, so handles to them stay valid.
        while (pugi::xml_node c = n.first_child())
            m_doc->m_impl->Detach(c);
        if (!value.empty())
            n.append_child(pugi::node_pcdata).set_value(value.c_str());
        return;
    }
    case pugi::node_document:
    case pugi::node_declaration:
        Fail(hr::E_FAIL_, "The text of this node cannot be set.");
    default:
        n.set_value(value.c_str());
    }
}

namespace {
struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};
} // namespace

std::string Node::xml() const {
    check();
    if (m_attr) {
        const pugi::xml_attribute a(m_attr);
        return std::string(a.name()) + "=\"" + a.value() + "\"";
    }
    const pugi::xml_node n(m_node);
    if (n.type() == pugi::node_document)
        return m_doc->xml();
    StringWriter w;
    try {
        n.print(w, "", pugi::format_raw | pugi::format_no_declaration);
    } catch (const std::bad_alloc&) {
        FailOutOfMemory("for the XML text of the node");
    }
    return w.out;
}

Node Node::parentNode() const {
    check();
    if (m_attr)
        return {};
    const pugi::xml_node p = pugi::xml_node(m_node).parent();
    if (!p || m_doc->m_impl->IsHolder(p))
        return {};
    return Node(m_doc, p.internal_object(), nullptr);
}

Node Node::firstChild() const {
    check();
    if (m_attr)
        return {};
    pugi::xml_node c = pugi::xml_node(m_node).first_child();
    if (m_doc->m_impl->IsHolder(c))
        return {};
    return Node(m_doc, c.internal_object(), nullptr);
}

Node Node::lastChild() const {
    check();
    if (m_attr)
        return {};
    pugi::xml_node c = pugi::xml_node(m_node).last_child();
    if (m_doc->m_impl->IsHolder(c))
        c = c.previous_sibling();
    return Node(m_doc, c.internal_object(), nullptr);
}

Node Node::nextSibling() const {
    check();
    const pugi::xml_node n(m_node);
    if (m_attr || m_doc->m_impl->IsHolder(n.parent()))
        return {};
    const pugi::xml_node s = n.next_sibling();
    if (m_doc->m_impl->IsHolder(s))
        return {};
    return Node(m_doc, s.internal_object(), nullptr);
}

Node Node::previousSibling() const {
    check();
    const pugi::xml_node n(m_node);
    if (m_attr || m_doc->m_impl->IsHolder(n.parent()))
        return {};
    return Node(m_doc, n.previous_sibling().internal_object(), nullptr);
}

bool Node::hasChildNodes() const {
    return !firstChild().empty();
}

NodeList Node::childNodes() const {
    check();
    std::vector<Node> nodes;
    if (!m_attr) {
        for (pugi::xml_node c = pugi::xml_node(m_node).first_child(); c; c = c.next_sibling())
            if (!m_doc->m_impl->IsHolder(c))
                nodes.push_back(Node(m_doc, c.internal_object(), nullptr));
    }
    return NodeList(std::move(nodes));
}

Node Node::appendChild(const Node& child) {
    return insertBefore(child, Node());
}

Node Node::insertBefore(const Node& child, const Node& ref) {
    check();
    child.check();
    auto& impl = *m_doc->m_impl;
    pugi::xml_node parent(m_node);
    if (m_attr || (parent.type() != pugi::node_element && parent.type() != pugi::node_document))
        Fail(hr::E_FAIL_, "This node cannot have children.");
    if (child.m_attr)
        Fail(hr::E_FAIL_, "An attribute cannot be inserted as a child.");
    pugi::xml_node before;
    if (!ref.empty()) {
        ref.check();
        before = pugi::xml_node(ref.m_node);
        if (ref.m_doc != m_doc || ref.m_attr || before.parent() != parent)
            Fail(hr::E_INVALIDARG_, "The reference node is not a child of this node.");
    } else if (parent.type() == pugi::node_document && impl.holder) {
        before = impl.holder; // keep the holder last
    }
    const pugi::xml_node source(child.m_node);
    if (parent.type() == pugi::node_document) {
        if (source.type() == pugi::node_pcdata || source.type() == pugi::node_cdata)
            Fail(hr::E_FAIL_, "Text is not allowed at the top level of a document.");
        if (source.type() == pugi::node_element)
            for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
                if (c.type() == pugi::node_element && !impl.IsHolder(c) && c != source)
                    Fail(hr::E_FAIL_, "Only one top level element is allowed in an XML document.");
    }

    pugi::xml_node placed;
    if (child.m_doc != m_doc) {
        placed = before ? parent.insert_copy_before(source, before) : parent.append_copy(source);
    } else {
        if (source == parent || source.type() == pugi::node_document)
            Fail(hr::E_FAIL_, "A node cannot be inserted into itself.");
        placed = before ? parent.insert_move_before(source, before) : parent.append_move(source);
    }
    if (!placed)
        Fail(hr::E_FAIL_, "The node cannot be inserted here (it is an ancestor of this node).");
    ++impl.revision;
    return Node(m_doc, placed.internal_object(), nullptr);
}

Node Node::removeChild(const Node& child) {
    check();
    child.check();
    if (m_attr || child.m_attr || child.m_doc != m_doc ||
        pugi::xml_node(child.m_node).parent() != pugi::xml_node(m_node))
        Fail(hr::E_INVALIDARG_, "The node is not a child of this node.");
    m_doc->m_impl->Detach(pugi::xml_node(child.m_node));
    ++m_doc->m_impl->revision;
    return child;
}

Node Node::replaceChild(const Node& newChild, const Node& oldChild) {
    insertBefore(newChild, oldChild);
    return removeChild(oldChild);
}

Node Node::cloneNode(bool deep) const {
    return ownerDocument()->importNode(*this, deep);
}

namespace {
bool Hidden(const Document::Impl& impl, const pugi::xpath_node& r, bool contextDetached) {
    if (contextDetached)
        return false;
    const pugi::xml_node n = r.node() ? r.node() : r.parent();
    return impl.Detached(n) || impl.IsHolder(n);
}
} // namespace

Node Node::selectSingleNode(std::string_view xpath) const {
    NodeList all = selectNodes(xpath);
    return all.item(0);
}

NodeList Node::selectNodes(std::string_view xpath) const {
    check();
    if (m_attr)
        Fail(hr::E_NOTIMPL_, "Queries from an attribute are not supported.");
    const auto& impl = *m_doc->m_impl;
    const pugi::xml_node context(m_node);
    pugi::xpath_node_set set;
    try {
        // The XPath engine reads and writes numbers with the C library (strtod, sprintf): in the
        // user's locale "52.31" would compare as 52.
        const numbers::CLocaleScope cLocale;
        const pugi::xpath_query query(std::string(xpath).c_str());
        set = context.select_nodes(query);
    } catch (const pugi::xpath_exception& e) {
        Fail(hr::E_FAIL_, std::string(e.what()) + " in query: " + std::string(xpath));
    }
    set.sort();
    const bool contextDetached = impl.Detached(context);
    std::vector<Node> nodes;
    nodes.reserve(set.size());
    for (const pugi::xpath_node& r : set) {
        if (Hidden(impl, r, contextDetached))
            continue;
        if (r.attribute())
            nodes.push_back(Node(m_doc, nullptr, r.attribute().internal_object()));
        else
            nodes.push_back(Node(m_doc, r.node().internal_object(), nullptr));
    }
    return NodeList(std::move(nodes));
}

Node Node::getAttributeNode(std::string_view name) const {
    check();
    const pugi::xml_node n(m_node);
    if (m_attr || n.type() != pugi::node_element)
        return {};
    const pugi::xml_attribute a = n.attribute(std::string(name).c_str());
    return a ? Node(m_doc, nullptr, a.internal_object()) : Node();
}

std::string Node::getAttribute(std::string_view name) const {
    check();
    const pugi::xml_node n(m_node);
    // Looked up directly rather than through getAttributeNode: scans over thousands of airports
    // read attributes this way.
    pugi::xml_attribute a;
    if (!m_attr && n.type() == pugi::node_element)
        for (pugi::xml_attribute c = n.first_attribute(); c; c = c.next_attribute())
            if (name == c.name()) {
                a = c;
                break;
            }
    if (!a)
        Fail(DISP_E_TYPEMISMATCH_, "The attribute '" + std::string(name) + "' does not exist.");
    return a.value();
}

void Node::setAttribute(std::string_view name, std::string_view value) {
    check();
    pugi::xml_node n(m_node);
    if (m_attr || n.type() != pugi::node_element)
        Fail(hr::E_FAIL_, "Only elements carry attributes.");
    const std::string key(name);
    pugi::xml_attribute a = n.attribute(key.c_str());
    if (!a)
        a = n.append_attribute(key.c_str());
    a.set_value(std::string(value).c_str());
    ++m_doc->m_impl->revision;
}

void Node::removeAttribute(std::string_view name) {
    check();
    pugi::xml_node n(m_node);
    if (m_attr || n.type() != pugi::node_element)
        return;
    // Removing frees the attribute; handles to any attribute taken before become invalid
    // rather than dangling.
    if (n.remove_attribute(std::string(name).c_str())) {
        ++m_doc->m_impl->attrEpoch;
        ++m_doc->m_impl->revision;
    }
}

NodeList Node::attributes() const {
    check();
    std::vector<Node> nodes;
    if (!m_attr)
        for (pugi::xml_attribute a : pugi::xml_node(m_node).attributes())
            nodes.push_back(Node(m_doc, nullptr, a.internal_object()));
    return NodeList(std::move(nodes));
}

DocumentPtr Node::ownerDocument() const {
    check();
    return m_doc;
}

// ---------------------------------------------------------------------------------------------
// NodeList

Node NodeList::item(long index) const {
    if (index < 0 || index >= length())
        return {};
    return m_nodes[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------------------------------------
// Document

Document::Document() : m_impl(std::make_unique<Impl>()) {}
Document::~Document() = default;

DocumentPtr Document::Create() {
    return DocumentPtr(new Document());
}

Node Document::node() {
    return Node(shared_from_this(), m_impl->doc.internal_object(), nullptr);
}

Node Document::documentElement() {
    for (pugi::xml_node c = m_impl->doc.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && !m_impl->IsHolder(c))
            return Node(shared_from_this(), c.internal_object(), nullptr);
    return {};
}

Node Document::createElement(std::string_view name) {
    if (name.empty())
        Fail(hr::E_INVALIDARG_, "An element needs a name.");
    pugi::xml_node n = m_impl->Holder().append_child(pugi::node_element);
    if (!n)
        FailOutOfMemory("for a new node");
    n.set_name(std::string(name).c_str());
    return Node(shared_from_this(), n.internal_object(), nullptr);
}

Node Document::createTextNode(std::string_view text) {
    pugi::xml_node n = m_impl->Holder().append_child(pugi::node_pcdata);
    if (!n)
        FailOutOfMemory("for a new node");
    n.set_value(std::string(text).c_str());
    return Node(shared_from_this(), n.internal_object(), nullptr);
}

Node Document::createComment(std::string_view text) {
    pugi::xml_node n = m_impl->Holder().append_child(pugi::node_comment);
    if (!n)
        FailOutOfMemory("for a new node");
    n.set_value(std::string(text).c_str());
    return Node(shared_from_this(), n.internal_object(), nullptr);
}

Node Document::createProcessingInstruction(std::string_view target, std::string_view data) {
    if (target.empty())
        Fail(hr::E_INVALIDARG_, "A processing instruction needs a target.");
    pugi::xml_node n = m_impl->Holder().append_child(pugi::node_pi);
    if (!n)
        FailOutOfMemory("for a new node");
    n.set_name(std::string(target).c_str());
    n.set_value(std::string(data).c_str());
    return Node(shared_from_this(), n.internal_object(), nullptr);
}

Node Document::importNode(const Node& node, bool deep) {
    node.check();
    auto self = shared_from_this();
    if (node.m_attr)
        Fail(hr::E_NOTIMPL_, "Attributes cannot be cloned on their own.");
    const pugi::xml_node source(node.m_node);
    if (source.type() == pugi::node_document)
        Fail(hr::E_NOTIMPL_, "A document cannot be cloned into a node.");
    pugi::xml_node holder = m_impl->Holder();
    if (!holder)
        FailOutOfMemory("for a copy of the node");
    pugi::xml_node copy;
    if (deep) {
        copy = holder.append_copy(source);
    } else {
        copy = holder.append_child(source.type());
        copy.set_name(source.name());
        copy.set_value(source.value());
        for (pugi::xml_attribute a : source.attributes())
            copy.append_copy(a);
    }
    if (!copy)
        Fail(hr::E_OUTOFMEMORY_, "The node could not be copied.");
    return Node(self, copy.internal_object(), nullptr);
}

bool Document::loadBuffer(std::string buffer) {
    m_impl->Clear();
    m_parseError = ParseError{};
    if (buffer.size() > kMaxDocumentBytes) {
        m_parseError = ParseError{kParseFileTooLarge, 0, 0, kTooLargeReason};
        return false;
    }
    const pugi::xml_parse_result result =
        m_impl->doc.load_buffer(buffer.data(), buffer.size(), kParseFlags, pugi::encoding_auto);
    std::size_t offset = 0;
    ParseMessage message{0, ""};
    if (!result) {
        offset = static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset);
        message = ParseMessageFor(result.status, offset >= buffer.size());
    } else {
        // pugixml accepts several top-level elements and top-level text; XML does not.
        int elements = 0;
        for (pugi::xml_node c = m_impl->doc.first_child(); c; c = c.next_sibling()) {
            if (c.type() == pugi::node_element && ++elements > 1) {
                message = {static_cast<HRESULT>(0xC00CE556),
                           "Only one top level element is allowed in an XML document."};
            } else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
                message = {static_cast<HRESULT>(0xC00CE555),
                           "Invalid at the top level of the document."};
            }
            if (message.code != 0)
                break;
        }
        // Point at the start of the offending node where pugixml tells it.
        offset = buffer.size();
        if (message.code == 0)
            if (const pugi::xml_node deep = detail::FirstTooDeep(m_impl->doc, 0)) {
                message = {kParseTooDeep, kTooDeepReason};
                // Where the element's name starts, when pugixml knows it.
                const std::ptrdiff_t at = deep.offset_debug();
                if (at >= 0)
                    offset = static_cast<std::size_t>(at);
            }
    }
    if (message.code == 0)
        return true;
    m_impl->doc.reset();
    const std::size_t end = offset < buffer.size() ? offset : buffer.size();
    long line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < end; ++i)
        if (buffer[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    m_parseError =
        ParseError{message.code, line, static_cast<long>(end - lineStart) + 1, message.reason};
    return false;
}

bool Document::load(const std::string& path) {
    std::string content;
    int err = 0;
    const detail::ReadStatus status = detail::ReadDocumentFile(path, content, err);
    if (status == detail::ReadStatus::Ok) {
        try {
            return loadBuffer(std::move(content));
        } catch (const std::bad_alloc&) {
            m_impl->Clear();
            m_parseError =
                ParseError{hr::E_OUTOFMEMORY_, 0, 0,
                           "Not enough storage is available to complete this operation."};
            return false;
        }
    }
    m_impl->Clear();
    using S = detail::ReadStatus;
    switch (status) {
    case S::AccessDenied:
        m_parseError = ParseError{hr::E_ACCESSDENIED_, 0, 0, "Access is denied."};
        break;
    case S::NotRegular:
        // A FIFO would block the reader and a device such as /dev/zero never ends.
        m_parseError = ParseError{hr::E_ACCESSDENIED_, 0, 0,
                                  "The file is not a regular file (a FIFO, device or socket)."};
        break;
    case S::TooLarge:
        m_parseError = ParseError{kParseFileTooLarge, 0, 0, kTooLargeReason};
        break;
    case S::OutOfMemory:
        m_parseError = ParseError{hr::E_OUTOFMEMORY_, 0, 0,
                                  "Not enough storage is available to complete this operation."};
        break;
    case S::ReadFailed:
        m_parseError = ParseError{hr::E_FAIL_, 0, 0,
                                  std::string("The file cannot be read: ") + std::strerror(err)};
        break;
    default:
        m_parseError = ParseError{hr::INET_E_OBJECT_NOT_FOUND_, 0, 0,
                                  "The system cannot locate the resource specified."};
        break;
    }
    return false;
}

bool Document::loadXML(std::string_view text) {
    try {
        return loadBuffer(std::string(text));
    } catch (const std::bad_alloc&) {
        m_impl->Clear();
        m_parseError = ParseError{hr::E_OUTOFMEMORY_, 0, 0,
                                  "Not enough storage is available to complete this operation."};
        return false;
    }
}

std::string Document::xml() const {
    // Indented text costs one tab per level on every line, quadratic in the depth; deeper
    // documents (built in memory) would not load back anyway.
    for (pugi::xml_node c = m_impl->doc.first_child(); c; c = c.next_sibling())
        if (!m_impl->IsHolder(c) && detail::FirstTooDeep(c, 1))
            Fail(hr::E_FAIL_, "The document nests elements more than " +
                                  std::to_string(kMaxElementDepth) +
                                  " levels deep and cannot be written.");
    try {
        StringWriter w;
        bool first = true;
        for (pugi::xml_node c = m_impl->doc.first_child(); c; c = c.next_sibling()) {
            if (m_impl->IsHolder(c))
                continue;
            const bool isDecl = c.type() == pugi::node_declaration ||
                                (c.type() == pugi::node_pi && std::strcmp(c.name(), "xml") == 0);
            if (first && !isDecl)
                w.out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
            first = false;
            c.print(w, "\t", pugi::format_indent | pugi::format_no_declaration);
        }
        if (first)
            w.out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        return w.out;
    } catch (const std::bad_alloc&) {
        FailOutOfMemory("for the XML text of the document");
    }
}

std::uint64_t Document::revision() const noexcept {
    return m_impl->revision;
}

Node Document::nodeFromKey(NodeKey key) {
    return Node(shared_from_this(),
                static_cast<pugi::xml_node_struct*>(const_cast<void*>(key.node)),
                static_cast<pugi::xml_attribute_struct*>(const_cast<void*>(key.attr)));
}

std::any& Document::memoSlot(const std::string& key) {
    if (m_impl->memoRevision != m_impl->revision) {
        m_impl->memos.clear();
        m_impl->memoRevision = m_impl->revision;
    }
    return m_impl->memos[key];
}

namespace {
HRESULT FromErrno(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return hr::E_ACCESSDENIED_;
    case ENOSPC:
    case EDQUOT:
        return hr::E_DISKFULL_;
    case ENOENT:
    case ENOTDIR:
        return E_PATHNOTFOUND_;
    default:
        return hr::E_FAIL_;
    }
}

[[noreturn]] void FailWrite(const std::string& path, int err) {
    Fail(FromErrno(err), "Cannot write '" + path + "': " + std::strerror(err));
}

// The file a save replaces: `path`, or the file its chain of symbolic links ends at (which need
// not exist yet, as for a dangling link).  Saving writes through links, as writing to an opened
// path would, so the link stays a link.
std::string SaveTarget(const std::string& path) {
    constexpr int kMaxLinks = 40; // as the kernel's ELOOP limit
    std::string target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        if (hops == kMaxLinks)
            FailWrite(path, ELOOP);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0)
            FailWrite(path, errno);
        if (static_cast<std::size_t>(n) >= link.size())
            FailWrite(path, ENAMETOOLONG);
        link.resize(static_cast<std::size_t>(n));
        // A relative link is relative to the folder that holds it.
        const std::size_t slash = target.rfind('/');
        if (link.front() != '/' && slash != std::string::npos)
            link = target.substr(0, slash + 1) + link;
        target = std::move(link);
    }
}

std::string FolderOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
}

// The copy a save writes before renaming it over the destination.  Preferably an unnamed file
// (O_TMPFILE), which vanishes with the process if the save is killed; it is named
// "<target>.XXXXXX" only once complete, just before the rename.  Where the file system cannot
// make one, it is that named file from the start.  Whatever ends the save early (a failed call,
// an exception) closes and removes it.
class TemporaryFile {
public:
    TemporaryFile(const std::string& path, const std::string& target)
        : m_path(path), m_target(target) {
        std::uint64_t seed = static_cast<std::uint64_t>(::getpid()) ^
                             static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this));
        try {
            seed ^= static_cast<std::uint64_t>(std::random_device{}()) << 32;
        } catch (const std::exception&) {
            // O_EXCL and link() never replace a file; the seed only spreads the names.
        }
        m_random.seed(seed);
        // Mode 0666 lets the kernel apply the umask (and a folder's default ACL) as it does for
        // any new file; mkstemp's 0600 would not.
#ifdef O_TMPFILE
        m_fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return;
#endif
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = NextName();
            m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_name = std::move(name);
                return;
            }
            if (errno != EEXIST)
                FailWrite(m_path, errno);
        }
        FailWrite(m_path, EEXIST);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_renamed && !m_name.empty())
            ::unlink(m_name.c_str());
    }

    int fd() const {
        return m_fd;
    }

    // Names an unnamed copy, closes it and renames it over the destination.
    void Commit() {
        if (m_name.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
            for (int attempt = 0; m_name.empty(); ++attempt) {
                std::string name = NextName();
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
                    0)
                    m_name = std::move(name);
                else if (errno != EEXIST || attempt == 100)
                    FailWrite(m_path, errno);
            }
        }
        if (::close(std::exchange(m_fd, -1)) != 0)
            FailWrite(m_path, errno);
        if (::rename(m_name.c_str(), m_target.c_str()) != 0)
            FailWrite(m_path, errno);
        m_renamed = true;
    }

private:
    std::string NextName() {
        static constexpr char kChars[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
        std::string name = m_target + ".XXXXXX";
        for (std::size_t i = name.size() - 6; i < name.size(); ++i)
            name[i] = kChars[pick(m_random)];
        return name;
    }

    const std::string& m_path;
    const std::string& m_target;
    std::mt19937_64 m_random;
    std::string m_name;
    int m_fd = -1;
    bool m_renamed = false;
};

// Makes the rename itself durable; a failure here loses nothing already written.
void SyncFolderOf(const std::string& target) {
    const int fd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}
} // namespace

void Document::save(const std::string& path) const {
    const std::string content = xml();
    try {
        const std::string target = SaveTarget(path);
        struct stat old {};
        bool exists = false;
        if (::stat(target.c_str(), &old) == 0) {
            if (S_ISDIR(old.st_mode))
                FailWrite(path, EISDIR);
            // A FIFO or device is never replaced by a regular file (as root, /dev/null could be).
            if (!S_ISREG(old.st_mode))
                Fail(hr::E_ACCESSDENIED_, "Cannot write '" + path +
                                              "': it is not a regular file (a FIFO, device or "
                                              "socket is not replaced).");
            exists = true;
        } else if (errno != ENOENT) {
            FailWrite(path, errno);
        }

        TemporaryFile tmp(path, target);
        if (exists) {
            // The replacement keeps the file's owner and group where the process may set them
            // (root may; an owner may set a group it belongs to), then its permission bits: a
            // change of owner clears the set-user-ID and set-group-ID bits.
            if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
                ::fchown(tmp.fd(), old.st_uid, old.st_gid) != 0)
                (void)::fchown(tmp.fd(), static_cast<uid_t>(-1), old.st_gid);
            if (::fchmod(tmp.fd(), old.st_mode & 07777) != 0)
                FailWrite(path, errno);
        }
        std::size_t written = 0;
        while (written < content.size()) {
            const ssize_t n = ::write(tmp.fd(), content.data() + written, content.size() - written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                FailWrite(path, errno);
            }
            written += static_cast<std::size_t>(n);
        }
        if (::fsync(tmp.fd()) != 0)
            FailWrite(path, errno);
        tmp.Commit();
        SyncFolderOf(target);
    } catch (const std::bad_alloc&) {
        FailOutOfMemory("to write the file");
    }
}

} // namespace xml
