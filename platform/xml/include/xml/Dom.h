#pragma once
// A small XML DOM over pugixml with the semantics the planner and the components rely on.
//
//  - A document is shared by reference counting: passing a DocumentPtr gives the callee its own
//    reference; nothing copies a document.
//  - Nodes are handles.  A handle keeps its document alive.  Using an empty handle (a node that a
//    query did not find, an attribute that is absent) throws xml::ComError with E_POINTER, as a
//    null COM smart pointer does.
//  - Nodes created by a document (createElement, cloneNode, removeChild's result) exist detached
//    until appended; a handle stays valid when its node is appended, moved or removed, so code may
//    keep using it.  A node from another document is inserted as a deep copy; use the returned
//    handle for the copy.
//  - load() replaces the whole content.  Handles taken before a load are invalidated: using one
//    throws ComError rather than touching freed memory.
//  - Loading drops whitespace-only text nodes and keeps comments and processing instructions.
//    Saving writes the xml declaration first and indents; reloading drops the indentation.
//  - Parse errors are reported through parseError(): an HRESULT-style code (0xC00CE5xx for
//    malformed XML, 0x800C0005 for a missing file), a 1-based line and column, and a reason.
//  - Loading is bounded (kMaxDocumentBytes, kMaxElementDepth): a larger file, deeper nesting, a
//    FIFO or a device is refused with a parse error instead of exhausting memory or the stack.
//    The layer's own walks are iterative, so documents built in memory may nest deeper;
//    saving refuses those, as they could not be loaded back.

#include "xml/ComError.h"
#include "xml/Export.h"

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
} // namespace pugi

namespace xml {

class Document;
class NodeList;
using DocumentPtr = std::shared_ptr<Document>;

enum class NodeType { Element, Attribute, Text, CData, ProcessingInstruction, Comment, Document };

/// The largest file load() reads: 64 MiB, five times the world airport database (11.6 MB), the
/// largest file the system reads.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t{64} << 20;
/// The deepest element nesting load() and loadXML() accept, the root element being level 1.  The
/// files the system reads nest at most 5 levels; a limit well above that keeps hostile files from
/// costing quadratic time or memory (indented saving writes one tab per level on every line).
inline constexpr int kMaxElementDepth = 256;

/// Parse error codes of the limits (beside pugixml's parse errors, 0xC00CE5xx): a file larger
/// than kMaxDocumentBytes (the system's "file too large" code), and nesting deeper than
/// kMaxElementDepth.  A FIFO, device or socket is refused with E_ACCESSDENIED_, as a directory is.
inline constexpr HRESULT kParseFileTooLarge = static_cast<HRESULT>(0x800700DF);
inline constexpr HRESULT kParseTooDeep = static_cast<HRESULT>(0xC00CE5F0);

/// The parse error record of the last load.  errorCode 0 means the load succeeded.
struct ParseError {
    HRESULT errorCode = 0;
    long line = 0;    ///< 1-based; 0 when the file could not be read at all
    long linepos = 0; ///< 1-based column; 0 when unknown
    std::string reason;
};

/// Builds an XPath string literal that matches `value` exactly, whatever quotes it contains:
/// "value" when it has no double quote, 'value' when it has no single quote, otherwise a
/// concat() of pieces.  Use it wherever a name is placed into a query.
AVILO_XML_API std::string XPathLiteral(std::string_view value);

/// An opaque reference to a node that does not keep its document alive, for indexes kept with
/// Document::memo(): such an index is dropped whenever the content changes, so its keys are
/// always current when used.  Turn a key back into a node with Document::nodeFromKey.
struct NodeKey {
    const void* node = nullptr;
    const void* attr = nullptr;
};

class AVILO_XML_API Node {
public:
    /// The empty handle.
    Node() = default;

    bool empty() const noexcept { return !m_doc || (!m_node && !m_attr); }
    explicit operator bool() const noexcept { return !empty(); }
    /// Same node (both empty, or the same node of the same document).
    bool operator==(const Node& other) const noexcept;

    NodeType nodeType() const;
    /// Element or attribute name, processing instruction target, "#text", "#cdata-section",
    /// "#comment" or "#document".
    std::string nodeName() const;
    /// Text of an element or document: the concatenated text of its descendants.  Of an attribute:
    /// its value.  Of a text, comment or processing instruction node: its content.
    std::string text() const;
    /// Replaces an element's children with one text node (none for an empty text); sets the value
    /// of an attribute, text, comment or processing instruction.
    void setText(std::string_view text);
    /// The node serialised as XML text.
    std::string xml() const;

    Node parentNode() const;
    Node firstChild() const;
    Node lastChild() const;
    Node nextSibling() const;
    Node previousSibling() const;
    bool hasChildNodes() const;
    NodeList childNodes() const;

    /// Appends `child` as the last child and returns it (a copy when it came from another
    /// document).  Throws when this node cannot hold children or `child` is this node or one of
    /// its ancestors.
    Node appendChild(const Node& child);
    /// Inserts `child` before `ref`, a child of this node; an empty `ref` appends.
    Node insertBefore(const Node& child, const Node& ref);
    /// Detaches `child` (which must be a child of this node) and returns it; it can be inserted
    /// again.
    Node removeChild(const Node& child);
    Node replaceChild(const Node& newChild, const Node& oldChild);
    /// A detached copy: with `deep`, of the whole subtree; otherwise of the node and, for an
    /// element, its attributes.
    Node cloneNode(bool deep) const;

