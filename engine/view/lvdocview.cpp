#include "view/lvdocview.h"

#include "dom/docmeta.h"
#include "dom/ldomnode.h"
#include "dom/nametables.h"
#include "dom/writer.h"
#include "formats/bookmarkparser.h"
#include "formats/pdbimport.h"
#include "formats/textparser.h"
#include "formats/xmlparser.h"
#include "foundation/log.h"
#include "foundation/timelimit.h"
#include "streams/filestream.h"
#include "streams/paths.h"

namespace {

// Books of at most this many bytes parse faster than a cache file can be
// looked up.
constexpr lvsize_t kCacheLookupMinSize = 0x10000;
// The HTML title is cut to this many characters.
constexpr int32_t kMaxTitleChars = 1024;

LVString16 u(const char* utf8) { return LVString16(utf8); }

}  // namespace

const char* getDocFormatName(int id) {
    static const char* const names[] = {
        "Unknown format", "FictionBook (FB2)", "Plain text (TXT)", "Rich text (RTF)", "EPUB",
        "HTML",           "QL3 TXT Bookmark",  "CHM",              "DOC",
    };
    return id >= 0 && id <= doc_format_doc ? names[id] : names[0];
}

bool splitArchivePath(const LVString16& name, LVString16& archiveName, LVString16& entryName) {
    int32_t at = name.indexOf("@/");
    if (at < 0) at = name.indexOf("@\\");
    if (at <= 0 || at + 2 >= name.length()) return false;
    archiveName = name.substr(0, at);
    entryName = name.substr(at + 2);
    return true;
}

LVDocView::LVDocView(int bitsPerPixel)
    : docProps_(createPropsContainer()),
      settings_(createPropsContainer()),
      bitsPerPixel_(bitsPerPixel) {}

LVDocView::~LVDocView() { closeDocument(); }

// ---- properties and events ----------------------------------------------------

void LVDocView::setDocumentFormat(int id) {
    docFormat_ = id;
    docProps_->setString("doc.file.format", getDocFormatName(id));
    docProps_->setInt("doc.file.format.id", id);
}

void LVDocView::onCachedFormatKnown(int formatId) {
    setDocumentFormat(formatId);
    if (callback_) callback_->OnLoadFileFormatDetected(formatId);
    refreshStyleSheet();
}

void LVDocView::raiseLoadError(const char* message) {
    if (callback_) callback_->OnLoadFileError(u(message));
}

bool LVDocView::hasDocument() const {
    if (!doc_ || !doc_->getRootNode()) return false;
    LVString16 name;
    return docProps_->getString("doc.file.name", name) && !name.empty();
}

void LVDocView::moveFilePropsToArchive(const QLPropRef& props) {
    static const char* const keys[][2] = {{"doc.file.name", "doc.archive.name"},
                                          {"doc.file.path", "doc.archive.path"},
                                          {"doc.file.size", "doc.archive.size"}};
    for (const auto& k : keys) {
        LVString16 value;
        if (props->getString(k[0], value) && !value.empty()) props->setString(k[1], value);
        props->setString(k[0], LVString16());
    }
    props->setString("doc.file.crc32", "0");
}

// ---- layout hooks ------------------------------------------------------------

void LVDocView::updateRenderProps(int width, int height) {
    if (width > 0) width_ = width;
    if (height > 0) height_ = height;
    if (!doc_) return;
    updateShowCover();
}

void LVDocView::refreshStyleSheet() {
    // Style sheets arrive with the layout engine; until then the document
    // keeps the element defaults of its name tables.
}

void LVDocView::layoutStale() {
    rendered_ = false;
    sectionBoundsValid_ = false;
    if (callback_) callback_->OnLayoutInvalidated();
}

void LVDocView::invalidateLayout() {
    layoutStale();
    clearDocumentImageCache();
}

void LVDocView::clearDocumentImageCache() {
    // Decoded images are cached by the drawing code, which does not exist yet.
}

// ---- documents ----------------------------------------------------------------

void LVDocView::closeDocument() {
    doc_.reset();
    docProps_->clear();
    stream_.reset();
    container_.reset();
    archive_.reset();
    pendingPosition_.clear();
    rendered_ = false;
    swapDone_ = false;
    positionSet_ = false;
    scrollPos_ = 0;
    pageIndex_ = 0;
    fileName_.clear();
    layoutStale();
}

