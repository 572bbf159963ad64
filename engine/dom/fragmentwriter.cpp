// Merging many HTML/XHTML files (the spine of an EPUB, the pages of a CHM)
// into one tree, one fragment element per file.
#include "dom/writer.h"
#include "dom/writerutil.h"
#include "foundation/log.h"
#include "streams/paths.h"

namespace {

// Elements that belong to a file's head: outside the base tag they never
// start the file's content.
bool isHeadName(const lvchar16* name) {
    if (!name || !*name || *name == u'?' || *name == u'!') return true;
    static const char* const kHead[] = {"html", "head", "title", "meta",   "link",
                                        "style", "script", "base", "noscript"};
    for (const char* h : kHead)
        if (nameIs(name, h)) return true;
    return false;
}

// Head elements whose text is not book text.
bool isRawTextName(const lvchar16* name) {
    return nameIs(name, "title") || nameIs(name, "script") || nameIs(name, "noscript");
}

}  // namespace

ldomDocumentFragmentWriter::ldomDocumentFragmentWriter(LVXMLParserCallback* parent,
                                                       const LVString16& baseTag,
                                                       const LVString16& replacementName,
                                                       const LVString16& firstFilePath)
    : parent_(parent), baseTag_(baseTag), replacement_(replacementName) {
    filePath_ = firstFilePath;
    codeBase_ = extractPath(firstFilePath);
}

void ldomDocumentFragmentWriter::addPath(const LVString16& path, const LVString16& prefix) {
    prefixes_[path] = prefix;
}

void ldomDocumentFragmentWriter::setCodeBase(const LVString16& filePath) {
    filePath_ = filePath;
    auto it = prefixes_.find(filePath);
    codeBasePrefix_ = it == prefixes_.end() ? LVString16() : it->second;
    if (codeBasePrefix_.empty())
        LOG_DEBUG("codeBasePrefix is empty for path %s", encodeUtf8(filePath).c_str());
    codeBase_ = extractPath(filePath);
    stylesheetFile_.clear();
}

LVString16 ldomDocumentFragmentWriter::convertId(const LVString16& value) const {
    if (codeBasePrefix_.empty()) return value;
    LVString16 out = codeBasePrefix_;
    out.append(1, u'_');
    out.append(value);
    return out;
}

LVString16 ldomDocumentFragmentWriter::convertHref(const LVString16& value) const {
    if (value.indexOf("://") >= 0) return value;
    LVString16 href = value;
    if (href.empty() || href[0] != u'#') href = combinePaths(codeBase_, href);
    int32_t hash = href.indexOf(u'#');
    LVString16 path = hash < 0 ? href : href.substr(0, hash);
    LVString16 anchor = hash < 0 ? LVString16() : href.substr(hash + 1);
    LVString16 prefix;
    if (!path.empty()) {
        auto it = prefixes_.find(path);
        if (it == prefixes_.end()) return href;  // not a merged file
        prefix = it->second;
    } else {
        if (codeBasePrefix_.empty()) return value;
        prefix = codeBasePrefix_;
    }
    LVString16 out("#");
    out.append(prefix);
    if (!anchor.empty()) {
        out.append(1, u'_');
        out.append(anchor);
    }
    return out;
}

void ldomDocumentFragmentWriter::OnStart(LVFileFormatParser* parser) {
    LVXMLParserCallback::OnStart(parser);
    inside_ = false;
    implicit_ = false;
    insideStyle_ = false;
    styleText_.clear();
    furtherLinks_.clear();
    rawTextDepth_ = 0;
    linkBits_ = 0;
    fragment_ = nullptr;
}

ldomNode* ldomDocumentFragmentWriter::startFragment(const lvchar16* prefix, bool implicit) {
    inside_ = true;
    implicit_ = implicit;
    fragment_ = nullptr;
    if (!replacement_.empty()) {
        fragment_ = parent_->OnTagOpen(nullptr, replacement_.c_str());
        if (!stylesheetFile_.empty()) {
            LOG_DEBUG("Setting StyleSheet attribute to %s for document fragment",
                      encodeUtf8(stylesheetFile_).c_str());
            parent_->OnAttribute(nullptr, u"StyleSheet", stylesheetFile_.c_str());
        }
        if (!codeBasePrefix_.empty()) parent_->OnAttribute(nullptr, u"id", codeBasePrefix_.c_str());
        parent_->OnTagBody();
        if (!styleText_.empty() || !furtherLinks_.empty()) {
            LVString16 css;
            for (const LVString16& link : furtherLinks_) {
                css.append("@import url(\"");
                css.append(link);
                css.append("\");\n");
            }
            css.append(decodeUtf8(styleText_.c_str(), static_cast<size_t>(styleText_.length())));
            parent_->OnTagOpen(nullptr, u"stylesheet");
            parent_->OnAttribute(nullptr, u"href", codeBase_.c_str());
            parent_->OnTagBody();
            parent_->OnText(css.c_str(), css.length(), 0);
            parent_->OnTagClose(nullptr, u"stylesheet");
        }
    }
    ldomNode* base = parent_->OnTagOpen(prefix, baseTag_.c_str());
    return fragment_ ? fragment_ : base;
}