    /// XPath 1.0 with this node as the context.  A malformed expression throws ComError.
    Node selectSingleNode(std::string_view xpath) const;
    NodeList selectNodes(std::string_view xpath) const;

    /// The attribute node `name`, or an empty handle when absent.
    Node getAttributeNode(std::string_view name) const;
    /// The attribute's value; an absent attribute throws ComError (type mismatch).
    std::string getAttribute(std::string_view name) const;
    void setAttribute(std::string_view name, std::string_view value);
    void removeAttribute(std::string_view name);
    NodeList attributes() const;

    DocumentPtr ownerDocument() const;
    NodeKey key() const noexcept { return {m_node, m_attr}; }

private:
    friend class Document;
    friend class NodeList;
    AVILO_XML_LOCAL Node(std::shared_ptr<Document> doc, pugi::xml_node_struct* node,
                         pugi::xml_attribute_struct* attr);
    AVILO_XML_LOCAL void check() const;
    bool isAttribute() const noexcept { return m_attr != nullptr; }

    std::shared_ptr<Document> m_doc;
    pugi::xml_node_struct* m_node = nullptr;
    pugi::xml_attribute_struct* m_attr = nullptr;
    std::uint64_t m_generation = 0;
};

/// An ordered list of nodes.  item() out of range gives an empty handle.
class AVILO_XML_API NodeList {
public:
    NodeList() = default;
    explicit NodeList(std::vector<Node> nodes) : m_nodes(std::move(nodes)) {}
    long length() const noexcept { return static_cast<long>(m_nodes.size()); }
    Node item(long index) const;
    auto begin() const noexcept { return m_nodes.begin(); }
    auto end() const noexcept { return m_nodes.end(); }

private:
    std::vector<Node> m_nodes;
};

class AVILO_XML_API Document : public std::enable_shared_from_this<Document> {
public:
    static DocumentPtr Create();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    /// Loads a file, replacing the whole content.  Returns false on failure; parseError() tells
    /// why and the document is then empty.
    bool load(const std::string& path);
    /// Loads from text, as load() does from a file.
    bool loadXML(std::string_view text);
    const ParseError& parseError() const noexcept { return m_parseError; }

    /// Writes the document to `path`.  The file is written beside its destination and renamed
    /// over it only when complete, so a failure never destroys an existing file, and no partial
    /// copy stays behind.  A symbolic link is written through (its target is replaced, the link
    /// stays); an existing file keeps its permission bits and, where the process may set them,
    /// its owner and group; a new file gets 0666 less the umask.  Throws ComError on failure:
    /// an unwritable place, a destination that is not a regular file (a FIFO or device is never
    /// replaced), a document nested deeper than kMaxElementDepth, or no memory.
    void save(const std::string& path) const;
    /// The document as XML text, as save() writes it.  Throws ComError for a document nested
    /// deeper than kMaxElementDepth or when memory runs out.
    std::string xml() const;

    /// The document node itself (for child navigation and absolute queries).
    Node node();
    /// The root element, or an empty handle.
    Node documentElement();

    Node createElement(std::string_view name);
    Node createTextNode(std::string_view text);
    Node createComment(std::string_view text);
    Node createProcessingInstruction(std::string_view target, std::string_view data);
    /// A detached deep (or shallow) copy of `node`, which may belong to another document.
    Node importNode(const Node& node, bool deep);

    // Shorthands for the same operations on node().
    Node selectSingleNode(std::string_view xpath) { return node().selectSingleNode(xpath); }
    NodeList selectNodes(std::string_view xpath) { return node().selectNodes(xpath); }
    Node appendChild(const Node& child) { return node().appendChild(child); }
    Node insertBefore(const Node& child, const Node& ref) {
        return node().insertBefore(child, ref);
    }
    Node removeChild(const Node& child) { return node().removeChild(child); }
    Node firstChild() { return node().firstChild(); }
    Node lastChild() { return node().lastChild(); }
    NodeList childNodes() { return node().childNodes(); }

    /// Increases with every change of the document's content (load, insertion, removal, text or
    /// attribute change).
    std::uint64_t revision() const noexcept;
    /// The node of a key taken from this document at the current revision (see NodeKey).
    Node nodeFromKey(NodeKey key);

    /// A value derived from the document's content, computed by `build` on first use and kept
    /// until the content changes.  Lookups that scan a large read-only document (the airport
    /// database) keep their index here.  `key` names the kind of value; T must be copyable.
    template <typename T>
    const T& memo(const std::string& key, const std::function<T(Document&)>& build) {
        std::any& slot = memoSlot(key);
        if (!slot.has_value())
            slot = build(*this);
        return std::any_cast<const T&>(slot);
    }

    struct Impl;

private:
    std::any& memoSlot(const std::string& key);

    friend class Node;
    AVILO_XML_LOCAL Document();
    AVILO_XML_LOCAL bool loadBuffer(std::string buffer);

    std::unique_ptr<Impl> m_impl;
    ParseError m_parseError;
};

} // namespace xml