void LVDocView::startEmptyDocument() {
    rendered_ = false;
    positionSet_ = false;
    swapDone_ = false;
    pendingPosition_.clear();
    doc_.reset();
    doc_ = ldomDocument::create();
    if (!doc_) {
        LOG_ERROR("LVDocView: cannot create a document (too many open documents)");
        return;
    }
    sectionBoundsValid_ = false;
    doc_->setProps(docProps_);
    uint32_t flags = 0;
    if (settings_->getBoolOr("qlengine.file.txt.preformatted", false))
        flags |= DOC_FLAG_TEXT_PREFORMATTED;
    if (settings_->getBoolOr("qlengine.footnotes", true)) flags |= DOC_FLAG_ENABLE_FOOTNOTES;
    if (settings_->getBoolOr("qlengine.doc.embedded.styles.enabled", true))
        flags |= DOC_FLAG_ENABLE_INTERNAL_STYLES;
    if (settings_->getBoolOr("qlengine.doc.embedded.fonts.enabled", true))
        flags |= DOC_FLAG_ENABLE_DOC_FONTS;
    doc_->setDocFlags(flags);
    doc_->setSpaceCondensingPercent(
        settings_->getIntOr("qlengine.style.space.condensing.percent", 50));
    doc_->setContainer(container_);
}

void LVDocView::showMessageDocument(const LVString16& title, const LVString16& message) {
    closeDocument();
    showCover_ = false;
    startEmptyDocument();
    scrollPos_ = 0;
    pageIndex_ = 0;
    messageText_ = message;
    if (!doc_) return;
    {
        ldomDocumentWriter writer(doc_.get());
        writer.OnStart(nullptr);
        writer.OnTagOpen(u"", u"?xml");
        writer.OnAttribute(u"", u"version", u"1.0");
        writer.OnAttribute(u"", u"encoding", u"utf-8");
        writer.OnTagBody();
        writer.OnTagClose(u"", u"?xml");
        writer.OnTagOpenPlain(u"", u"FictionBook");
        writer.OnTagOpenPlain(u"", u"description");
        writer.OnTagOpenPlain(u"", u"title-info");
        writer.OnTagOpenPlain(u"", u"book-title");
        writer.OnText(title.c_str(), title.length(), 0);
        writer.OnTagClose(u"", u"book-title");
        writer.OnTagOpenEmpty(u"", u"lang");
        writer.OnTagClose(u"", u"title-info");
        writer.OnTagClose(u"", u"description");
        writer.OnTagOpenPlain(u"", u"body");
        if (!title.empty()) {
            writer.OnTagOpenPlain(u"", u"title");
            writer.OnTagOpenPlain(u"", u"p");
            writer.OnText(title.c_str(), title.length(), 0);
            writer.OnTagClose(u"", u"p");
            writer.OnTagClose(u"", u"title");
        }
        writer.OnTagOpenPlain(u"", u"p");
        writer.OnText(message.c_str(), message.length(), 0);
        writer.OnTagClose(u"", u"p");
        writer.OnTagClose(u"", u"body");
        writer.OnTagClose(u"", u"FictionBook");
        writer.OnStop();
    }
    refreshStyleSheet();
    docProps_->clear();
    doc_->setProps(docProps_);
    docProps_->setString("doc.title", title);
    layoutStale();
    clearDocumentImageCache();
}

// ---- loading by name ------------------------------------------------------------

