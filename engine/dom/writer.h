// The callbacks that build a document tree from parser events.
//
//   ldomDocumentWriter        builds the tree as the events say (FictionBook,
//                             XHTML, the text and RTF importers); records the
//                             table of contents of titled sections, picks up
//                             the book's own stylesheets and can stop the
//                             parse after the book description.
//   ldomDocumentWriterFilter  the writer for tag soup (HTML, CHM pages,
//                             Mobipocket text): closes what the source left
//                             open, turns legacy attributes into style, maps
//                             br and dd to paragraphs, and cleans up plain
//                             text wrapped in pre.
//   ldomDocumentFragmentWriter  sits in front of another writer and merges
//                             many files into one tree, one DocFragment per
//                             file, rewriting ids and links to stay unique.
//
// A writer that never received OnStart leaves the document alone, also when
// it is destroyed: only the writer a reader actually used finishes styling.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dom/xmlcallback.h"
#include "foundation/lvstring.h"

class ldomDocument;
class ldomNode;
class ldomTocItem;
struct ElementDefProps;

// One open element of a writer.
struct ldomOpenElement {
    // Null when the element could not be created (the node tables are full)
    // or an onElementClosed hook removed it.
    ldomNode* node = nullptr;
    uint16_t id = 0;
    const ElementDefProps* props = nullptr;
    // The table-of-contents item that sections inside this element attach
    // to; null means "look further out".
    ldomTocItem* tocItem = nullptr;
    // The element's path (/FictionBook[1]/body[1]/section[2]), on demand.
    LVString16 path;
    bool pathKnown = false;
    bool allowText = false;
    bool isBlock = false;  // known only while styles are applied during parsing
    bool bodyStarted = false;
    bool pushedStyleSheet = false;
    bool isSection = false;
    bool tocPending = false;  // a section whose item is not decided yet
    bool preformatted = false;
    // Filter only: opened as br or dd and mapped to p, no content yet.
    bool mappedFromBrDd = false;
    // Filter only: the raw align attribute (turned into style, not stored).
    LVString16 align;
};

class ldomDocumentWriter : public LVXMLParserCallback {
public:
    // Open elements below the root are capped: past this depth the innermost
    // element is closed before another opens.
    static constexpr int kMaxDepth = 1000;

    explicit ldomDocumentWriter(ldomDocument* doc, bool headerOnly = false);
    ~ldomDocumentWriter() override;
    ldomDocumentWriter(const ldomDocumentWriter&) = delete;
    ldomDocumentWriter& operator=(const ldomDocumentWriter&) = delete;

    uint32_t getFlags() override { return flags_; }
    void setFlags(uint32_t flags) override { flags_ = flags; }
    void OnStart(LVFileFormatParser* parser) override;
    void OnStop() override;
    ldomNode* OnTagOpen(const lvchar16* prefix, const lvchar16* name) override;
    void OnTagBody() override;
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override;
    void OnAttribute(const lvchar16* prefix, const lvchar16* name, const lvchar16* value) override;
    void OnText(const lvchar16* text, int32_t length, uint32_t flags) override;
    // Stores the bytes in the document's blob store, under the name without
    // a leading "@blob#".
    bool OnBlob(const LVString16& name, const uint8_t* data, int32_t size) override;
    void OnDocProperty(const char* name, const LVString8& value) override;

    // Called for every element as it closes, before it becomes persistent.
    // A hook that removes the element clears entry.node.
    virtual void onElementClosed(ldomOpenElement& entry);

    ldomDocument* document() const { return doc_; }
    // Open elements below the root.
    int depth() const { return stack_.empty() ? 0 : static_cast<int>(stack_.size()) - 1; }
    // Some closing tag did not name the innermost open element.
    bool hadMismatch() const { return mismatch_; }
    // Times an element was closed early because the depth cap was reached.
    uint64_t depthCapClosures() const { return depthCapClosures_; }

protected:
    ldomOpenElement* top() { return stack_.empty() ? nullptr : &stack_.back(); }
    // The innermost open element with this id (never the root entry): its
    // stack index, or 0 when there is none.
    size_t findOpen(uint16_t id) const;
    bool isOpen(uint16_t id) const { return id < openCount_.size() && openCount_[id] > 0; }
    const std::vector<ldomOpenElement>& stack() const { return stack_; }

