// Palm database books for the loader: detection, and the import that feeds
// the decoded text to the HTML parser or the plain-text importer.
#pragma once

#include "formats/fileparser.h"
#include "formats/pdbcontainer.h"
#include "formats/pdbfile.h"
#include "foundation/props.h"
#include "streams/container.h"
#include "streams/stream.h"

class ldomDocument;

// The kind the database header names (type and creator), without reading
// any further: a file of kind 1 to 4 is a Palm database book, readable or
// not. PDBKindNone for anything else (and for files under 80 bytes).
PDBKind pdbKindOf(const StreamHandle& stream);

// True when stream is a readable PDB book of kind 1, 2 or 4: the database
// header, the record table and the record-0 header pass every check. Nothing
// is decoded; contentFormat is left 0.
bool pdbDetect(const StreamHandle& stream, int& contentFormat);

// Opens a PDB book fully: a PDBFile over stream (the decoded text, its
// metadata and sniffed content format) and the container of its images. On
// success stream is replaced by the PDBFile, the container holds the PDBFile
// as its stream, and contentFormat is 1 (PML), 2 (plain text) or 5 (HTML).
// On failure everything is left as it was and the result is false.
bool pdbOpen(StreamHandle& stream, PDBFileHandle& file, PDBContainerHandle& container,
             int& contentFormat);

// Imports a PDB book into doc:
//  1. opens it fully (pdbOpen); on failure nothing changes and the result is
//     false;
//  2. stream becomes the PDBFile and container the book's image container
//     (image references of the document resolve in it: an img with
//     recindex n names the item "mobi_image_" + (n - 1));
//  3. the metadata ("doc.title", "doc.authors", ...) is merged into the
//     document's properties;
//  4. HTML content goes through the HTML parser into the HTML writer filter,
//     with the charset the book's header gives; when the HTML format check
//     fails on it, or the content is PML or plain text, the plain-text
//     importer (not preformatted) reads it into the document writer instead.
// progress may be null. contentFormat receives 1 (PML), 2 (plain text) or
// 5 (HTML). True when the parse ran.
bool pdbImport(StreamHandle& stream, ldomDocument* doc, LVParserProgressListener* progress,
               ContainerHandle& container, int& contentFormat);