bool LVDocView::LoadDocument(const LVString16& fileName) {
    if (fileName.empty()) return false;
    closeDocument();
    messageText_.clear();
    LOG_DEBUG("LoadDocument(%s) textMode=%s", wideToLocal(fileName).c_str(), "autoformat");

    StreamHandle stream;
    LVString16 archiveName, entryName;
    // A real file whose folder name ends in "@" is opened as it is; the
    // archive split is only tried for names that are not files.
    bool isArchivePath = !fileExists(fileName) && splitArchivePath(fileName, archiveName, entryName);
    if (isArchivePath) {
        LOG_INFO("Loading document %s from archive %s", wideToLocal(entryName).c_str(),
                 wideToLocal(archiveName).c_str());
        StreamHandle arcStream = openFileStream(archiveName, OpenModeRead);
        if (!arcStream) {
            LOG_ERROR("Cannot open archive file %s", wideToLocal(archiveName).c_str());
            return false;
        }
        ContainerHandle arc = openArchive(arcStream);
        if (!arc) {
            LOG_ERROR("Cannot read archive contents from %s", wideToLocal(archiveName).c_str());
            return false;
        }
        container_ = arc;
        archive_ = arc;
        stream = arc->OpenStream(entryName, OpenModeRead);
        if (!stream) {
            LOG_ERROR("Cannot open archive file item stream %s", wideToLocal(entryName).c_str());
            container_.reset();
            archive_.reset();
            return false;
        }
        docProps_->setString("doc.archive.name", extractFileName(archiveName));
        docProps_->setString("doc.archive.path", extractPath(archiveName, false));
        docProps_->setInt64("doc.archive.size", arcStream->GetSize());
        docProps_->setInt64("doc.file.size", stream->GetSize());
        docProps_->setString("doc.file.name", entryName);
        // Links inside the book are relative to the entry's folder.
        docProps_->setString("doc.file.code.base", extractPath(entryName, false));
        uint32_t crc = 0;
        stream->GetCrc32(&crc);
        docProps_->setInt64("doc.file.crc32", crc);
    } else {
        LVString16 folder = extractPath(fileName, true);
        LVString16 name = extractFileName(fileName);
        LOG_INFO("Loading document %s : fn=%s, dir=%s", wideToLocal(fileName).c_str(),
                 wideToLocal(name).c_str(), wideToLocal(folder).c_str());
        docProps_->setString("doc.file.path", folder);
        ContainerHandle dir = openDirectory(folder, u"*.*");
        if (!dir) return false;
        container_ = dir;
        stream = dir->OpenStream(name, OpenModeRead);
        if (!stream) {
            container_.reset();
            docProps_->clear();
            return false;
        }
        docProps_->setString("doc.file.name", name);
        docProps_->setInt64("doc.file.size", stream->GetSize());
        uint32_t crc = 0;
        stream->GetCrc32(&crc);
        docProps_->setInt64("doc.file.crc32", crc);
    }
    if (!LoadDocument(stream)) return false;
    fileName_ = fileName;
    stream_.reset();  // the document keeps what it needs
    return true;
}

// ---- loading a stream -----------------------------------------------------------

bool LVDocView::LoadDocument(const StreamHandle& streamIn) {
    if (!streamIn) return false;
    swapDone_ = false;
    updateRenderProps();
    if (callback_) {
        LVString16 name;
        docProps_->getString("doc.file.name", name);
        callback_->OnLoadFileStart(name);
    }
    layoutStale();
    StreamHandle stream = streamIn;
    fileSize_ = stream->GetSize();
    stream_ = stream;

    // 1. Palm database books.
    // A Palm database book that its reader refuses (encrypted, unsupported
    // compression, damaged records) still ends here with the PDB message
    // rather than being tried as plain text.
    int contentFormat = 0;
    if (pdbKindOf(stream) != PDBKindNone) {
        LOG_INFO("PDB format detected");
        startEmptyDocument();
        if (!doc_) return false;
        updateRenderProps();
        if (callback_) callback_->OnLoadFileFormatDetected(doc_format_none);
        refreshStyleSheet();
        ContainerHandle images;
        StreamHandle pdbStream = stream;
        if (pdbImport(pdbStream, doc_.get(), nullptr, images, contentFormat)) {
            // The reader's content kind maps to the display format: HTML
            // content is an HTML book, PML and plain text are text books.
            setDocumentFormat(contentFormat == 5 ? doc_format_html : doc_format_txt);
            stream_ = pdbStream;
            if (images) {
                container_ = images;
                doc_->setContainer(images);
            }
            updateRenderProps();
            invalidateLayout();
            if (callback_) callback_->OnLoadFileEnd();
            return true;
        }
        setDocumentFormat(doc_format_none);
        showMessageDocument(u"Cannot open document", u"ERROR: Error reading PDB format");
        raiseLoadError("Error reading PDB document");
        return false;
    }

    // 2. EPUB: its reader joins the detection order here.
    // 3. CHM: its reader joins the detection order here.

    // 4. ZIP archives: the book is the start page or the first supported entry.
    if (ContainerHandle arc = openArchive(stream)) {
        archive_ = arc;
        container_ = arc;
        moveFilePropsToArchive(docProps_);
        docProps_->setInt("doc.archive.file.count", arc->GetObjectCount());
        LVString16 entryName;
        StreamHandle entry;
        if (chooseArchiveEntry(arc, entryName)) entry = arc->OpenStream(entryName, OpenModeRead);
        if (!entry) {
            closeDocument();
            raiseLoadError("File with supported extension not fouind in archive.");
            LOG_ERROR("File with supported extension not found in archive");
            return false;
        }
        LOG_DEBUG("Opened archive stream %s", wideToLocal(entryName).c_str());
        docProps_->setString("doc.file.name", entryName);
        docProps_->setString("doc.file.code.base", extractPath(entryName, false));
        docProps_->setInt64("doc.file.size", entry->GetSize());
        uint32_t crc = 0;
        entry->GetCrc32(&crc);
        docProps_->setInt64("doc.file.crc32", crc);
        stream_ = entry;
        fileSize_ = entry->GetSize();
        return parseDocumentStream();
    }

    // 5. TCR-compressed text is unwrapped here once its decoder exists.
    return parseDocumentStream();
}