    // Creates an element under the innermost open one and pushes it (closing
    // the innermost first when the depth cap is reached).
    ldomNode* openElement(uint16_t nsid, uint16_t id);
    void closeTop();
    // Closes the entries from the top down to and including index.
    void closeDownTo(size_t index);
    void closeAll();
    // Appends text to the innermost element (no checks).
    void appendText(const lvchar16* text, int32_t length);
    // The OnTagBody work of the innermost entry.
    void bodyStarted();
    // The text flags for the innermost entry.
    virtual uint32_t textFlagsFor(const ldomOpenElement& entry) const;
    void updateFlags();
    // Element-specific work when an entry closes, before onElementClosed
    // (stylesheet links, a fragment's stylesheet).
    virtual void closingSteps(ldomOpenElement& entry, ldomNode* parent);
    // Header-only mode: after description closes, the rest is not wanted.
    void checkHeaderOnlyStop(uint16_t closedId);
    uint16_t elementIdOf(const lvchar16* name, bool create);
    uint16_t nsIdOf(const lvchar16* prefix);
    uint16_t attrIdOf(const char* name);

    ldomDocument* doc_;
    uint32_t flags_ = 0;
    bool stopped_ = false;  // header-only mode ended the useful part
    // The FictionBook `stylesheet` steps (the filter does not take them).
    bool fb2StyleSheets_ = true;

private:
    void produceTocItems(size_t index);
    void produceTocItem(size_t index);
    const LVString16& entryPath(size_t index);

    bool headerOnly_;
    bool started_ = false;
    bool mismatch_ = false;
    bool tocRootGiven_ = false;
    bool fb2StyleSheetApplied_ = false;
    bool fb2LevelPushed_ = false;
    int descriptionId_ = -2;
    int pendingSections_ = 0;
    uint64_t depthCapClosures_ = 0;
    std::vector<ldomOpenElement> stack_;
    std::vector<uint16_t> openCount_;  // open entries by element id
    std::string utf8_;                 // conversion buffer for text
};

// One row of an auto-close table: an opening tag, the open elements it
// closes (the innermost one of them, with everything above it), and the
// open elements the search for them does not cross. A row that closes
// nothing marks an element that cannot hold content: it is closed as soon
// as text or another tag arrives. Lists end with a null; the table ends
// with a row whose tag is null.
struct AutoCloseRule {
    const char* tag;
    const char* closes[6];
    const char* stopAt[4];
};

// The table for HTML.
extern const AutoCloseRule kHtmlAutoCloseRules[];

class ldomDocumentWriterFilter : public ldomDocumentWriter {
public:
    ldomDocumentWriterFilter(ldomDocument* doc, bool headerOnly = false,
                             const AutoCloseRule* rules = kHtmlAutoCloseRules);

    void OnStop() override;
    ldomNode* OnTagOpen(const lvchar16* prefix, const lvchar16* name) override;
    void OnTagBody() override;
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override;
    void OnAttribute(const lvchar16* prefix, const lvchar16* name, const lvchar16* value) override;
    void OnText(const lvchar16* text, int32_t length, uint32_t flags) override;

    void onElementClosed(ldomOpenElement& entry) override;
    // opening: an element with this id is about to open; close what its row
    // names. Otherwise: text arrives; close the innermost element when it
    // cannot hold content. True when something was closed.
    virtual bool autoClose(uint16_t id, bool opening);
    // Appends a declaration to the innermost element's style attribute
    // (only while the document's internal styles are enabled).
    virtual void appendStyle(const LVString16& declaration);
    // Sets the innermost element's class, unless it has one and overwrite is
    // off.
    virtual void setClass(const LVString16& value, bool overwrite);

