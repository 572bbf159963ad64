// LVDocView: the controller of one open book. It owns the document tree, the
// stream and container the book came from, the document properties (doc.*)
// and the view settings, and it is the engine's single entry point for
// loading, layout, drawing, navigation, commands and selection.
//
// Loading opens a file (or an entry of a ZIP archive named "archive@/entry"),
// recognises the real format by content whatever the extension, runs the
// matching reader and records the doc.* properties. A load that fails on the
// book's content leaves a generated message page as the document.
#pragma once

#include <cstdint>

#include "dom/ldomdocument.h"
#include "foundation/lvstring.h"
#include "foundation/props.h"
#include "foundation/refcount.h"
#include "streams/container.h"
#include "streams/stream.h"

// Document format ids, written to doc.file.format.id; getDocFormatName gives
// the display name written to doc.file.format.
enum DocFormat : int {
    doc_format_none = 0,
    doc_format_fb2 = 1,
    doc_format_txt = 2,
    doc_format_rtf = 3,
    doc_format_epub = 4,
    doc_format_html = 5,
    doc_format_txt_bookmark = 6,
    doc_format_chm = 7,
    doc_format_doc = 8,
};
const char* getDocFormatName(int id);

// Observer of loading events. The reader program installs none; the hooks
// are kept for tools and tests.
class LVDocViewListener {
public:
    virtual ~LVDocViewListener() = default;
    virtual void OnLoadFileStart(const LVString16& /*fileName*/) {}
    virtual void OnLoadFileFormatDetected(int /*formatId*/) {}
    virtual void OnLoadFileEnd() {}
    virtual void OnLoadFileError(const LVString16& /*message*/) {}
    virtual void OnLayoutInvalidated() {}
    // True when the observer reloads the document itself.
    virtual bool OnRequestReload() { return false; }
};

// Splits "archive@/entry" (or "archive@\entry") into its two parts; false
// unless both parts are non-empty.
bool splitArchivePath(const LVString16& name, LVString16& archiveName, LVString16& entryName);

class LVDocView : public LVRefCounter, public CacheLoadingCallback {
public:
    // bitsPerPixel: pixel format of the screen images (-1: the shell's choice).
    explicit LVDocView(int bitsPerPixel = -1);
    ~LVDocView() override;
    LVDocView(const LVDocView&) = delete;
    LVDocView& operator=(const LVDocView&) = delete;

    // ---- loading ----------------------------------------------------------
    // Opens a book by name; the name may address an archive entry. False when
    // nothing could be loaded; a book whose content fails leaves a message
    // page as the document.
    bool LoadDocument(const LVString16& fileName);
    // Opens an already opened stream: container formats first, then the
    // text formats.
    bool LoadDocument(const StreamHandle& stream);
    // Detects the text format of the current source stream and parses it.
    bool parseDocumentStream();
    // Replaces the document by a new empty one configured from the settings.
    void startEmptyDocument();
    // Replaces the document by a generated page showing title and message.
    virtual void showMessageDocument(const LVString16& title, const LVString16& message);
    // Drops the document and everything tied to it.
    void closeDocument();
    // Stores the format id and writes doc.file.format(.id).
    void setDocumentFormat(int id);
    int getDocFormat() const { return docFormat_; }
    void onCachedFormatKnown(int formatId) override;
    // A document with a root exists and doc.file.name is not empty.
    bool hasDocument() const;
    // Offers the document to its cache file within timeoutMs: 0 done,
    // 1 timed out, 2 error or nothing to do.
    int swapToCache(int timeoutMs);
    // Moves doc.file.name/path/size to doc.archive.* and clears them.
    static void moveFilePropsToArchive(const QLPropRef& props);