bool LVDocView::chooseArchiveEntry(const ContainerHandle& arc, LVString16& entryName) {
    LVString16 startPage, fallback;
    int count = arc->GetObjectCount();
    for (int i = 0; i < count; ++i) {
        const LVContainerItemInfo* item = arc->GetObjectInfo(i);
        if (!item || item->IsContainer()) continue;
        LVString16 name(item->GetName());
        LOG_DEBUG("arc item[%d] : %s", i, wideToLocal(name).c_str());
        LVString16 lower = name;
        lower.toLower();
        bool supported = false;
        if (lower.hasSuffix(".htm") || lower.hasSuffix(".html")) {
            LVString16 base = extractBaseName(extractFileName(lower));
            if (base == "index" || base == "default") startPage = name;
            supported = true;
        } else if (lower.hasSuffix(".fb2") || lower.hasSuffix(".rtf") ||
                   lower.hasSuffix(".txt") || lower.hasSuffix(".pml") ||
                   lower.hasSuffix(".fbd")) {
            supported = true;
        }
        if (supported && fallback.empty()) fallback = name;
    }
    entryName = !startPage.empty() ? startPage : fallback;
    return !entryName.empty();
}

bool LVDocView::runParser(int formatId, LVFileFormatParser* parser) {
    if (callback_) callback_->OnLoadFileFormatDetected(formatId);
    refreshStyleSheet();
    updateRenderProps();
    if (!parser->Parse()) {
        raiseLoadError("Bad document format");
        showMessageDocument(u"Cannot open document", u"ERROR: Bad document format");
        return false;
    }
    return true;
}