void ldomDocumentFragmentWriter::closeFragment() {
    inside_ = false;
    implicit_ = false;
    if (!replacement_.empty()) {
        parent_->OnTagClose(nullptr, baseTag_.c_str());
        parent_->OnTagClose(nullptr, replacement_.c_str());
    } else {
        parent_->OnTagClose(nullptr, baseTag_.c_str());
    }
}

ldomNode* ldomDocumentFragmentWriter::OnTagOpen(const lvchar16* prefix, const lvchar16* name) {
    if (inside_) return parent_->OnTagOpen(prefix, name);
    if (nameIs(name, "link")) {
        linkBits_ = 1;
        linkHref_.clear();
        return nullptr;
    }
    if (nameIs(name, "style")) {
        insideStyle_ = true;
        return nullptr;
    }
    if (baseTag_ == LVString16(name ? name : u"")) return startFragment(prefix, false);
    if (isRawTextName(name)) ++rawTextDepth_;
    if (isHeadName(name)) return nullptr;
    // A file without the base tag: its content starts at the first element
    // that cannot be part of a head.
    LOG_INFO("no <%s> in %s: content starts at <%s>", encodeUtf8(baseTag_).c_str(),
             encodeUtf8(filePath_).c_str(), utf8Of(name).c_str());
    startFragment(nullptr, true);
    parent_->OnTagBody();
    return parent_->OnTagOpen(prefix, name);
}

void ldomDocumentFragmentWriter::OnAttribute(const lvchar16* prefix, const lvchar16* name,
                                             const lvchar16* value) {
    LVString16 v(value ? value : u"");
    if (inside_) {
        if (nameIs(name, "href") || nameIs(name, "src")) v = convertHref(v);
        else if (nameIs(name, "id") || nameIs(name, "name")) v = convertId(v);
        parent_->OnAttribute(prefix, name, v.c_str());
        return;
    }
    if (!linkBits_) return;
    if (nameIs(name, "rel")) {
        if (equalsIgnoreCase(v, "stylesheet")) linkBits_ |= 2;
    } else if (nameIs(name, "type")) {
        linkBits_ |= equalsIgnoreCase(v, "text/css") ? 4 : 16;
    } else if (nameIs(name, "href")) {
        linkBits_ |= 8;
        linkHref_ = v;
    }
}

void ldomDocumentFragmentWriter::endLinkTracking() {
    // A stylesheet link: rel="stylesheet", an href, and type text/css (or
    // no type, which means CSS).
    uint32_t bits = linkBits_;
    linkBits_ = 0;
    if ((bits & (1 | 2 | 8)) != (1 | 2 | 8) || (bits & 16) || linkHref_.empty()) return;
    if (stylesheetFile_.empty()) {
        stylesheetFile_ = combinePaths(codeBase_, linkHref_);
        LOG_DEBUG("CSS file href: %s", encodeUtf8(stylesheetFile_).c_str());
    } else {
        furtherLinks_.push_back(linkHref_);
        LOG_DEBUG("CSS file href: %s", encodeUtf8(linkHref_).c_str());
    }
}

void ldomDocumentFragmentWriter::OnTagBody() {
    if (inside_) parent_->OnTagBody();
    if (linkBits_) endLinkTracking();
}

void ldomDocumentFragmentWriter::OnText(const lvchar16* text, int32_t length, uint32_t flags) {
    if (insideStyle_) {
        styleText_.append(encodeUtf8(text, static_cast<size_t>(length)));
        return;
    }
    if (inside_) {
        parent_->OnText(text, length, flags);
        return;
    }
    if (rawTextDepth_ > 0 || isBlankText(text, length)) return;
    LOG_INFO("no <%s> in %s: content starts with text", encodeUtf8(baseTag_).c_str(),
             encodeUtf8(filePath_).c_str());
    startFragment(nullptr, true);
    parent_->OnTagBody();
    parent_->OnText(text, length, flags);
}

void ldomDocumentFragmentWriter::OnTagClose(const lvchar16* prefix, const lvchar16* name) {
    insideStyle_ = false;
    if (linkBits_) endLinkTracking();
    if (!inside_) {
        if (isRawTextName(name) && rawTextDepth_ > 0) --rawTextDepth_;
        return;
    }
    if (baseTag_ == LVString16(name ? name : u"") || (implicit_ && nameIs(name, "html"))) {
        closeFragment();
        return;
    }
    parent_->OnTagClose(prefix, name);
}

void ldomDocumentFragmentWriter::OnStop() {
    if (linkBits_) endLinkTracking();
    if (inside_) {
        inside_ = false;
        implicit_ = false;
        parent_->OnTagClose(nullptr, replacement_.empty() ? baseTag_.c_str() : replacement_.c_str());
    }
}
