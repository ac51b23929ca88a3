#pragma once
// Reading a document file within the layer's limits, shared by the DOM and the schema cache.

#include <pugixml.hpp>

#include <string>

namespace xml::detail {

enum class ReadStatus {
    Ok,
    NotFound,     ///< no such file (or a path that cannot lead to one)
    AccessDenied, ///< no permission, or a directory
    NotRegular,   ///< a FIFO, device or socket
    TooLarge,     ///< more than kMaxDocumentBytes
    OutOfMemory,
    ReadFailed, ///< an input/output error while reading
};

/// Reads the whole regular file `path` into `out`.  Never blocks on a FIFO (it is refused before
/// and after opening), never reads more than kMaxDocumentBytes + 1 bytes, never throws.  On a
/// failure other than NotFound, AccessDenied or NotRegular, `error` holds errno.
ReadStatus ReadDocumentFile(const std::string& path, std::string& out, int& error) noexcept;

/// The first element below `top` (in document order) nested deeper than kMaxElementDepth, or an
/// empty node.  `topDepth` is the depth of `top` itself: 0 for a document node, 1 for a root
/// element.  Iterative, so safe on any depth.
pugi::xml_node FirstTooDeep(pugi::xml_node top, int topDepth) noexcept;

} // namespace xml::detail