    // Plain-text-in-pre mode: set once the page turned out to be a text
    // file wrapped in pre (a right-aligned div ending in a form).
    bool plainTextInPre() const { return preMode_; }

protected:
    uint32_t textFlagsFor(const ldomOpenElement& entry) const override;
    void closingSteps(ldomOpenElement& entry, ldomNode* parent) override;

private:
    struct Rule {
        std::vector<uint16_t> closes;
        std::vector<uint16_t> stopAt;
    };
    const Rule* ruleFor(uint16_t id) const;
    // OnTagBody never came for the last opened tag: supply it.
    void repairBody(const char* event, const lvchar16* name);
    // One line of preformatted text in plain-text-in-pre mode.
    void preLine(const lvchar16* text, int32_t length);
    void addLeaf(uint16_t id, const lvchar16* text, int32_t length);

    std::vector<int> ruleIndex_;  // by element id; -1 for none
    std::vector<Rule> rules_;
    bool tagBodyDone_ = true;
    bool preMode_ = false;
};

class ldomDocumentFragmentWriter : public LVXMLParserCallback {
public:
    // parent receives the merged events; baseTag is the element that holds a
    // file's content (body); each file becomes an element named
    // replacementName (DocFragment; empty for none) in the parent.
    ldomDocumentFragmentWriter(LVXMLParserCallback* parent, const LVString16& baseTag,
                               const LVString16& replacementName,
                               const LVString16& firstFilePath);

    // Maps a file path to the id prefix of its content.
    void addPath(const LVString16& path, const LVString16& prefix);
    // The file the next events come from.
    virtual void setCodeBase(const LVString16& filePath);

    uint32_t getFlags() override { return parent_->getFlags(); }
    void setFlags(uint32_t flags) override { parent_->setFlags(flags); }
    void OnEncoding(const LVString16& name, const lvchar16* table) override {
        parent_->OnEncoding(name, table);
    }
    void OnStart(LVFileFormatParser* parser) override;
    void OnStop() override;
    ldomNode* OnTagOpen(const lvchar16* prefix, const lvchar16* name) override;
    void OnTagBody() override;
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override;
    void OnAttribute(const lvchar16* prefix, const lvchar16* name, const lvchar16* value) override;
    void OnText(const lvchar16* text, int32_t length, uint32_t flags) override;
    bool OnBlob(const LVString16& name, const uint8_t* data, int32_t size) override {
        return parent_->OnBlob(name, data, size);
    }
    void OnDocProperty(const char* name, const LVString8& value) override {
        parent_->OnDocProperty(name, value);
    }

    // An id value of the current file as it is stored.
    LVString16 convertId(const LVString16& value) const;
    // A link of the current file as it is stored: links into merged files
    // become "#prefix" or "#prefix_anchor"; anything with "://" is kept.
    LVString16 convertHref(const LVString16& value) const;

    const LVString16& codeBase() const { return codeBase_; }
    const LVString16& codeBasePrefix() const { return codeBasePrefix_; }
    // The DocFragment of the current file (null before its content starts).
    ldomNode* fragment() const { return fragment_; }

private:
    ldomNode* startFragment(const lvchar16* prefix, bool implicit);
    void endLinkTracking();
    void closeFragment();

    LVXMLParserCallback* parent_;
    LVString16 baseTag_;
    LVString16 replacement_;
    LVString16 codeBase_;
    LVString16 filePath_;
    LVString16 codeBasePrefix_;
    LVString16 stylesheetFile_;
    std::vector<LVString16> furtherLinks_;
    std::map<LVString16, LVString16> prefixes_;
    ldomNode* fragment_ = nullptr;
    LVString8 styleText_;
    bool inside_ = false;
    bool implicit_ = false;       // content started without a base tag
    bool insideStyle_ = false;    // collecting a head style element's text
    int rawTextDepth_ = 0;        // open head title/script elements
    // A head link element being read: bit 1 tracking, 2 rel=stylesheet,
    // 4 type=text/css, 8 href, 16 some other type.
    uint32_t linkBits_ = 0;
    LVString16 linkHref_;
};