    // ---- state ------------------------------------------------------------
    ldomDocument* getDocument() const { return doc_.get(); }
    // The doc.* properties; the document shares this very set.
    const QLPropRef& getDocProps() const { return docProps_; }
    // The view settings (qlengine.*, font.*, window.*, styles.*).
    const QLPropRef& getSettings() const { return settings_; }
    const ContainerHandle& getContainer() const { return container_; }
    const ContainerHandle& getArchiveContainer() const { return archive_; }
    const LVString16& getFileName() const { return fileName_; }
    lvsize_t getFileSize() const { return fileSize_; }
    // The last message shown by showMessageDocument (empty after a good load).
    const LVString16& getLoadErrorMessage() const { return messageText_; }
    bool getShowCover() const { return showCover_; }
    void setListener(LVDocViewListener* listener) { callback_ = listener; }

    // ---- drawing settings (layout and drawing use them) ----------------------
    int getBitsPerPixel() const { return bitsPerPixel_; }
    int getWidth() const { return width_; }
    int getHeight() const { return height_; }
    int getViewMode() const { return viewMode_; }  // 1 pages, 0 scroll
    int getScrollPos() const { return scrollPos_; }
    int getPageIndex() const { return pageIndex_; }
    int getFontSize() const { return fontSize_; }
    int getHeaderFontSize() const { return headerFontSize_; }
    int getInterlineSpace() const { return interlineSpace_; }
    uint32_t getBackgroundColor() const { return backgroundColor_; }
    uint32_t getTextColor() const { return textColor_; }
    // 0xFF000000 means: the text colour.
    uint32_t getHeaderColor() const { return headerColor_; }
    PropRect getPageMargins() const {
        return PropRect{marginLeft_, marginTop_, marginRight_, marginBottom_};
    }
    int getVisiblePageCount() const { return visiblePages_; }
    int getHeaderFlags() const { return headerFlags_; }
    int getBatteryLevel() const { return batteryLevel_; }
    int getRotation() const { return rotation_; }

    // ---- layout hooks the loader calls (drawing arrives with the layout) ----
    // Applies the view settings to the document.
    void updateRenderProps(int width = 0, int height = 0);
    // Rebuilds the document's style sheet from the settings and the book.
    void refreshStyleSheet();
    // Marks the layout stale and drops the drawn screens.
    void invalidateLayout();
    bool isRendered() const { return rendered_; }

private:
    void layoutStale();
    void clearDocumentImageCache();
    bool chooseArchiveEntry(const ContainerHandle& arc, LVString16& entryName);
    bool runParser(int formatId, class LVFileFormatParser* parser);
    void extractDocumentMetadata();
    void updateShowCover();
    void raiseLoadError(const char* message);

    // Document and its sources.
    Ref<ldomDocument> doc_;
    QLPropRef docProps_;
    QLPropRef settings_;
    StreamHandle stream_;
    ContainerHandle container_;
    ContainerHandle archive_;
    LVString16 fileName_;
    lvsize_t fileSize_ = 0;
    int docFormat_ = doc_format_none;
    LVString16 messageText_;
    LVDocViewListener* callback_ = nullptr;

    // Loading and layout bookkeeping.
    bool showCover_ = true;
    bool rendered_ = false;
    bool positionSet_ = false;
    bool swapDone_ = false;
    LVString16 pendingPosition_;  // position string to show after the next layout

    // Drawing state (used once layout and drawing exist).
    int bitsPerPixel_;
    int width_ = 400;
    int height_ = 200;
    int viewMode_ = 0;  // 1 pages, 0 scroll
    int scrollPos_ = 0;
    int pageIndex_ = 0;
    int fontSize_ = 24;
    int headerFontSize_ = 22;
    int interlineSpace_ = 100;
    uint32_t backgroundColor_ = 0xFFFFFF;
    uint32_t textColor_ = 0x000060;
    uint32_t headerColor_ = 0xFF000000;
    int marginLeft_ = 12, marginTop_ = 6, marginRight_ = 12, marginBottom_ = 6;
    int visiblePages_ = 2;
    int headerFlags_ = 63;
    int batteryLevel_ = -2;
    int rotation_ = 0;
    bool sectionBoundsValid_ = false;
};

using LVDocViewHandle = Ref<LVDocView>;