bool LVDocView::parseDocumentStream() {
    startEmptyDocument();
    if (!doc_ || !stream_) return false;
    StreamHandle stream = stream_;
    lvsize_t size = stream->GetSize();

    if (size > kCacheLookupMinSize) {
        LVString16 name = docProps_->getStringOr("doc.file.name", "untitled");
        name = extractFileName(name);
        uint32_t crc = 0;
        stream->GetCrc32(&crc);
        LOG_DEBUG("Check whether document %s crc %08x exists in cache",
                  wideToLocal(name).c_str(), crc);
        refreshStyleSheet();
        updateRenderProps();
        if (doc_->openFromCache(this)) {
            LOG_INFO("Document is found in cache, will reuse");
            updateShowCover();
            if (callback_) callback_->OnLoadFileEnd();
            return true;
        }
        LOG_INFO("Cannot get document from cache, parsing...");
    }

    if (size < 5) {
        showMessageDocument(u"Cannot open document", u"ERROR: Wrong document size");
        return false;
    }

    bool parsed = false;
    bool accepted = false;
    {
        // The writers finalise the document only when a parser started them.
        ldomDocumentWriter writer(doc_.get());
        ldomDocumentWriterFilter filter(doc_.get());
        stream->SetPos(0);
        setDocumentFormat(doc_format_fb2);
        {
            LVXMLParser fb2(stream, &writer, false, true);
            if (fb2.CheckFormat()) {
                accepted = true;
                parsed = runParser(doc_format_fb2, &fb2);
            }
        }
        // RTF: its reader joins the detection order here.
        if (!accepted) {
            stream->SetPos(0);
            setDocumentFormat(doc_format_html);
            LVHTMLParser html(stream, &filter);
            if (html.CheckFormat()) {
                accepted = true;
                parsed = runParser(doc_format_html, &html);
            }
        }
        if (!accepted) {
            stream->SetPos(0);
            setDocumentFormat(doc_format_txt_bookmark);
            LVTextBookmarkParser bookmarks(stream, &writer);
            if (bookmarks.CheckFormat()) {
                accepted = true;
                parsed = runParser(doc_format_txt_bookmark, &bookmarks);
            }
        }
        if (!accepted) {
            stream->SetPos(0);
            setDocumentFormat(doc_format_txt);
            bool pre = doc_->getDocFlags() & DOC_FLAG_TEXT_PREFORMATTED;
            LVTextParser text(stream, &writer, pre);
            if (text.CheckFormat()) {
                accepted = true;
                parsed = runParser(doc_format_txt, &text);
            }
        }
    }
    if (!accepted) {
        setDocumentFormat(doc_format_none);
        showMessageDocument(u"Cannot open document", u"ERROR: Unknown document format");
        raiseLoadError("Unknown document format");
        return false;
    }
    if (!parsed) return false;  // the message page is already shown

    scrollPos_ = 0;
    pageIndex_ = 0;
    doc_->logMemoryUsage();
    extractDocumentMetadata();
    updateShowCover();
    layoutStale();
    if (callback_) callback_->OnLoadFileEnd();
    return true;
}

void LVDocView::extractDocumentMetadata() {
    if (docFormat_ == doc_format_html) {
        static const uint16_t path[] = {ElemHtml, ElemHead, ElemTitle, 0};
        if (ldomNode* title = doc_->getRootNode()->findChildElement(path)) {
            LVString16 text;
            // Text pieces joined by a blank.
            for (int i = 0; i < title->getChildCount(); ++i) {
                LVString16 piece = title->getChildNode(i)->getText();
                piece.trimBlanks();
                if (piece.empty()) continue;
                if (!text.empty()) text += lvchar16(' ');
                text += piece;
            }
            text.limitLength(kMaxTitleChars);
            if (!text.empty()) docProps_->setString("doc.title", text);
        }
    }
    LVString16 title;
    if (docProps_->getString("doc.title", title) && !title.empty()) return;
    docProps_->setString("doc.authors", docAuthors(doc_.get(), u" & ", false));
    docProps_->setString("doc.title", docBookTitle(doc_.get()));
    docProps_->setString("doc.language", docLanguage(doc_.get()));
    LVString16 seriesName;
    int32_t seriesNumber = 0;
    docSeriesParts(doc_.get(), seriesName, seriesNumber);
    docProps_->setString("doc.series.name", seriesName);
    docProps_->setString("doc.series.number",
                         seriesNumber >= 1 ? intToString16(seriesNumber) : LVString16());
}

void LVDocView::updateShowCover() {
    // The cover is the first image of the FictionBook coverpage. Drawing it
    // needs the image decoders; here only its presence is recorded.
    showCover_ = false;
    if (!doc_ || !doc_->getRootNode()) return;
    static const uint16_t path[] = {ElemFictionBook, ElemDescription, ElemTitleInfo, ElemCoverpage,
                                    0};
    if (ldomNode* cover = doc_->getRootNode()->findChildElement(path))
        showCover_ = cover->findChildElement(ldomNode::kAnyNamespace, ElemImage, 0) != nullptr;
}

int LVDocView::swapToCache(int timeoutMs) {
    int64_t size = docProps_->getInt64Or("doc.file.size", 0);
    LOG_TRACE("LVDocView::swapToCache(fs = %d)", static_cast<int>(size));
    if (size < 30000 || !doc_) return 2;
    TimeLimit limit(timeoutMs);
    return doc_->updateCacheFile(limit);
}
